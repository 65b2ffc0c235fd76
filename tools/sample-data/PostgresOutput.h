#pragma once

#include "SampleOffice.h"

#include <QDate>
#include <QString>

namespace tallyrow::sample {

/// data/schema-postgresql.sql as it stood when the tool was built.
const char* postgresSchemaSql();

/// Fills the activity table of the PostgreSQL database `uri` with the office's rows, newest day
/// first, from `to` back to `from` (an invalid `from`: as far as `rowLimit` needs; a negative
/// `rowLimit`: no limit). Creates the table and its indexes when missing, the indexes after the
/// rows. Everything happens in one transaction: on any failure the database is left as it was.
/// Returns the exit code of the tool; messages go to stderr and never show the password.
int writeOfficeToPostgres(const QString& uri, const Office& office, const QDate& from, const QDate& to,
                          qint64 rowLimit);

} // namespace tallyrow::sample
