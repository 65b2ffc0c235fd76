#pragma once

#include "datafile/Connection.h"
#include "support/Error.h"

#include <QString>

#include <chrono>
#include <functional>
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

    /// While another program holds the file locked, a statement waits for it, at most `limit`
    /// for each lock it needs, telling the busy-wait observer how long it has been waiting.
    void waitWhileBusy(std::chrono::milliseconds limit, QString path);

    /// Where a statement is waiting for a writer: the file, how long so far, and the limit.
    struct BusyWait {
        QString path;
        std::chrono::milliseconds waited{0};
        std::chrono::milliseconds limit{0};
        std::chrono::steady_clock::time_point since;
    };
    using BusyWaitObserver = std::function<void(const BusyWait&)>;
    /// Told about once a second while any handle of the process waits, from the waiting thread;
    /// empty for none.
    static void setBusyWaitObserver(BusyWaitObserver observer);

    /// Stops a statement of this handle that runs past `steps` of SQLite's virtual machine (the
    /// count starts again with each statement prepared or run); lastError() then says so. 0: no
    /// limit.
    void limitWork(std::int64_t steps);
    /// Stops a running statement of this handle as soon as `keepGoing` says false (asked every
    /// few thousand steps); empty: never.
    void stopWhen(std::function<bool()> keepGoing);
    /// Whether the last statement was stopped because `keepGoing` said so.
    bool stoppedByCaller() const { return m_stop == Stop::Caller; }

private:
    /// A failure of a statement: "<what>: <reason>", kind DataSource.
    Error failure(const QString& reason) const;
    static int busyHandler(void* self, int attempt);
    static int progressHandler(void* self);
    void watchWork();
    void startCounting() {
        m_steps = 0;
        m_stop = Stop::None;
    }
    enum class Stop { None, Limit, Caller };
    std::int64_t m_stepLimit = 0;
    std::int64_t m_steps = 0;
    std::function<bool()> m_keepGoing;
    Stop m_stop = Stop::None;

    sqlite3* m_db = nullptr;
    QString m_what;
    BusyWait m_wait;
    std::chrono::steady_clock::time_point m_lastTold;
};

} // namespace tallyrow
