#pragma once

#include <QString>
#include <QStringList>

namespace tallyrow {

/// Turns the Jet SQL texts the reports build into PostgreSQL, keeping the meaning Jet (and the
/// data file providers) give them. On top of the common translation (Mod, floating-point `/`,
/// literals) it:
///  - writes names in lower case: PostgreSQL folds unquoted names, so the Activity table of
///    schema-postgresql.sql is `activity`, and a bracketed `[ActiveDay]` must meet it as
///    `"activeday"`;
///  - divides in double precision (`1::float8`), as SQLite does, not in numeric;
///  - averages in double precision (`avg((x)::float8)`), so an average equals the one SQLite
///    gives bit for bit and rounds to whole minutes the same way;
///  - gives a sub-select in FROM an alias, which PostgreSQL requires and Jet does not.
/// Names compare without regard to case for every letter: a comparison with a text literal
/// lowers both sides under `foldCollation` (see JetSqlTranslator), so that plain text columns
/// work and citext columns under COLLATE "C" (which lower A to Z only) find É and Ü as well.
QString translateJetForPostgres(const QString& jetSql, const QString& foldCollation = {});

/// The statements of an SQL script such as schema-postgresql.sql, in order and without comment
/// lines: split at each ";" outside a $$ … $$ body (a function or DO block keeps its own).
QStringList postgresScriptStatements(const QString& script);

} // namespace tallyrow
