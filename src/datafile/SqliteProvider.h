#pragma once

#include "datafile/Provider.h"

#include <QStringList>

#include <memory>

namespace tallyrow {

class SqliteDatabase;

/// The columns of Activity the reports read; a data file must have them all.
const QStringList& requiredActivityColumns();

/// Checks that `db` has an Activity table (or view) with every required column; fails with an
/// Error naming `dataSource` and what is missing.
void checkActivityTable(SqliteDatabase& db, const QString& dataSource);

/// A provider that runs the Jet texts, translated for SQLite, on `db` (a data file or the
/// in-memory copy of an Access file); it shares `db` with whoever else holds it.
std::unique_ptr<Connection::Provider> sqliteQueryProvider(std::shared_ptr<SqliteDatabase> db);

/// Opens an SQLite data file strictly read-only: nothing is ever written to the file and no
/// journal, WAL or shared-memory file is created beside it.
std::unique_ptr<Connection::Provider> openSqliteProvider(const QString& path);

} // namespace tallyrow
