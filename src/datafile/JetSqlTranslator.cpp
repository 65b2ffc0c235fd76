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

// Words that end an operand when scanning around Mod (operators and clause keywords).
bool isKeyword(QStringView word) {
    static const QSet<QString> keywords = {
        u"select"_s, u"from"_s,    u"where"_s, u"group"_s, u"by"_s,     u"having"_s,   u"order"_s,
        u"and"_s,    u"or"_s,      u"not"_s,   u"xor"_s,   u"eqv"_s,    u"imp"_s,      u"as"_s,
        u"in"_s,     u"between"_s, u"like"_s,  u"is"_s,    u"on"_s,     u"join"_s,     u"inner"_s,
        u"left"_s,   u"right"_s,   u"outer"_s, u"union"_s, u"all"_s,    u"distinct"_s, u"distinctrow"_s,
        u"top"_s,    u"asc"_s,     u"desc"_s,  u"mod"_s,   u"exists"_s, u"into"_s,     u"values"_s,
        u"set"_s,    u"when"_s,    u"then"_s,  u"else"_s,  u"case"_s,   u"end"_s};
    return keywords.contains(word.toString().toLower());
}

// Operators that bind more tightly than Mod.
bool isTighterOperator(const Token& t) {
    return isSymbol(t, u"*") || isSymbol(t, u"/") || isSymbol(t, u"\\") || isSymbol(t, u"^");
}
bool isOperandEnd(const Token& t) {
    return (t.kind == Kind::Word && !isKeyword(t.view())) || t.kind == Kind::Number ||
           t.kind == Kind::String || t.kind == Kind::Ident || isSymbol(t, u")");
}

QString quoteIdent(QStringView name) {
    QString inner = name.toString();
    inner.replace(u'"', u"\"\""_s);
    return u'"' + inner + u'"';
}

// Jet takes both quotes for text literals; the standard writes text in single quotes only.
QString standardLiteral(QStringView quoted) {
    const QChar quote = quoted.front();
    QString value = quoted.mid(1, quoted.size() - 2).toString();
    value.replace(QString(2, quote), QString(quote));
    value.replace(u'\'', u"''"_s);
    return u'\'' + value + u'\'';
}

// Start of the operand that ends at token `end` (a name, literal, bracketed group or call, with
// any qualifier in front), or -1 when `end` does not end an operand.
qsizetype operandStartBackward(const std::vector<Token>& t, qsizetype end) {
    if (end < 0 || !isOperandEnd(t[end])) {
        return -1;
    }
    qsizetype start = end;
    if (isSymbol(t[end], u")")) {
        int depth = 0;
        for (qsizetype k = end; k >= 0; --k) {
            if (isSymbol(t[k], u")")) {
                ++depth;
            } else if (isSymbol(t[k], u"(") && --depth == 0) {
                start = k;
                break;
            }
            if (k == 0) {
                return -1;
            }
        }
        const qsizetype fn = previousSignificant(t, start);
        if (fn >= 0 && t[fn].kind == Kind::Word && !isKeyword(t[fn].view())) {
            start = fn;
        }
        return start;
    }
    // qualified names: Activity.H0, [Activity].[H0]
    for (;;) {
        const qsizetype dot = previousSignificant(t, start);
        if (dot < 0 || !isSymbol(t[dot], u".")) {
            return start;
        }
        const qsizetype qual = previousSignificant(t, dot);
        if (qual < 0 || !(t[qual].kind == Kind::Word || t[qual].kind == Kind::Ident)) {
            return start;
        }
        start = qual;
    }
}

// The left operand of Mod: a run of tighter-binding terms ending at `end`, unary signs included.
qsizetype leftOperandStart(const std::vector<Token>& t, qsizetype end) {
    qsizetype start = operandStartBackward(t, end);
    if (start < 0) {
        return -1;
    }
    for (;;) {
        const qsizetype before = previousSignificant(t, start);
        if (before < 0) {
            return start;
        }
        if (isSymbol(t[before], u"-") || isSymbol(t[before], u"+")) {
            // A sign is unary when no operand stands before it.
            const qsizetype b2 = previousSignificant(t, before);
            if (b2 < 0 || !isOperandEnd(t[b2])) {
                start = before;
                continue;
            }
            return start;
        }
        if (isTighterOperator(t[before])) {
            const qsizetype s = operandStartBackward(t, previousSignificant(t, before));
            if (s < 0) {
                return start;
            }
            start = s;
            continue;
        }
        return start;
    }
}

// End of the operand that starts at `begin`, or -1.
qsizetype operandEndForward(const std::vector<Token>& t, qsizetype begin) {
    const auto n = static_cast<qsizetype>(t.size());
    if (begin >= n) {
        return -1;
    }
    while (isSymbol(t[begin], u"-") || isSymbol(t[begin], u"+")) {
        begin = nextSignificant(t, begin);
        if (begin >= n) {
            return -1;
        }
    }
    qsizetype end = begin;
    const Token& first = t[begin];
    if (first.kind == Kind::Word && !isKeyword(first.view())) {
        const qsizetype after = nextSignificant(t, begin);
        if (after < n && isSymbol(t[after], u"(")) {
            end = after; // function call: fall through to the bracket
        }
    } else if (first.kind == Kind::Number || first.kind == Kind::String || first.kind == Kind::Ident) {
        // literal or quoted name
    } else if (!isSymbol(first, u"(")) {
        return -1;
    }
    if (isSymbol(t[end], u"(")) {
        int depth = 0;
        for (qsizetype k = end; k < n; ++k) {
            if (isSymbol(t[k], u"(")) {
                ++depth;
            } else if (isSymbol(t[k], u")") && --depth == 0) {
                return k;
            }
        }
        return -1;
    }
    for (;;) {
        const qsizetype dot = nextSignificant(t, end);
        if (dot >= n || !isSymbol(t[dot], u".")) {
            return end;
        }
        const qsizetype name = nextSignificant(t, dot);
        if (name >= n || !(t[name].kind == Kind::Word || t[name].kind == Kind::Ident)) {
            return end;
        }
        end = name;
    }
}

qsizetype rightOperandEnd(const std::vector<Token>& t, qsizetype begin) {
    qsizetype end = operandEndForward(t, begin);
    if (end < 0) {
        return -1;
    }
    for (;;) {
        const qsizetype op = nextSignificant(t, end);
        if (op >= static_cast<qsizetype>(t.size()) || !isTighterOperator(t[op])) {
            return end;
        }
        const qsizetype e = operandEndForward(t, nextSignificant(t, op));
        if (e < 0) {
            return end;
        }
        end = e;
    }
}

Token symbol(QString text) {
    return Token{Kind::Symbol, {}, std::move(text)};
}
Token space() {
    return Token{Kind::Space, {}, u" "_s};
}

// A text literal standing alone (no sign, no operator) from `begin` to `end`.
bool isLiteral(const std::vector<Token>& t, qsizetype begin, qsizetype end) {
    return begin == end && t[begin].kind == Kind::String;
}

// Text literals in standard quoting, bracketed names in double quotes.
void requoteLiterals(std::vector<Token>& t) {
    for (Token& tok : t) {
        if (tok.kind == Kind::String) {
            tok.replace(standardLiteral(tok.text));
        } else if (tok.kind == Kind::Ident) {
            tok.replace(quoteIdent(tok.text.mid(1, tok.text.size() - 2)));
        }
    }
}

// Mod, left to right (it associates to the left; a bracketed earlier Mod is an operand).
void rewriteMod(std::vector<Token>& t) {
    for (qsizetype i = 0; i < static_cast<qsizetype>(t.size()); ++i) {
        if (!isWord(t[i], u"mod")) {
            continue;
        }
        const qsizetype left = leftOperandStart(t, previousSignificant(t, i));
        const qsizetype divisorStart = nextSignificant(t, i);
        const qsizetype right = rightOperandEnd(t, divisorStart);
        if (left < 0 || right < 0) {
            throw Error(ErrNo::DataSource, u"Syntax error in query: Mod without an operand on each side"_s);
        }
        // ((a % b) + b) % b: the remainder never negative, so a day before 2000 still falls on
        // its own weekday.
        std::vector<Token> divisor(t.begin() + divisorStart, t.begin() + right + 1);
        if (divisorStart != right) {
            divisor.insert(divisor.begin(), symbol(u"("_s));
            divisor.push_back(symbol(u")"_s));
        }
        std::vector<Token> tail{symbol(u")"_s), space(), symbol(u"+"_s), space()};
        tail.insert(tail.end(), divisor.begin(), divisor.end());
        tail.insert(tail.end(), {symbol(u")"_s), space(), symbol(u"%"_s), space()});
        tail.insert(tail.end(), divisor.begin(), divisor.end());
        tail.push_back(symbol(u")"_s));
        t[i] = symbol(u"%"_s);
        t.insert(t.begin() + right + 1, tail.begin(), tail.end());
        t.insert(t.begin() + left, {symbol(u"("_s), symbol(u"("_s), symbol(u"("_s)});
        i += 3;
    }
}

// Names compare without regard to case for every letter: both sides of a comparison with a
// text literal are wrapped in `open` … `close`.
void foldTextComparisons(std::vector<Token>& t, const std::vector<Token>& open,
                         const std::vector<Token>& close) {
    for (qsizetype i = 0; i < static_cast<qsizetype>(t.size()); ++i) {
        if (!isSymbol(t[i], u"=") && !isSymbol(t[i], u"<>")) {
            continue;
        }
        const qsizetype leftEnd = previousSignificant(t, i);
        const qsizetype left = operandStartBackward(t, leftEnd);
        const qsizetype rightBegin = nextSignificant(t, i);
        const qsizetype rightEnd = operandEndForward(t, rightBegin);
        if (left < 0 || rightEnd < 0 ||
            !(isLiteral(t, left, leftEnd) || isLiteral(t, rightBegin, rightEnd))) {
            continue;
        }
        for (qsizetype k = left; k <= rightEnd; ++k) {
            if (t[k].kind == Kind::String) {
                t[k].kind = Kind::Word; // folded: it needs no NOCASE of its own
            }
        }
        // Right side first, so the left side's positions still hold.
        t.insert(t.begin() + rightEnd + 1, close.begin(), close.end());
        t.insert(t.begin() + rightBegin, open.begin(), open.end());
        t.insert(t.begin() + leftEnd + 1, close.begin(), close.end());
        t.insert(t.begin() + left, open.begin(), open.end());
        i = rightEnd + 2 * static_cast<qsizetype>(open.size() + close.size()) - 1;
    }
}

} // namespace

JetSqlTranslator::JetSqlTranslator(SqlDialect dialect, QString foldCollation)
    : m_dialect(dialect), m_foldCollation(std::move(foldCollation)) {}

// The server has no simple case folding of its own: lower(upper(lower(x))) takes every name the
// files' folding takes (the long s, the micro sign and a final sigma, which lower() alone keeps
// apart, and ẞ, which upper() alone turns into SS while ß stays), and a few more (STRASSE for
// straße): the program keeps only the names its own folding takes.
std::vector<SqlToken> JetSqlTranslator::foldOpen() const {
    if (m_dialect == SqlDialect::SQLite)
        return {Token{Kind::Word, {}, u"tallyrow_fold"_s}, symbol(u"("_s)};
    return {Token{Kind::Word, {}, u"lower"_s}, symbol(u"("_s),
            Token{Kind::Word, {}, u"upper"_s}, symbol(u"("_s),
            Token{Kind::Word, {}, u"lower"_s}, symbol(u"("_s)};
}

std::vector<SqlToken> JetSqlTranslator::foldClose() const {
    if (m_dialect == SqlDialect::SQLite)
        return {symbol(u")"_s)};
    if (m_foldCollation.isEmpty())
        return {symbol(u")"_s), symbol(u")"_s), symbol(u")"_s)};
    QString collation = m_foldCollation;
    collation.replace(u'"', u"\"\""_s);
    return {Token{Kind::Word, {}, u" COLLATE \""_s + collation + u'"'}, symbol(u")"_s), symbol(u")"_s),
            symbol(u")"_s)};
}

QString JetSqlTranslator::translate(const QString& jetSql) const {
    std::vector<Token> t = tokenizeSql(jetSql, SqlQuoting::Jet);
    requoteLiterals(t);
    rewriteMod(t);
    foldTextComparisons(t, foldOpen(), foldClose());

    QString out;
    out.reserve(jetSql.size() + 32);
    for (const Token& tok : t) {
        if (isSymbol(tok, u"/")) {
            out += u"* 1.0 /"_s; // the dividend becomes real, so / divides as Jet divides
        } else if (tok.kind == Kind::String && m_dialect == SqlDialect::SQLite) {
            out += tok.view();
            out += u" COLLATE NOCASE"_s;
        } else {
            out += tok.view();
        }
    }
    return out;
}

} // namespace tallyrow
