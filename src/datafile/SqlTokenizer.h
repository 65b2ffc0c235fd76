#pragma once

#include <QString>
#include <QStringView>

#include <utility>
#include <vector>

namespace tallyrow {

enum class SqlTokenKind { Space, Word, Number, String, Ident, Symbol };

/// How a text quotes its literals and names.
enum class SqlQuoting {
    Jet,      ///< 'text' and "text" are literals, [name] is a name
    Standard, ///< 'text' is a literal, "name" is a name
};

/// One token of an SQL text. `text` points into the text that was split, so that text must
/// outlive the token; a translation that rewrites a token (or inserts one) sets `replaced`.
struct SqlToken {
    SqlTokenKind kind = SqlTokenKind::Symbol;
    QStringView text;
    QString replaced;

    /// What the token stands for now: its replacement when it has one, else its text.
    QStringView view() const { return replaced.isNull() ? text : QStringView(replaced); }
    void replace(QString with) { replaced = std::move(with); }
};

/// Splits `sql` into tokens whose texts, put back together, give `sql` again: runs of white
/// space, words (letters, digits, "_"), numbers (digits and ".", with an exponent), quoted
/// literals and names kept with their quotes (a doubled quote stands for itself inside), and
/// symbols ("<>", "<=" and ">=" as one, anything else one character each). A literal or name
/// without its closing quote or bracket raises an Error.
std::vector<SqlToken> tokenizeSql(QStringView sql, SqlQuoting quoting);

/// Index of the previous token that is not white space, or -1.
qsizetype previousSignificant(const std::vector<SqlToken>& tokens, qsizetype i);
/// Index of the next token that is not white space, or the number of tokens.
qsizetype nextSignificant(const std::vector<SqlToken>& tokens, qsizetype i);
/// Index of the ")" that closes the "(" at `open`, or -1.
qsizetype matchingClose(const std::vector<SqlToken>& tokens, qsizetype open);

bool isSymbol(const SqlToken& token, QStringView symbol);
/// True for the word `word` in any letter case.
bool isWord(const SqlToken& token, QStringView word);

} // namespace tallyrow
