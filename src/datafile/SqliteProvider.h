#pragma once

#include "datafile/Provider.h"

#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
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

/// Opens an SQLite data file read-only, with SQLite's normal locking, and starts the one read
/// transaction that every query of the provider runs in: all of them see the same committed
/// state, however the monitoring product writes meanwhile. The transaction ends when the
/// provider goes. The file itself is never written; in write-ahead-log mode SQLite may keep its
/// shared-memory index (and an empty log) beside the file, as any reader does.
/// Refused with an Error naming the file: a file still locked by a writer after the busy
/// timeout ("busy"), a file with the journal of a writer that stopped halfway, a file shorter
/// than its header says, a file that cannot be locked while a journal or log lies beside it.
std::unique_ptr<Connection::Provider> openSqliteProvider(const QString& path);

/// The data file opened as openSqliteProvider opens it, with its one read transaction begun (the
/// caller ends it); for readers that go through the rows themselves. Refused as there.
std::shared_ptr<SqliteDatabase> openDataFileForReading(const QString& path);
/// The same, waiting at most `busyTimeout` for a writer that holds the file locked.
std::shared_ptr<SqliteDatabase> openDataFileForReading(const QString& path,
                                                       std::chrono::milliseconds busyTimeout);

/// A private copy in memory of a data file kept with a rollback journal: `db` is it, opened
/// read-only in a read transaction of its own, and `another` opens further connections to the
/// same copy. The copy is removed once every `another` is gone (connections already open go on
/// reading it).
struct MemorySnapshot {
    std::shared_ptr<SqliteDatabase> db;
    QString file; ///< the copy's own path, while `db` or an `another` is open
    std::function<std::shared_ptr<SqliteDatabase>()> another;
};
/// Copies the data file's bytes into a private file in memory (/dev/shm), to be called while a
/// connection of the caller holds the file's shared lock in a read transaction: then the copy is
/// of exactly that committed state, and the caller can let the writer go at once and read the
/// copy at leisure. Nothing when the file has a write-ahead log (its readers never hold a writer
/// up), is larger than `maxBytes` or than the memory the system can spare for it, or cannot be
/// copied whole (no such folder, no room in it).
/// With `reading` (the caller's connection, in that read transaction) the file is copied in pieces,
/// each under a read transaction of its own, so a writer never waits for the whole copy; when a
/// commit came between pieces there is no copy and `changed` is set (the caller's transaction is
/// then of a later state).
std::optional<MemorySnapshot> snapshotIntoMemory(const QString& path, std::int64_t maxBytes,
                                                 SqliteDatabase* reading = nullptr, bool* changed = nullptr);

/// For tests: the bytes copied under one read transaction (0 restores the default, 32 MB).
void setMemoryCopyPiece(std::size_t bytes);

/// How long a report waits for a writer that holds the data file locked, unless set otherwise.
inline constexpr std::chrono::milliseconds kDefaultDataFileWait{60000};
/// How long opening and reading a data file waits for a writer that holds it locked; the
/// waiting is told to SqliteDatabase's busy-wait observer about once a second.
std::chrono::milliseconds dataFileBusyTimeout();
void setDataFileBusyTimeout(std::chrono::milliseconds timeout);

} // namespace tallyrow
