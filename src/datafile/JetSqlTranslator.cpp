#include "datafile/JetSqlTranslator.h"

#include "support/Error.h"

#include <QSet>

#include <vector>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

enum class Kind { Space, Word, Number, String, Ident, Symbol };

struct Token {
    Kind kind;
    QString text; // output text (already translated for strings and identifiers)
};

bool isWordStart(QChar c) {
    return c.isLetter() || c == u'_';
}
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// Words that end an operand when scanning around Mod (operators and clause keywords).
bool isKeyword(const QString& word) {
    static const QSet<QString> keywords = {
        u"select"_s, u"from"_s, u"where"_s, u"group"_s, u"by"_s, u"having"_s, u"order"_s, u"and"_s,
        u"or"_s, u"not"_s, u"xor"_s, u"eqv"_s, u"imp"_s, u"as"_s, u"in"_s, u"between"_s, u"like"_s,
        u"is"_s, u"on"_s, u"join"_s, u"inner"_s, u"left"_s, u"right"_s, u"outer"_s, u"union"_s,
        u"all"_s, u"distinct"_s, u"distinctrow"_s, u"top"_s, u"asc"_s, u"desc"_s, u"mod"_s,
        u"exists"_s, u"into"_s, u"values"_s, u"set"_s, u"when"_s, u"then"_s, u"else"_s, u"case"_s,
        u"end"_s};
    return keywords.contains(word.toLower());
}

bool isMod(const Token& t) {
    return t.kind == Kind::Word && t.text.compare(u"mod"_s, Qt::CaseInsensitive) == 0;
}
bool isSymbol(const Token& t, QStringView s) {
    return t.kind == Kind::Symbol && t.text == s;
}
// Operators that bind more tightly than Mod.
bool isTighterOperator(const Token& t) {
    return t.kind == Kind::Symbol && (t.text == u"*" || t.text == u"/" || t.text == u"\\" || t.text == u"^");
}
bool isOperandEnd(const Token& t) {
    return (t.kind == Kind::Word && !isKeyword(t.text)) || t.kind == Kind::Number || t.kind == Kind::String ||
           t.kind == Kind::Ident || isSymbol(t, u")");
}

QString quoteIdent(const QString& name) {
    QString inner = name;
    inner.replace(u'"', u"\"\""_s);
    return u'"' + inner + u'"';
}

std::vector<Token> tokenize(const QString& sql) {
    std::vector<Token> tokens;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && sql[i].isSpace()) {
                ++i;
            }
            tokens.push_back({Kind::Space, sql.mid(start, i - start)});
        } else if (c == u'\'' || c == u'"') {
            // Jet takes both quotes for text literals; a doubled quote stands for itself.
            QString value;
            ++i;
            for (;;) {
                if (i >= n) {
                    throw Error(ErrNo::DataSource, u"Syntax error in query: text literal without its closing quote"_s);
                }
                if (sql[i] == c) {
                    if (i + 1 < n && sql[i + 1] == c) {
                        value += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += sql[i++];
            }
            value.replace(u'\'', u"''"_s);
            tokens.push_back({Kind::String, u'\'' + value + u'\''});
        } else if (c == u'[') {
            const qsizetype close = sql.indexOf(u']', i + 1);
            if (close < 0) {
                throw Error(ErrNo::DataSource, u"Syntax error in query: name without its closing bracket"_s);
            }
            tokens.push_back({Kind::Ident, quoteIdent(sql.mid(i + 1, close - i - 1))});
            i = close + 1;
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && sql[i + 1].isDigit())) {
            while (i < n && (sql[i].isDigit() || sql[i] == u'.')) {
                ++i;
            }
            if (i < n && (sql[i] == u'e' || sql[i] == u'E')) {
                qsizetype j = i + 1;
                if (j < n && (sql[j] == u'+' || sql[j] == u'-')) {
                    ++j;
                }
                if (j < n && sql[j].isDigit()) {
                    i = j;
                    while (i < n && sql[i].isDigit()) {
                        ++i;
                    }
                }
            }
            tokens.push_back({Kind::Number, sql.mid(start, i - start)});
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(sql[i])) {
                ++i;
            }
            tokens.push_back({Kind::Word, sql.mid(start, i - start)});
        } else {
            static const QStringList pairs = {u"<>"_s, u"<="_s, u">="_s};
            const QString two = sql.mid(i, 2);
            if (pairs.contains(two)) {
                tokens.push_back({Kind::Symbol, two});
                i += 2;
            } else {
                tokens.push_back({Kind::Symbol, QString(c)});
                ++i;
            }
        }
    }
    return tokens;
}

// Index of the previous / next token that is not white space, or -1 / size.
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
        const qsizetype fn = prevSig(t, start);
        if (fn >= 0 && t[fn].kind == Kind::Word && !isKeyword(t[fn].text)) {
            start = fn;
        }
        return start;
    }
    // qualified names: Activity.H0, [Activity].[H0]
    for (;;) {
        const qsizetype dot = prevSig(t, start);
        if (dot < 0 || !isSymbol(t[dot], u".")) {
            return start;
        }
        const qsizetype qual = prevSig(t, dot);
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
        const qsizetype before = prevSig(t, start);
        if (before < 0) {
            return start;
        }
        if (isSymbol(t[before], u"-") || isSymbol(t[before], u"+")) {
            // A sign is unary when no operand stands before it.
            const qsizetype b2 = prevSig(t, before);
            if (b2 < 0 || !isOperandEnd(t[b2])) {
                start = before;
                continue;
            }
            return start;
        }
        if (isTighterOperator(t[before])) {
            const qsizetype s = operandStartBackward(t, prevSig(t, before));
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
        begin = nextSig(t, begin);
        if (begin >= n) {
            return -1;
        }
    }
    qsizetype end = begin;
    const Token& first = t[begin];
    if (first.kind == Kind::Word && !isKeyword(first.text)) {
        const qsizetype after = nextSig(t, begin);
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
        const qsizetype dot = nextSig(t, end);
        if (dot >= n || !isSymbol(t[dot], u".")) {
            return end;
        }
        const qsizetype name = nextSig(t, dot);
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
        const qsizetype op = nextSig(t, end);
        if (op >= static_cast<qsizetype>(t.size()) || !isTighterOperator(t[op])) {
            return end;
        }
        const qsizetype e = operandEndForward(t, nextSig(t, op));
        if (e < 0) {
            return end;
        }
        end = e;
    }
}

} // namespace

JetSqlTranslator::JetSqlTranslator(SqlDialect dialect) : m_dialect(dialect) {}

QString JetSqlTranslator::translate(const QString& jetSql) const {
    std::vector<Token> t = tokenize(jetSql);

    // Mod, left to right (it associates to the left; a bracketed earlier Mod is an operand).
    for (qsizetype i = 0; i < static_cast<qsizetype>(t.size()); ++i) {
        if (!isMod(t[i])) {
            continue;
        }
        const qsizetype left = leftOperandStart(t, prevSig(t, i));
        const qsizetype right = rightOperandEnd(t, nextSig(t, i));
        if (left < 0 || right < 0) {
            throw Error(ErrNo::DataSource, u"Syntax error in query: Mod without an operand on each side"_s);
        }
        t[i] = {Kind::Symbol, u"%"_s};
        t.insert(t.begin() + right + 1, Token{Kind::Symbol, u")"_s});
        t.insert(t.begin() + left, Token{Kind::Symbol, u"("_s});
        ++i;
    }

    QString out;
    out.reserve(jetSql.size() + 32);
    for (const Token& tok : t) {
        if (isSymbol(tok, u"/")) {
            out += u"* 1.0 /"_s; // the dividend becomes real, so / divides as Jet divides
        } else if (tok.kind == Kind::String && m_dialect == SqlDialect::SQLite) {
            out += tok.text + u" COLLATE NOCASE"_s;
        } else {
            out += tok.text;
        }
    }
    return out;
}

} // namespace tallyrow
