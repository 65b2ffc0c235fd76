// The translator is checked twice: its text for the queries the reports send, and the values
// SQLite then computes, which must be the values Jet computes.
#include "datafile/JetSqlTranslator.h"
#include "datafile/SqliteDatabase.h"
#include "support/Error.h"

#include <QString>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

QString translate(const QString& jet) {
    return JetSqlTranslator(SqlDialect::SQLite).translate(jet);
}

// Value of a one-row, one-column Jet expression evaluated by SQLite after translation.
QVariant evaluate(const QString& jetExpression) {
    SqliteDatabase db(u"file::memory:"_s, SQLITE_OPEN_READWRITE, u"test"_s);
    auto rs = db.query(translate(u"SELECT "_s + jetExpression + u" AS v"_s));
    rs->toFirst();
    return rs->field(u"v"_s);
}

} // namespace

TEST(JetSqlTranslator, RewritesTheDialectPartsOfTheReportsQueries) {
    struct Case {
        const char* name;
        QString jet;
        QString sqlite;
    };
    const Case cases[] = {
        {"Mod becomes a non-negative remainder", u"SELECT [ActiveDay] Mod 7 AS DayNumber"_s,
         u"SELECT (((\"ActiveDay\" % 7) + 7) % 7) AS DayNumber"_s},
        {"lower-case mod in HAVING", u"HAVING ActiveDay mod 7  In (2,4,1)"_s,
         u"HAVING (((ActiveDay % 7) + 7) % 7)  In (2,4,1)"_s},
        {"division is floating point", u"([H0]+[H1])/60 AS DayTotal"_s,
         u"(\"H0\"+\"H1\")* 1.0 /60 AS DayTotal"_s},
        {"names compare folded", u"AND UserName='o''neil'"_s,
         u"AND tallyrow_fold(UserName)=tallyrow_fold('o''neil')"_s},
        {"double-quoted Jet text is a text literal", u"WHERE [UserName] <> \"anna\""_s,
         u"WHERE tallyrow_fold(\"UserName\") <> tallyrow_fold('anna')"_s},
        {"the literal may stand first", u"WHERE 'anna'=Activity.UserName AND x"_s,
         u"WHERE tallyrow_fold('anna')=tallyrow_fold(Activity.UserName) AND x"_s},
        {"other literals keep NOCASE", u"WHERE UserName In ('a') AND Name > 'b'"_s,
         u"WHERE UserName In ('a' COLLATE NOCASE) AND Name > 'b' COLLATE NOCASE"_s},
        {"Mod binds more loosely than *", u"SELECT a * 2 Mod b + 1"_s,
         u"SELECT (((a * 2 % b) + b) % b) + 1"_s},
        {"a divisor of several terms is bracketed", u"SELECT a Mod b * 2"_s,
         u"SELECT (((a % b * 2) + (b * 2)) % (b * 2))"_s},
        {"Mod of a call and a qualified name", u"SELECT Abs(x) Mod Activity.H0"_s,
         u"SELECT (((Abs(x) % Activity.H0) + (Activity.H0)) % (Activity.H0))"_s},
        {"Mod associates to the left", u"SELECT a Mod 5 Mod 3"_s,
         u"SELECT ((((((a % 5) + 5) % 5) % 3) + 3) % 3)"_s},
        {"unary minus belongs to the operand", u"SELECT -8 Mod 7"_s, u"SELECT (((-8 % 7) + 7) % 7)"_s},
        {"names that contain mod stay", u"SELECT Modified, [Mod Count] FROM t"_s,
         u"SELECT Modified, \"Mod Count\" FROM t"_s},
        {"aggregates, DISTINCT and sub-selects pass through",
         u"SELECT UserName, Count(ComputerName) AS TotalComputers  FROM (SELECT DISTINCT Activity.UserName, "
         "Activity.ComputerName FROM Activity)  GROUP BY UserName HAVING Count(ComputerName)>1 ORDER BY UserName"_s,
         u"SELECT UserName, Count(ComputerName) AS TotalComputers  FROM (SELECT DISTINCT Activity.UserName, "
         "Activity.ComputerName FROM Activity)  GROUP BY UserName HAVING Count(ComputerName)>1 ORDER BY UserName"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(translate(c.jet).toStdString(), c.sqlite.toStdString());
    }
}

TEST(JetSqlTranslator, ComputesWhatJetComputes) {
    EXPECT_DOUBLE_EQ(evaluate(u"150/60"_s).toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(evaluate(u"(3600+1800)/3600"_s).toDouble(), 1.5);
    EXPECT_DOUBLE_EQ(evaluate(u"90/60*2"_s).toDouble(), 3.0);
    // The remainder is never negative: a day before 2000 falls on its own weekday
    // (31 December 1999, day -1, is a Friday: 6).
    EXPECT_EQ(evaluate(u"-1 Mod 7"_s).toInt(), 6);
    EXPECT_EQ(evaluate(u"-7 Mod 7"_s).toInt(), 0);
    EXPECT_EQ(evaluate(u"-8 Mod 7"_s).toInt(), 6);
    EXPECT_EQ(evaluate(u"-2147483648 Mod 7"_s).toInt(), 5);
    EXPECT_EQ(evaluate(u"1551 mod 7"_s).toInt(), 4);
    EXPECT_EQ(evaluate(u"10 - 9 Mod 7"_s).toInt(), 8); // Mod first, then -
    EXPECT_EQ(evaluate(u"2 * 9 Mod 7"_s).toInt(), 4);  // * first, then Mod
    EXPECT_TRUE(evaluate(u"NULL/60"_s).isNull());
    EXPECT_TRUE(evaluate(u"(1+NULL)/60"_s).isNull());
    EXPECT_EQ(evaluate(u"'ANNA' = 'anna'"_s).toInt(), 1);
    // Every letter folds, not only A to Z.
    EXPECT_EQ(evaluate(u"'HÉLÈNE' = 'hélène'"_s).toInt(), 1);
    EXPECT_EQ(evaluate(u"'JÜRGEN' <> 'jürgen'"_s).toInt(), 0);
    EXPECT_EQ(evaluate(u"'ΟΔΥΣΣΕΥΣ' = 'οδυσσευς'"_s).toInt(), 1);
    EXPECT_EQ(evaluate(u"'jürgen' = 'jurgen'"_s).toInt(), 0);
    EXPECT_TRUE(evaluate(u"NULL = 'anna'"_s).isNull());
    EXPECT_EQ(evaluate(u"'o''neil'"_s).toString(), u"o'neil"_s);
}

TEST(JetSqlTranslator, RefusesTextItCannotRead) {
    EXPECT_THROW(translate(u"SELECT 'open"_s), Error);
    EXPECT_THROW(translate(u"SELECT [open"_s), Error);
    EXPECT_THROW(translate(u"SELECT Mod 7"_s), Error);
}
