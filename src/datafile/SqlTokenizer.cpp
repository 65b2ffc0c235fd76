#include "datafile/SqlTokenizer.h"

#include "support/Error.h"

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

bool isWordStart(QChar c) {
    return c.isLetter() || c == u'_';
}
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

/// End of the quoted text that opens at `i`; a doubled quote stands for itself.
qsizetype quotedEnd(QStringView sql, qsizetype i) {
    const QChar quote = sql[i];
    const qsizetype n = sql.size();
    for (++i;;) {
        if (i >= n)
            throw Error(ErrNo::DataSource,
                        u"Syntax error in query: text literal without its closing quote"_s);
        if (sql[i] == quote) {
            if (i + 1 < n && sql[i + 1] == quote) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
}

/// End of the number that starts at `i`: digits and points, then an exponent when one follows.
qsizetype numberEnd(QStringView sql, qsizetype i) {
    const qsizetype n = sql.size();
    while (i < n && (sql[i].isDigit() || sql[i] == u'.'))
        ++i;
    if (i < n && (sql[i] == u'e' || sql[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (sql[j] == u'+' || sql[j] == u'-'))
            ++j;
        if (j < n && sql[j].isDigit()) {
            i = j;
            while (i < n && sql[i].isDigit())
                ++i;
        }
    }
    return i;
}

qsizetype symbolEnd(QStringView sql, qsizetype i) {
    const QStringView two = sql.mid(i, 2);
    if (two == u"<>" || two == u"<=" || two == u">=")
        return i + 2;
    return i + 1;
}

} // namespace

std::vector<SqlToken> tokenizeSql(QStringView sql, SqlQuoting quoting) {
    std::vector<SqlToken> tokens;
    tokens.reserve(sql.size() / 3);
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        const qsizetype start = i;
        SqlTokenKind kind = SqlTokenKind::Symbol;
        if (c.isSpace()) {
            while (i < n && sql[i].isSpace())
                ++i;
            kind = SqlTokenKind::Space;
        } else if (c == u'\'' || c == u'"') {
            i = quotedEnd(sql, i);
            kind = c == u'"' && quoting == SqlQuoting::Standard ? SqlTokenKind::Ident : SqlTokenKind::String;
        } else if (c == u'[' && quoting == SqlQuoting::Jet) {
            const qsizetype close = sql.indexOf(u']', i + 1);
            if (close < 0)
                throw Error(ErrNo::DataSource, u"Syntax error in query: name without its closing bracket"_s);
            i = close + 1;
            kind = SqlTokenKind::Ident;
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && sql[i + 1].isDigit())) {
            i = numberEnd(sql, i);
            kind = SqlTokenKind::Number;
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(sql[i]))
                ++i;
            kind = SqlTokenKind::Word;
        } else {
            i = symbolEnd(sql, i);
        }
        tokens.push_back({kind, sql.mid(start, i - start), {}});
    }
    return tokens;
}

qsizetype previousSignificant(const std::vector<SqlToken>& tokens, qsizetype i) {
    for (--i; i >= 0; --i) {
        if (tokens[i].kind != SqlTokenKind::Space)
            return i;
    }
    return -1;
}

qsizetype nextSignificant(const std::vector<SqlToken>& tokens, qsizetype i) {
    const auto n = static_cast<qsizetype>(tokens.size());
    for (++i; i < n; ++i) {
        if (tokens[i].kind != SqlTokenKind::Space)
            return i;
    }
    return n;
}

qsizetype matchingClose(const std::vector<SqlToken>& tokens, qsizetype open) {
    int depth = 0;
    for (qsizetype k = open; k < static_cast<qsizetype>(tokens.size()); ++k) {
        if (isSymbol(tokens[k], u"(")) {
            ++depth;
        } else if (isSymbol(tokens[k], u")") && --depth == 0) {
            return k;
        }
    }
    return -1;
}

bool isSymbol(const SqlToken& token, QStringView symbol) {
    return token.kind == SqlTokenKind::Symbol && token.view() == symbol;
}

bool isWord(const SqlToken& token, QStringView word) {
    return token.kind == SqlTokenKind::Word && token.view().compare(word, Qt::CaseInsensitive) == 0;
}

} // namespace tallyrow
