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
    rs->MoveFirst();
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
        {"Mod becomes a bracketed %", u"SELECT [ActiveDay] Mod 7 AS DayNumber"_s,
         u"SELECT (\"ActiveDay\" % 7) AS DayNumber"_s},
        {"lower-case mod in HAVING", u"HAVING ActiveDay mod 7  In (2,4,1)"_s,
         u"HAVING (ActiveDay % 7)  In (2,4,1)"_s},
        {"division is floating point", u"([H0]+[H1])/60 AS DayTotal"_s,
         u"(\"H0\"+\"H1\")* 1.0 /60 AS DayTotal"_s},
        {"text literals compare without case", u"AND UserName='o''neil'"_s,
         u"AND UserName='o''neil' COLLATE NOCASE"_s},
        {"double-quoted Jet text is a text literal", u"WHERE UserName=\"anna\""_s,
         u"WHERE UserName='anna' COLLATE NOCASE"_s},
        {"Mod binds more loosely than *", u"SELECT a * 2 Mod b + 1"_s, u"SELECT (a * 2 % b) + 1"_s},
        {"Mod of a call and a qualified name", u"SELECT Abs(x) Mod Activity.H0"_s,
         u"SELECT (Abs(x) % Activity.H0)"_s},
        {"Mod associates to the left", u"SELECT a Mod 5 Mod 3"_s, u"SELECT ((a % 5) % 3)"_s},
        {"unary minus belongs to the operand", u"SELECT -8 Mod 7"_s, u"SELECT (-8 % 7)"_s},
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
        EXPECT_EQ(translate(c.jet), c.sqlite);
    }
}

TEST(JetSqlTranslator, ComputesWhatJetComputes) {
    EXPECT_DOUBLE_EQ(evaluate(u"150/60"_s).toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(evaluate(u"(3600+1800)/3600"_s).toDouble(), 1.5);
    EXPECT_DOUBLE_EQ(evaluate(u"90/60*2"_s).toDouble(), 3.0);
    // Jet's Mod keeps the sign of the dividend: days before 2000 give 0 or negative remainders.
    EXPECT_EQ(evaluate(u"-1 Mod 7"_s).toInt(), -1);
    EXPECT_EQ(evaluate(u"-7 Mod 7"_s).toInt(), 0);
    EXPECT_EQ(evaluate(u"1551 mod 7"_s).toInt(), 4);
    EXPECT_EQ(evaluate(u"10 - 9 Mod 7"_s).toInt(), 8);  // Mod first, then -
    EXPECT_EQ(evaluate(u"2 * 9 Mod 7"_s).toInt(), 4);   // * first, then Mod
    EXPECT_TRUE(evaluate(u"NULL/60"_s).isNull());
    EXPECT_TRUE(evaluate(u"(1+NULL)/60"_s).isNull());
    EXPECT_EQ(evaluate(u"'ANNA' = 'anna'"_s).toInt(), 1);
    EXPECT_EQ(evaluate(u"'o''neil'"_s).toString(), u"o'neil"_s);
}

TEST(JetSqlTranslator, RefusesTextItCannotRead) {
    EXPECT_THROW(translate(u"SELECT 'open"_s), Error);
    EXPECT_THROW(translate(u"SELECT [open"_s), Error);
    EXPECT_THROW(translate(u"SELECT Mod 7"_s), Error);
}
