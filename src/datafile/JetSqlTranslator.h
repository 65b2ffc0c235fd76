#pragma once

#include "datafile/SqlTokenizer.h"

#include <QString>

#include <vector>

namespace tallyrow {

/// The SQL dialects a provider may speak.
enum class SqlDialect { SQLite, PostgreSQL };

/// Turns the Jet SQL texts the reports build into a provider's dialect, keeping the meaning Jet
/// gives them:
///  - `a Mod b` becomes `(((a % b) + b) % b)`: Mod binds more loosely than * and / in Jet but %
///    does not, so the operands are bracketed; the remainder is made non-negative for a positive
///    b (-8 Mod 7 is 6), so a day number before 2000 still gives its own weekday;
///  - `/` always divides as floating point (150/60 is 2.5), so the dividend is made real;
///  - `[name]` quoting becomes "name", and a Jet "text" literal becomes 'text';
///  - `x = 'text'` and `x <> 'text'` (either side the literal) compare without regard to case
///    for every letter: SQLite folds both sides with tallyrow_fold (see SqliteDatabase),
///    PostgreSQL lowers both sides, under the fold collation when one is given;
///  - any other text literal gets COLLATE NOCASE in SQLite, so even a file whose columns lack
///    that collation compares as Jet does (for the letters A to Z).
/// Everything else (aggregates, DISTINCT, sub-selects, BETWEEN, In, HAVING, NULL) reads the same
/// in both dialects and passes through unchanged. A text with an unterminated literal or
/// bracket fails with an Error.
class JetSqlTranslator {
public:
    /// `foldCollation` (PostgreSQL only) is the collation names are lowered under, such as
    /// "und-x-icu"; empty lowers them under their own collation.
    explicit JetSqlTranslator(SqlDialect dialect = SqlDialect::SQLite, QString foldCollation = {});

    QString translate(const QString& jetSql) const;

private:
    std::vector<SqlToken> foldOpen() const;
    std::vector<SqlToken> foldClose() const;

    SqlDialect m_dialect;
    QString m_foldCollation;
};

} // namespace tallyrow
