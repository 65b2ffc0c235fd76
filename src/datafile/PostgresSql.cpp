#include "datafile/PostgresSql.h"

#include "datafile/JetSqlTranslator.h"
#include "support/Error.h"

#include <QSet>

#include <vector>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

// The common translation hands over PostgreSQL text: '…' literals, "…" names, the rest plain.
enum class Kind { Space, Word, Number, String, Ident, Symbol };

// Tokens point into the translated text; only the few that change carry a text of their own.
// (The Totals report sends a query per period, so this pass runs thousands of times a report.)
struct Token {
    Kind kind;
    QStringView text;
    QString replaced;

    QStringView view() const { return replaced.isNull() ? text : QStringView(replaced); }
    void replace(QString with) { replaced = std::move(with); }
};

std::vector<Token> tokenize(QStringView sql) {
    std::vector<Token> tokens;
    tokens.reserve(sql.size() / 3);
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && sql[i].isSpace()) {
                ++i;
            }
            tokens.push_back({Kind::Space, sql.mid(start, i - start), {}});
        } else if (c == u'\'' || c == u'"') {
            ++i;
            for (;;) {
                if (i >= n) {
                    throw Error(ErrNo::DataSource,
                                u"Syntax error in query: text literal without its closing quote"_s);
                }
                if (sql[i] == c) {
                    if (i + 1 < n && sql[i + 1] == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            tokens.push_back({c == u'"' ? Kind::Ident : Kind::String, sql.mid(start, i - start), {}});
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && sql[i + 1].isDigit())) {
            while (i < n && (sql[i].isLetterOrNumber() || sql[i] == u'.')) {
                ++i;
            }
            tokens.push_back({Kind::Number, sql.mid(start, i - start), {}});
        } else if (c.isLetter() || c == u'_') {
            while (i < n && (sql[i].isLetterOrNumber() || sql[i] == u'_')) {
                ++i;
            }
            tokens.push_back({Kind::Word, sql.mid(start, i - start), {}});
        } else {
            tokens.push_back({Kind::Symbol, sql.mid(i, 1), {}});
            ++i;
        }
    }
    return tokens;
}

bool isWord(const Token& t, QStringView w) {
    return t.kind == Kind::Word && t.view().compare(w, Qt::CaseInsensitive) == 0;
}
bool isSymbol(const Token& t, QStringView s) {
    return t.kind == Kind::Symbol && t.view() == s;
}

qsizetype prevSig(const std::vector<Token>& t, qsizetype i) {
    for (--i; i >= 0; --i) {
        if (t[i].kind != Kind::Space) {
            return i;
        }
    }
    return -1;
}
qsizetype nextSig(const std::vector<Token>& t, qsizetype i) {
    const auto n = static_cast<qsizetype>(t.size());
    for (++i; i < n; ++i) {
        if (t[i].kind != Kind::Space) {
            return i;
        }
    }
    return n;
}
qsizetype matchingClose(const std::vector<Token>& t, qsizetype open) {
    int depth = 0;
    for (qsizetype k = open; k < static_cast<qsizetype>(t.size()); ++k) {
        if (isSymbol(t[k], u"(")) {
            ++depth;
        } else if (isSymbol(t[k], u")") && --depth == 0) {
            return k;
        }
    }
    return -1;
}

// Words that may follow a sub-select in FROM without being its alias.
bool endsFromItem(const Token& t) {
    static const QSet<QString> words = {u"where"_s,     u"group"_s,  u"having"_s, u"order"_s,   u"union"_s,
                                        u"intersect"_s, u"except"_s, u"join"_s,   u"inner"_s,   u"left"_s,
                                        u"right"_s,     u"full"_s,   u"cross"_s,  u"natural"_s, u"on"_s,
                                        u"limit"_s,     u"offset"_s, u"fetch"_s,  u"for"_s,     u"window"_s};
    return t.kind != Kind::Word || words.contains(t.view().toString().toLower());
}

} // namespace

QString translateJetForPostgres(const QString& jetSql) {
    const QString common = JetSqlTranslator(SqlDialect::PostgreSQL).translate(jetSql);
    std::vector<Token> t = tokenize(common);

    int aliases = 0;
    for (qsizetype i = 0; i < static_cast<qsizetype>(t.size()); ++i) {
        Token& tok = t[i];
        if (tok.kind == Kind::Ident) {
            tok.replace(tok.text.toString().toLower());
        } else if (tok.kind == Kind::Number && tok.text == u"1.0") {
            // The common translation makes every dividend real with "* 1.0 /"; 1.0 would be
            // numeric here, which divides to a different last digit than a double does.
            const qsizetype before = prevSig(t, i);
            const qsizetype after = nextSig(t, i);
            if (before >= 0 && isSymbol(t[before], u"*") && after < static_cast<qsizetype>(t.size()) &&
                isSymbol(t[after], u"/")) {
                tok.replace(u"1::float8"_s);
            }
        } else if (isWord(tok, u"avg")) {
            const qsizetype open = nextSig(t, i);
            if (open >= static_cast<qsizetype>(t.size()) || !isSymbol(t[open], u"(")) {
                continue;
            }
            const qsizetype close = matchingClose(t, open);
            if (close < 0) {
                throw Error(ErrNo::DataSource, u"Syntax error in query: Avg without its closing bracket"_s);
            }
            qsizetype argument = nextSig(t, open);
            if (isWord(t[argument], u"distinct") || isWord(t[argument], u"all")) {
                argument = nextSig(t, argument);
            }
            t.insert(t.begin() + close,
                     {Token{Kind::Symbol, {}, u")"_s}, Token{Kind::Symbol, {}, u"::float8"_s}});
            t.insert(t.begin() + argument, Token{Kind::Symbol, {}, u"("_s});
        } else if (isSymbol(tok, u"(")) {
            const qsizetype before = prevSig(t, i);
            const qsizetype first = nextSig(t, i);
            if (before < 0 || !(isWord(t[before], u"from") || isWord(t[before], u"join")) ||
                first >= static_cast<qsizetype>(t.size()) || !isWord(t[first], u"select")) {
                continue;
            }
            const qsizetype close = matchingClose(t, i);
            if (close < 0) {
                throw Error(ErrNo::DataSource,
                            u"Syntax error in query: sub-select without its closing bracket"_s);
            }
            const qsizetype after = nextSig(t, close);
            if (after < static_cast<qsizetype>(t.size()) &&
                (isWord(t[after], u"as") || !endsFromItem(t[after]))) {
                continue; // it has its alias already
            }
            t.insert(t.begin() + close + 1, Token{Kind::Word, {}, u" AS subquery%1"_s.arg(++aliases)});
        }
    }

    QString out;
    out.reserve(common.size() + 64);
    for (const Token& tok : t) {
        out += tok.view();
    }
    return out;
}

} // namespace tallyrow
