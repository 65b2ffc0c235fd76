#pragma once

#include "datafile/Connection.h"

#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace tallyrow {

/// One SQLite database handle. Owns the handle; not copyable. Queries return their rows in
/// full. Failures are Errors (number ErrNo::DataSource) whose description carries SQLite's text.
/// Every handle knows the SQL function tallyrow_fold(text), the text case-folded for every
/// letter (QString::toCaseFolded); the translated queries compare names through it, since
/// SQLite's NOCASE folds only A to Z.
class SqliteDatabase {
public:
    static constexpr const char* kFoldFunction = "tallyrow_fold";

    /// Opens `uri` (an SQLite URI filename) with the given sqlite3_open_v2 flags; SQLITE_OPEN_URI
    /// is added. `what` names the database in failure messages.
    SqliteDatabase(const QString& uri, int flags, QString what);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    sqlite3* handle() const { return m_db; }

    /// Finalizes a prepared statement when it goes out of scope.
    struct StatementCloser {
        void operator()(sqlite3_stmt* statement) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

    /// Prepares one statement (already in SQLite's dialect); fails with an Error like a query.
    Statement prepare(const QString& sql);
    /// Runs statements that return no rows.
    void exec(const QString& sql);
    /// Runs one query (already in SQLite's dialect) and returns its rows.
    std::unique_ptr<Recordset> query(const QString& sql);

    /// SQLite's text for the last failure on this handle.
    QString lastError() const;
    /// SQLite's extended result code for the last failure on this handle.
    int lastErrorCode() const;

    /// The file name as an SQLite URI ("file:" + percent-encoded path).
    static QString fileUri(const QString& path);

private:
    sqlite3* m_db = nullptr;
    QString m_what;
};

} // namespace tallyrow
