// Both dialect translations rewrite token by token and then put the texts back together, so the
// split must lose nothing and must not cut through a literal, a name or a number.
#include "datafile/SqlTokenizer.h"
#include "support/Error.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

using K = SqlTokenKind;

struct Expected {
    K kind;
    QString text;
};

std::vector<Expected> significant(const QString& sql, SqlQuoting quoting) {
    std::vector<Expected> out;
    for (const SqlToken& t : tokenizeSql(sql, quoting)) {
        if (t.kind != K::Space)
            out.push_back({t.kind, t.text.toString()});
    }
    return out;
}

void expectTokens(const QString& sql, SqlQuoting quoting, const std::vector<Expected>& expected) {
    const auto got = significant(sql, quoting);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].kind, expected[i].kind);
        EXPECT_EQ(got[i].text, expected[i].text);
    }
}

} // namespace

TEST(SqlTokenizer, TokensPutBackTogetherGiveTheTextAgain) {
    const QString texts[] = {
        u"SELECT [Activity].[H0] Mod 7, 'o''neil', \"x\"\"y\" FROM t WHERE a<>b AND c>=1.5e-3"_s,
        u"  leading and trailing\t\n "_s,
        u"x=-.5*(y/2)^3 \\ 4 & 'ü'"_s,
        QString(),
    };
    for (const QString& sql : texts) {
        SCOPED_TRACE(sql.toStdString());
        for (SqlQuoting quoting : {SqlQuoting::Jet, SqlQuoting::Standard}) {
            QString joined;
            for (const SqlToken& t : tokenizeSql(sql, quoting))
                joined += t.view();
            EXPECT_EQ(joined, sql);
        }
    }
}

TEST(SqlTokenizer, SplitsLiteralsNamesNumbersAndOperators) {
    expectTokens(u"WHERE [User Name]='o''neil' AND H0>=1.5E+2"_s, SqlQuoting::Jet,
                 {{K::Word, u"WHERE"_s},
                  {K::Ident, u"[User Name]"_s},
                  {K::Symbol, u"="_s},
                  {K::String, u"'o''neil'"_s},
                  {K::Word, u"AND"_s},
                  {K::Word, u"H0"_s},
                  {K::Symbol, u">="_s},
                  {K::Number, u"1.5E+2"_s}});
    // A letter after a number starts a word unless it makes an exponent.
    expectTokens(u"2e 3x .5"_s, SqlQuoting::Jet,
                 {{K::Number, u"2"_s},
                  {K::Word, u"e"_s},
                  {K::Number, u"3"_s},
                  {K::Word, u"x"_s},
                  {K::Number, u".5"_s}});
    expectTokens(
        u"a<>b<c"_s, SqlQuoting::Standard,
        {{K::Word, u"a"_s}, {K::Symbol, u"<>"_s}, {K::Word, u"b"_s}, {K::Symbol, u"<"_s}, {K::Word, u"c"_s}});
}

TEST(SqlTokenizer, QuotingDecidesWhatDoubleQuotesAndBracketsMean) {
    expectTokens(u"\"anna\" [x]"_s, SqlQuoting::Jet, {{K::String, u"\"anna\""_s}, {K::Ident, u"[x]"_s}});
    expectTokens(u"\"anna\" [x]"_s, SqlQuoting::Standard,
                 {{K::Ident, u"\"anna\""_s}, {K::Symbol, u"["_s}, {K::Word, u"x"_s}, {K::Symbol, u"]"_s}});
}

TEST(SqlTokenizer, UnclosedLiteralOrNameIsASyntaxError) {
    const struct {
        QString sql;
        SqlQuoting quoting;
    } cases[] = {
        {u"WHERE a='x"_s, SqlQuoting::Jet},
        {u"WHERE a='x''"_s, SqlQuoting::Standard},
        {u"WHERE \"a"_s, SqlQuoting::Standard},
        {u"SELECT [H0 FROM t"_s, SqlQuoting::Jet},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql.toStdString());
        EXPECT_THROW(tokenizeSql(c.sql, c.quoting), Error);
    }
}

TEST(SqlTokenizer, NeighboursSkipSpaceAndBracketsMatchAcrossNesting) {
    const QString sql = u"f ( (a) , b )  x"_s;
    const auto t = tokenizeSql(sql, SqlQuoting::Standard);
    const auto n = static_cast<qsizetype>(t.size());
    const qsizetype open = nextSignificant(t, 0);
    ASSERT_TRUE(isSymbol(t[open], u"("));
    const qsizetype close = matchingClose(t, open);
    ASSERT_GE(close, 0);
    EXPECT_TRUE(isSymbol(t[close], u")"));
    EXPECT_TRUE(isWord(t[nextSignificant(t, close)], u"X"));
    EXPECT_EQ(previousSignificant(t, open), 0);
    EXPECT_EQ(previousSignificant(t, 0), -1);
    EXPECT_EQ(nextSignificant(t, n - 1), n);
    EXPECT_EQ(matchingClose(tokenizeSql(u"(a"_s, SqlQuoting::Standard), 0), -1);
}
