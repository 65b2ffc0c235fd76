#pragma once

#include <QString>

namespace tallyrow {

/// The SQL dialects a provider may speak.
enum class SqlDialect { SQLite, PostgreSQL };

/// Turns the Jet SQL texts the reports build into a provider's dialect, keeping the meaning Jet
/// gives them:
///  - `a Mod b` becomes `(a % b)`: Mod binds more loosely than * and / in Jet but % does not, so
///    the operands are bracketed; like Mod, % keeps the sign of the dividend (-8 Mod 7 is -1);
///  - `/` always divides as floating point (150/60 is 2.5), so the dividend is made real;
///  - `[name]` quoting becomes "name", and a Jet "text" literal becomes 'text';
///  - text literals compare without regard to letter case (SQLite: COLLATE NOCASE on the
///    literal, so even a file whose columns lack that collation compares as Jet does).
/// Everything else (aggregates, DISTINCT, sub-selects, BETWEEN, In, HAVING, NULL) reads the same
/// in both dialects and passes through unchanged. A text with an unterminated literal or
/// bracket fails with an Error.
class JetSqlTranslator {
public:
    explicit JetSqlTranslator(SqlDialect dialect = SqlDialect::SQLite);

    QString translate(const QString& jetSql) const;

private:
    SqlDialect m_dialect;
};

} // namespace tallyrow
