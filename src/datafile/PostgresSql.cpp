#include "datafile/PostgresSql.h"

#include "datafile/JetSqlTranslator.h"
#include "datafile/SqlTokenizer.h"
#include "support/Error.h"

#include <QSet>

#include <vector>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

using Kind = SqlTokenKind;
using Token = SqlToken;

// Words that may follow a sub-select in FROM without being its alias.
bool endsFromItem(const Token& t) {
    static const QSet<QString> words = {u"where"_s,     u"group"_s,  u"having"_s, u"order"_s,   u"union"_s,
                                        u"intersect"_s, u"except"_s, u"join"_s,   u"inner"_s,   u"left"_s,
                                        u"right"_s,     u"full"_s,   u"cross"_s,  u"natural"_s, u"on"_s,
                                        u"limit"_s,     u"offset"_s, u"fetch"_s,  u"for"_s,     u"window"_s};
    return t.kind != Kind::Word || words.contains(t.view().toString().toLower());
}

// Avg( … ) becomes Avg(( … )::float8): PostgreSQL averages integers as numeric, Jet as a double.
void castAverage(std::vector<Token>& t, qsizetype i) {
    const qsizetype open = nextSignificant(t, i);
    if (open >= static_cast<qsizetype>(t.size()) || !isSymbol(t[open], u"("))
        return;
    const qsizetype close = matchingClose(t, open);
    if (close < 0)
        throw Error(ErrNo::DataSource, u"Syntax error in query: Avg without its closing bracket"_s);
    qsizetype argument = nextSignificant(t, open);
    if (isWord(t[argument], u"distinct") || isWord(t[argument], u"all"))
        argument = nextSignificant(t, argument);
    t.insert(t.begin() + close, {Token{Kind::Symbol, {}, u")"_s}, Token{Kind::Symbol, {}, u"::float8"_s}});
    t.insert(t.begin() + argument, Token{Kind::Symbol, {}, u"("_s});
}

// A sub-select after FROM or JOIN (the bracket at `i`) gets the alias PostgreSQL requires and Jet
// does not, unless it has one.
void aliasSubSelect(std::vector<Token>& t, qsizetype i, int& aliases) {
    const qsizetype before = previousSignificant(t, i);
    const qsizetype first = nextSignificant(t, i);
    if (before < 0 || !(isWord(t[before], u"from") || isWord(t[before], u"join")) ||
        first >= static_cast<qsizetype>(t.size()) || !isWord(t[first], u"select"))
        return;
    const qsizetype close = matchingClose(t, i);
    if (close < 0)
        throw Error(ErrNo::DataSource, u"Syntax error in query: sub-select without its closing bracket"_s);
    const qsizetype after = nextSignificant(t, close);
    if (after < static_cast<qsizetype>(t.size()) && (isWord(t[after], u"as") || !endsFromItem(t[after])))
        return; // it has its alias already
    t.insert(t.begin() + close + 1, Token{Kind::Word, {}, u" AS subquery%1"_s.arg(++aliases)});
}

} // namespace

QString translateJetForPostgres(const QString& jetSql, const QString& foldCollation) {
    const QString common = JetSqlTranslator(SqlDialect::PostgreSQL, foldCollation).translate(jetSql);
    // The common translation hands over standard text: '…' literals, "…" names, the rest plain.
    // Tokens point into it; only the few that change carry a text of their own (the Totals
    // report sends a query per period, so this pass runs thousands of times a report).
    std::vector<Token> t = tokenizeSql(common, SqlQuoting::Standard);

    int aliases = 0;
    for (qsizetype i = 0; i < static_cast<qsizetype>(t.size()); ++i) {
        Token& tok = t[i];
        if (tok.kind == Kind::Ident) {
            tok.replace(tok.text.toString().toLower());
        } else if (tok.kind == Kind::Number && tok.text == u"1.0") {
            // The common translation makes every dividend real with "* 1.0 /"; 1.0 would be
            // numeric here, which divides to a different last digit than a double does.
            const qsizetype before = previousSignificant(t, i);
            const qsizetype after = nextSignificant(t, i);
            if (before >= 0 && isSymbol(t[before], u"*") && after < static_cast<qsizetype>(t.size()) &&
                isSymbol(t[after], u"/")) {
                tok.replace(u"1::float8"_s);
            }
        } else if (isWord(tok, u"avg")) {
            castAverage(t, i);
        } else if (isSymbol(tok, u"(")) {
            aliasSubSelect(t, i, aliases);
        }
    }

    QString out;
    out.reserve(common.size() + 64);
    for (const Token& tok : t) {
        out += tok.view();
    }
    return out;
}

QStringList postgresScriptStatements(const QString& script) {
    QStringList lines = script.split(u'\n');
    lines.removeIf([](const QString& line) { return line.trimmed().startsWith(u"--"_s); });
    const QString text = lines.join(u'\n');
    QStringList statements;
    bool inBody = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'$' && i + 1 < text.size() && text.at(i + 1) == u'$') {
            inBody = !inBody;
            ++i;
        } else if (text.at(i) == u';' && !inBody) {
            statements << text.mid(start, i - start).trimmed();
            start = i + 1;
        }
    }
    statements << text.mid(start).trimmed();
    statements.removeAll(QString());
    return statements;
}

} // namespace tallyrow
