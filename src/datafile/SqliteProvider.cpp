#include "datafile/SqliteProvider.h"

#include "datafile/JetSqlTranslator.h"
#include "datafile/KeptDescriptor.h"
#include "datafile/SqliteDatabase.h"
#include "support/Error.h"
#include "support/TemporaryFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace tallyrow {

const QStringList& requiredActivityColumns() {
    static const QStringList columns = [] {
        QStringList c{u"ActiveDay"_s, u"UserName"_s, u"ComputerName"_s};
        for (int h = 0; h < 24; ++h) {
            c.append(u"H%1"_s.arg(h));
        }
        return c;
    }();
    return columns;
}

void checkActivityTable(SqliteDatabase& db, const QString& dataSource) {
    std::unique_ptr<Recordset> info;
    try {
        info = db.query(u"PRAGMA table_info(\"Activity\")"_s);
    } catch (const Error&) {
        throw openFailure(dataSource, u"the database cannot be read (%1)"_s.arg(db.lastError()));
    }
    if (info->rowCount() == 0) {
        throw openFailure(dataSource, u"the database has no Activity table"_s);
    }
    QStringList present;
    for (info->toFirst(); !info->atEnd(); info->next()) {
        present.append(info->field(u"name"_s).toString().toLower());
    }
    QStringList missing;
    for (const QString& column : requiredActivityColumns()) {
        if (!present.contains(column.toLower())) {
            missing.append(column);
        }
    }
    if (!missing.isEmpty()) {
        throw openFailure(dataSource, u"the Activity table lacks the column%1 %2"_s.arg(
                                          missing.size() > 1 ? u"s"_s : QString(), missing.join(u", "_s)));
    }
}

namespace {

std::chrono::milliseconds gBusyTimeout{kDefaultDataFileWait};

// SQLite's file header records the page size and the number of pages; a file shorter than that
// was cut short (an interrupted copy). Judged only under a shared lock, so that no writer is
// halfway through growing or shrinking the file, and read through SQLite's own descriptor of
// `db`: closing a second descriptor of the file would drop every lock this process holds on
// it. A file in write-ahead-log mode is not judged: its newest pages are in the log.
bool looksTruncated(sqlite3* db, bool lock) {
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods) {
        return false;
    }
    const sqlite3_io_methods* io = file->pMethods;
    if (lock && io->xLock(file, SQLITE_LOCK_SHARED) != SQLITE_OK) {
        return false;
    }
    unsigned char h[100] = {};
    sqlite3_int64 size = 0;
    const int readRc = io->xRead(file, h, sizeof h, 0);
    const bool sized = io->xFileSize(file, &size) == SQLITE_OK;
    if (lock) {
        io->xUnlock(file, SQLITE_LOCK_NONE);
    }
    if (readRc == SQLITE_IOERR_SHORT_READ) {
        return true; // not even a whole header
    }
    if (readRc != SQLITE_OK || !sized || (h[18] == 2 && h[19] == 2)) {
        return false;
    }
    auto be32 = [&](int at) {
        return (quint32(h[at]) << 24) | (quint32(h[at + 1]) << 16) | (quint32(h[at + 2]) << 8) |
               quint32(h[at + 3]);
    };
    quint32 pageSize = (quint32(h[16]) << 8) | quint32(h[17]);
    if (pageSize == 1) {
        pageSize = 65536;
    }
    const quint32 pages = be32(28);
    // The page count is only kept by writers since 3.7.0, which then copy the change counter
    // into "version valid for"; older files fall back to the file size and cannot be checked.
    if (pages == 0 || be32(24) != be32(92)) {
        return false;
    }
    return size < sqlite3_int64(pageSize) * pages;
}

class SqliteProvider final : public Connection::Provider {
public:
    explicit SqliteProvider(std::shared_ptr<SqliteDatabase> db) : m_db(std::move(db)) {}

    std::unique_ptr<Recordset> execute(const QString& jetSql) override {
        return m_db->query(m_translator.translate(jetSql));
    }

private:
    std::shared_ptr<SqliteDatabase> m_db;
    JetSqlTranslator m_translator{SqlDialect::SQLite};
};

// A data file read inside one read transaction, begun before the provider is made and ended
// when it goes.
class SqliteFileProvider final : public Connection::Provider {
public:
    explicit SqliteFileProvider(std::shared_ptr<SqliteDatabase> db)
        : m_db(db), m_queries(sqliteQueryProvider(std::move(db))) {}
    ~SqliteFileProvider() override { sqlite3_exec(m_db->handle(), "ROLLBACK", nullptr, nullptr, nullptr); }

    std::unique_ptr<Recordset> execute(const QString& jetSql) override { return m_queries->execute(jetSql); }

private:
    std::shared_ptr<SqliteDatabase> m_db;
    std::unique_ptr<Connection::Provider> m_queries;
};

// How many steps of SQLite's virtual machine a query of the file may take: far more than any
// report's query of a sound file of its size needs (a full read takes some 30 a row, about 1,100 a page), so
// only a query that never ends, such as a view over a recursion without end, reaches it.
std::int64_t workLimit(const QString& path) {
    constexpr std::int64_t kBase = 100'000'000;
    constexpr std::int64_t kPerPage = 20'000;
    std::int64_t bytes = 0;
    for (const QString& name : {path, path + u"-wal"_s}) {
        struct stat st {};
        if (::stat(QFile::encodeName(name).constData(), &st) == 0) {
            bytes += st.st_size;
        }
    }
    return kBase + kPerPage * (bytes / 4096 + 1);
}

std::shared_ptr<SqliteDatabase> openReadOnly(const QString& path, const QString& options,
                                             std::chrono::milliseconds busyTimeout) {
    std::shared_ptr<SqliteDatabase> db;
    try {
        db = std::make_shared<SqliteDatabase>(SqliteDatabase::fileUri(path) + u"?mode=ro"_s + options,
                                              SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                                              u"the data file \"%1\""_s.arg(path));
    } catch (const Error& e) {
        throw openFailure(path, e.description());
    }
    db->waitWhileBusy(busyTimeout, path);
    db->limitWork(workLimit(path));
    // A reader never checkpoints a write-ahead log into the file, not even as the last one out.
    sqlite3_db_config(db->handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    return db;
}

// BEGIN, then a first read: that read takes the shared lock (with a write-ahead log: the
// snapshot) that every later query of the transaction reads under. SQLite's result code.
int beginRead(SqliteDatabase& db) {
    if (sqlite3_exec(db.handle(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return db.lastErrorCode();
    }
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db.handle(), "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
    if (rc == SQLITE_OK) {
        const SqliteDatabase::Statement first(raw);
        rc = sqlite3_step(raw);
        if (rc == SQLITE_ROW) {
            return SQLITE_OK;
        }
    }
    return rc == SQLITE_DONE ? SQLITE_OK : db.lastErrorCode();
}

// Failures that say the file cannot be locked or its shared-memory index cannot be made (as on
// read-only media), not that it is busy or damaged.
bool lockingUnavailable(int rc) {
    switch (rc) {
    case SQLITE_READONLY_CANTINIT:
    case SQLITE_READONLY_CANTLOCK:
    case SQLITE_READONLY_DIRECTORY:
    case SQLITE_IOERR_LOCK:
    case SQLITE_IOERR_RDLOCK:
    case SQLITE_IOERR_CHECKRESERVEDLOCK:
    case SQLITE_IOERR_SHMOPEN:
    case SQLITE_IOERR_SHMSIZE:
    case SQLITE_IOERR_SHMMAP:
    case SQLITE_IOERR_SHMLOCK:
        return true;
    default:
        return (rc & 0xff) == SQLITE_CANTOPEN;
    }
}

// A rollback journal or write-ahead log of the file's writer, if one lies beside it.
QString writerFileBeside(const QString& path) {
    for (const QString& suffix : {u"-journal"_s, u"-wal"_s}) {
        if (QFileInfo::exists(path + suffix)) {
            return path + suffix;
        }
    }
    return {};
}

QString seconds(std::chrono::milliseconds t) {
    const QString n = QString::number(double(t.count()) / 1000.0);
    return n == u"1"_s ? u"1 second"_s : n + u" seconds"_s;
}

QString readFailure(int rc, SqliteDatabase& db, const QString& path, bool immutable) {
    const QString sqliteText = db.lastError();
    if ((rc & 0xff) == SQLITE_BUSY) {
        return u"the file is busy: another program, normally Tallyrow recording activity, kept it locked "
               "for more than %1 (%2); try again in a moment"_s.arg(seconds(gBusyTimeout), sqliteText);
    }
    if (rc == SQLITE_READONLY_ROLLBACK || rc == SQLITE_READONLY_RECOVERY) {
        const QString left = writerFileBeside(path);
        return u"a change to it was interrupted and left unfinished (%1 lies beside it); Tallyrow "
               "repairs the file when it next opens it, and until then no report can be made from it"_s.arg(
                   left.isEmpty() ? u"the writer's journal"_s : u"\"%1\""_s.arg(left));
    }
    // Read under its locks, a sound file never looks damaged, however it is being written: only
    // then is it worth telling a file cut short from one damaged otherwise.
    if ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB) {
        std::shared_ptr<SqliteDatabase> fresh;
        try {
            fresh = openReadOnly(path, immutable ? u"&immutable=1"_s : QString(), gBusyTimeout);
        } catch (const Error&) {
        }
        if (fresh && looksTruncated(fresh->handle(), !immutable)) {
            return u"the SQLite database is incomplete (the file is shorter than its header says)"_s;
        }
    }
    return u"the database cannot be read (%1)"_s.arg(sqliteText);
}

} // namespace

std::chrono::milliseconds dataFileBusyTimeout() {
    return gBusyTimeout;
}

void setDataFileBusyTimeout(std::chrono::milliseconds timeout) {
    gBusyTimeout = timeout;
}

std::unique_ptr<Connection::Provider> sqliteQueryProvider(std::shared_ptr<SqliteDatabase> db) {
    return std::make_unique<SqliteProvider>(std::move(db));
}

std::shared_ptr<SqliteDatabase> openDataFileForReading(const QString& path) {
    return openDataFileForReading(path, gBusyTimeout);
}

std::shared_ptr<SqliteDatabase> openDataFileForReading(const QString& path,
                                                       std::chrono::milliseconds busyTimeout) {
    std::shared_ptr<SqliteDatabase> db = openReadOnly(path, {}, busyTimeout);
    int rc = beginRead(*db);
    bool immutable = false;
    if (rc != SQLITE_OK && lockingUnavailable(rc)) {
        // Where locks cannot work (read-only media), the file is read as it lies; that is sound
        // only when no writer left a journal or log whose changes reading around would miss.
        const QString left = writerFileBeside(path);
        if (!left.isEmpty()) {
            throw openFailure(path,
                              u"it cannot be locked for reading (%1), and its writer's \"%2\" lies beside "
                              "it, so it may be in the middle of a change"_s.arg(db->lastError(), left));
        }
        db = openReadOnly(path, u"&immutable=1"_s, busyTimeout);
        immutable = true;
        rc = beginRead(*db);
    }
    if (rc != SQLITE_OK) {
        throw openFailure(path, readFailure(rc, *db, path, immutable));
    }
    return db;
}

namespace {

// Where a private copy of a data file is made: memory (tmpfs), never the disk.
constexpr const char* kCopyFolder = "/dev/shm";

// A new file in the copy folder, readable by this user only, and registered for removal should
// a signal end the program. Its name, or empty.
QByteArray newCopyFile(int& fd, int& slot) {
    static std::atomic<std::uint64_t> counter{0};
    for (int attempt = 0; attempt < 8; ++attempt) {
        QByteArray name = QByteArray(kCopyFolder) + "/tallyrow-copy-" + QByteArray::number(::getpid()) + '-' +
                          QByteArray::number(qulonglong(counter.fetch_add(1))) + '-' +
                          QByteArray::number(QRandomGenerator::global()->generate());
        slot = registerTemporary(name.constData());
        // A name another user planted (a link, a file) is never followed or opened.
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            return name;
        }
        releaseTemporary(slot);
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}

// Room for a copy of this many bytes: at most half of what the memory folder has free and a
// quarter of the memory the system has available, so reports running side by side never crowd
// out the programs around them.
bool roomInMemoryFor(std::int64_t bytes) {
    struct statvfs fs {};
    if (::statvfs(kCopyFolder, &fs) != 0 ||
        std::int64_t(fs.f_bavail) * std::int64_t(fs.f_frsize) / 2 < bytes) {
        return false;
    }
    QFile meminfo(u"/proc/meminfo"_s);
    if (!meminfo.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (QByteArray line = meminfo.readLine(); !line.isEmpty(); line = meminfo.readLine()) {
        if (line.startsWith("MemAvailable:")) {
            const std::int64_t availableKb = line.mid(13).trimmed().split(' ').value(0).toLongLong();
            return availableKb * 1024 / 4 >= bytes;
        }
    }
    return false;
}

// Copies `size` bytes of `from` into `to`: in the kernel where it can, else through a buffer.
bool copyBytes(int from, int to, std::size_t size) {
    off_t at = 0;
    while (std::size_t(at) < size) {
        const ssize_t sent = ::sendfile(to, from, &at, size - std::size_t(at));
        if (sent <= 0) {
            return false;
        }
    }
    return true;
}

// The change counter of a rollback-journal file (raised by every commit) and its size.
std::pair<std::uint32_t, off_t> commitMark(int fd) {
    unsigned char counter[4] = {};
    struct stat st {};
    if (::pread(fd, counter, sizeof counter, 24) != ssize_t(sizeof counter) || ::fstat(fd, &st) != 0) {
        return {0, -1};
    }
    return {(std::uint32_t(counter[0]) << 24) | (std::uint32_t(counter[1]) << 16) |
                (std::uint32_t(counter[2]) << 8) | counter[3],
            st.st_size};
}

constexpr std::size_t kDefaultCopyPiece = std::size_t(32) << 20;
std::atomic<std::size_t> gCopyPiece{kDefaultCopyPiece};

// Copies the file in pieces, each while `reading` holds the shared lock in a read transaction of
// its own (the first in the caller's), so a writer waits for one piece at most. The pieces are of
// one state only when no commit came between them: false, with `changed` set, when one did.
bool copyInPieces(int from, int to, std::size_t size, SqliteDatabase& reading, bool& changed) {
    const std::size_t piece = gCopyPiece.load();
    const auto first = commitMark(from);
    for (off_t at = 0; std::size_t(at) < size;) {
        if (at > 0) {
            reading.exec(u"COMMIT"_s);
            if (beginRead(reading) != SQLITE_OK || commitMark(from) != first) {
                changed = true;
                return false;
            }
        }
        const std::size_t end = std::min(size, std::size_t(at) + piece);
        while (std::size_t(at) < end) {
            if (::sendfile(to, from, &at, end - std::size_t(at)) <= 0) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

void setMemoryCopyPiece(std::size_t bytes) {
    gCopyPiece.store(bytes > 0 ? bytes : kDefaultCopyPiece);
}

std::optional<MemorySnapshot> snapshotIntoMemory(const QString& path, std::int64_t maxBytes,
                                                 SqliteDatabase* reading, bool* changed) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat((native + "-wal").constData(), &st) == 0) {
        return std::nullopt;
    }
    // Through the descriptor kept open: closing one would drop the lock the caller holds.
    const int fd = keptDescriptor(native, st);
    if (fd < 0 || st.st_size < 512 || st.st_size > maxBytes || !roomInMemoryFor(st.st_size)) {
        return std::nullopt;
    }
    char header[20];
    if (::pread(fd, header, sizeof header, 0) != ssize_t(sizeof header) ||
        std::memcmp(header, "SQLite format 3", 16) != 0 || header[18] == 2) {
        return std::nullopt; // not a database, or one in write-ahead mode whose log is gone
    }
    int copyFd = -1;
    int slot = -1;
    const QByteArray copyName = newCopyFile(copyFd, slot);
    if (copyName.isEmpty()) {
        return std::nullopt;
    }
    // The copy goes when the last connection that may still open it is done with it.
    const std::shared_ptr<void> removal(nullptr, [copyName, slot](void*) {
        ::unlink(copyName.constData());
        releaseTemporary(slot);
    });
    bool commitMeanwhile = false;
    const bool copied = reading ? copyInPieces(fd, copyFd, std::size_t(st.st_size), *reading, commitMeanwhile)
                                : copyBytes(fd, copyFd, std::size_t(st.st_size));
    if (changed) {
        *changed = commitMeanwhile;
    }
    ::close(copyFd);
    if (!copied) {
        return std::nullopt; // a full memory folder: the file is read under its lock after all
    }
    const QString uri = SqliteDatabase::fileUri(QFile::decodeName(copyName)) + u"?mode=ro&immutable=1"_s;
    const QString what = u"the data file \"%1\""_s.arg(path);
    const std::int64_t limit = workLimit(path);
    const auto open = [uri, what, limit] {
        auto db = std::make_shared<SqliteDatabase>(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, what);
        db->limitWork(limit);
        db->exec(u"BEGIN"_s);
        return db;
    };
    MemorySnapshot copy;
    copy.db = open();
    copy.file = QFile::decodeName(copyName);
    copy.another = [open, removal] { return open(); };
    return copy;
}

std::unique_ptr<Connection::Provider> openSqliteProvider(const QString& path) {
    std::shared_ptr<SqliteDatabase> db = openDataFileForReading(path);
    checkActivityTable(*db, path);
    return std::make_unique<SqliteFileProvider>(std::move(db));
}

} // namespace tallyrow
