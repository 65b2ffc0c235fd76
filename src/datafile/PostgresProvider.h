#pragma once

#include <QSqlDatabase>

#include "datafile/PostgresUri.h"
#include "datafile/Provider.h"

namespace tallyrow {

/// Seconds a connection attempt waits for the server when the URI gives no connect_timeout:
/// long enough for a server across a slow link, short enough that a wrong host name in the
/// change-data-file dialog does not look like a hung program.
inline constexpr int kPostgresConnectTimeoutSeconds = 5;

/// Connects to the PostgreSQL database named by `uri` (libpq's URI rules; the password comes
/// from the URI, else libpq's own sources: PGPASSWORD, PGPASSFILE, ~/.pgpass) through Qt's
/// QPSQL driver, in a read-only session, and checks that the Activity table is there with every
/// column the reports read (name columns citext or plain text: names compare without regard to
/// case either way).
/// Fails with an Error whose description names the source without its password and says why:
/// a bad URI, no server at the address, no answer in time, an unknown host, a refused password,
/// a missing database, a missing table or column, a table the user may not read.
std::unique_ptr<Connection::Provider> openPostgresProvider(const QString& uri);

/// Opens a QPSQL connection named `connectionName` on `uri` with the provider's URI rules,
/// timeout and failure messages, but neither read-only nor checked for the Activity table: for
/// tools that fill a server database. The caller removes the connection when done. Fails with
/// an Error; `parts`, when given, receives the URI taken apart.
QSqlDatabase openPostgresDatabase(const QString& uri, const QString& connectionName,
                                  PostgresUri* parts = nullptr);

/// The failure to open a server database (kind DataSource): "Cannot open the database "<uri
/// without password>": <reason>.", with that URI as its file and the reason on its own.
Error postgresOpenFailure(const QString& uri, const QString& reason);

} // namespace tallyrow
