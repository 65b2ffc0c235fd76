#include "datafile/SqliteDatabase.h"

#include "support/Error.h"

#include <QUrl>

#include <mutex>
#include <thread>

#include <algorithm>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

QVariant columnValue(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, i));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                          sqlite3_column_bytes(stmt, i)));
    case SQLITE_BLOB: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
        return QVariant(QByteArray(p, sqlite3_column_bytes(stmt, i)));
    }
    default:
        return QVariant();
    }
}

// tallyrow_fold(text): the text with every letter case-folded (QString::toCaseFolded, simple
// Unicode folding), so that two names equal without regard to case fold to the same text.
// NULL stays NULL; numbers and blobs are read as their text.
void foldFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int size = sqlite3_value_bytes(argv[0]);
    // Most names are ASCII, where A to Z is all there is to fold: no detour through QString.
    const bool ascii =
        std::all_of(text, text + size, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    QByteArray folded;
    if (ascii) {
        folded = QByteArray(text, size).toLower();
    } else {
        folded = QString::fromUtf8(text, size).toCaseFolded().toUtf8();
    }
    sqlite3_result_text64(context, folded.constData(), sqlite3_uint64(folded.size()), SQLITE_TRANSIENT,
                          SQLITE_UTF8);
}

} // namespace

SqliteDatabase::SqliteDatabase(const QString& uri, int flags, QString what) : m_what(std::move(what)) {
    const int rc = sqlite3_open_v2(uri.toUtf8().constData(), &m_db, flags | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = m_db ? lastError() : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(ErrNo::DataSource, u"Cannot open %1: %2"_s.arg(m_what, reason)).setReason(reason);
    }
    sqlite3_extended_result_codes(m_db, 1);
    const int fold = sqlite3_create_function_v2(m_db, kFoldFunction, 1,
                                                SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                                nullptr, foldFunction, nullptr, nullptr, nullptr);
    if (fold != SQLITE_OK) {
        const QString reason = lastError();
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(ErrNo::DataSource, u"Cannot open %1: %2"_s.arg(m_what, reason)).setReason(reason);
    }
}

namespace {

std::mutex gObserverLock;
SqliteDatabase::BusyWaitObserver gObserver;

void tellObserver(const SqliteDatabase::BusyWait& wait) {
    SqliteDatabase::BusyWaitObserver observer;
    {
        const std::scoped_lock lock(gObserverLock);
        observer = gObserver;
    }
    if (observer)
        observer(wait);
}

} // namespace

void SqliteDatabase::setBusyWaitObserver(BusyWaitObserver observer) {
    const std::scoped_lock lock(gObserverLock);
    gObserver = std::move(observer);
}

void SqliteDatabase::waitWhileBusy(std::chrono::milliseconds limit, QString path) {
    m_wait.path = std::move(path);
    m_wait.limit = limit;
    sqlite3_busy_handler(m_db, limit.count() > 0 ? &SqliteDatabase::busyHandler : nullptr, this);
}

// SQLite asks again and again while a lock is refused; `attempt` restarts at 0 for each lock.
int SqliteDatabase::busyHandler(void* self, int attempt) {
    auto* db = static_cast<SqliteDatabase*>(self);
    BusyWait& wait = db->m_wait;
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) {
        wait.since = now;
        db->m_lastTold = now;
    }
    wait.waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - wait.since);
    if (wait.waited >= wait.limit)
        return 0;
    if (now - db->m_lastTold >= std::chrono::seconds(1)) {
        db->m_lastTold = now;
        tellObserver(wait);
    }
    // Short naps first (a commit usually takes milliseconds), then a tenth of a second.
    const auto nap = std::min<std::chrono::milliseconds>(
        {std::chrono::milliseconds(attempt < 10 ? 2 : 100), wait.limit - wait.waited});
    std::this_thread::sleep_for(nap);
    return 1;
}

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close_v2(m_db);
}

QString SqliteDatabase::lastError() const {
    if (m_stop == Stop::Limit) {
        return u"a query of it ran past %L1 million steps, far more than a file of its size needs "
               "(its Activity may be a view that never ends), and was stopped"_s.arg(m_stepLimit / 1'000'000);
    }
    if (m_stop == Stop::Caller) {
        return u"the read was stopped"_s;
    }
    // A damaged file is said in plain words; SQLite's own sentence stays beside them for support.
    const int code = sqlite3_errcode(m_db);
    if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB)
        return u"the file is damaged and cannot be read; use a backup copy of it or another data file (%1)"_s
            .arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

namespace {
// Steps of SQLite's virtual machine between two looks at the limit and the caller.
constexpr int kStepsPerLook = 10'000;
} // namespace

void SqliteDatabase::limitWork(std::int64_t steps) {
    m_stepLimit = steps;
    watchWork();
}

void SqliteDatabase::stopWhen(std::function<bool()> keepGoing) {
    m_keepGoing = std::move(keepGoing);
    watchWork();
}

void SqliteDatabase::watchWork() {
    startCounting();
    const bool watch = m_stepLimit > 0 || m_keepGoing;
    sqlite3_progress_handler(m_db, watch ? kStepsPerLook : 0,
                             watch ? &SqliteDatabase::progressHandler : nullptr, this);
}

int SqliteDatabase::progressHandler(void* self) {
    auto* db = static_cast<SqliteDatabase*>(self);
    db->m_steps += kStepsPerLook;
    if (db->m_stepLimit > 0 && db->m_steps > db->m_stepLimit) {
        db->m_stop = Stop::Limit;
        return 1;
    }
    if (db->m_keepGoing && !db->m_keepGoing()) {
        db->m_stop = Stop::Caller;
        return 1;
    }
    return 0;
}

int SqliteDatabase::lastErrorCode() const {
    return sqlite3_extended_errcode(m_db);
}

QString SqliteDatabase::fileUri(const QString& path) {
    return u"file:"_s + QString::fromLatin1(QUrl::toPercentEncoding(path, "/"));
}

Error SqliteDatabase::failure(const QString& reason) const {
    return Error(ErrNo::DataSource, u"%1: %2"_s.arg(m_what, reason)).setReason(reason);
}

void SqliteDatabase::exec(const QString& sql) {
    char* message = nullptr;
    startCounting();
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString reason = message && m_stop == Stop::None ? QString::fromUtf8(message) : lastError();
        sqlite3_free(message);
        throw failure(reason);
    }
}

void SqliteDatabase::StatementCloser::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

SqliteDatabase::Statement SqliteDatabase::prepare(const QString& sql) {
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    startCounting();
    if (sqlite3_prepare_v2(m_db, text.constData(), static_cast<int>(text.size()), &raw, nullptr) !=
        SQLITE_OK) {
        throw failure(lastError());
    }
    return Statement(raw);
}

std::unique_ptr<Recordset> SqliteDatabase::query(const QString& sql) {
    const Statement stmt = prepare(sql);
    sqlite3_stmt* raw = stmt.get();
    const int columns = sqlite3_column_count(raw);
    QStringList names;
    names.reserve(columns);
    for (int i = 0; i < columns; ++i) {
        names.append(QString::fromUtf8(sqlite3_column_name(raw, i)));
    }
    QVector<QVector<QVariant>> rows;
    for (;;) {
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_DONE) {
            break;
        }
        if (rc != SQLITE_ROW) {
            throw failure(lastError());
        }
        QVector<QVariant> row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i) {
            row.append(columnValue(raw, i));
        }
        rows.append(std::move(row));
    }
    return std::make_unique<Recordset>(std::move(names), std::move(rows));
}

} // namespace tallyrow
