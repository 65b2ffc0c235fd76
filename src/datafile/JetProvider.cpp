#include "datafile/JetProvider.h"

#include "ActivitySchema.h"
#include "datafile/MdbStream.h"
#include "datafile/SqliteDatabase.h"
#include "datafile/SqliteProvider.h"
#include "support/Error.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

constexpr int kReaderTimeoutMs = 300'000;
constexpr std::size_t kCacheLimit = 4; // files kept in memory at once
// A file the monitoring product is writing may change under the reader; it is read this many
// times before the open is refused.
constexpr int kReadAttempts = 3;
constexpr int kRetryPauseMs = 200;

// What tells one state of a file from another: a writer changes the size or the times, a copy
// put in its place the inode (and device). The change time catches writes that put the
// modification time back.
struct FileStamp {
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const QString& path) {
    struct stat st {};
    FileStamp s;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        s.size = st.st_size;
        s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        s.ctimeNs = qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
        s.inode = st.st_ino;
        s.device = st.st_dev;
    }
    return s;
}

struct CacheEntry {
    FileStamp stamp;
    std::shared_ptr<SqliteDatabase> db;
    quint64 lastUse = 0;
};

std::mutex g_cacheMutex;
std::map<QString, CacheEntry> g_cache;
quint64 g_useCounter = 0;

// Reads the stream of tallyrow-mdb-reader (see MdbStream.h).
class StreamReader {
public:
    explicit StreamReader(const QByteArray& data)
        : m_p(data.constData()), m_end(data.constData() + data.size()) {}

    bool expect(std::string_view s) {
        if (std::size_t(m_end - m_p) < s.size() || std::string_view(m_p, s.size()) != s) {
            return false;
        }
        m_p += s.size();
        return true;
    }
    bool byte(unsigned char& b) {
        if (m_p >= m_end) {
            return false;
        }
        b = static_cast<unsigned char>(*m_p++);
        return true;
    }
    bool varint(std::uint64_t& v) {
        v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            unsigned char b = 0;
            if (!byte(b)) {
                return false;
            }
            v |= std::uint64_t(b & 0x7f) << shift;
            if (!(b & 0x80)) {
                return true;
            }
        }
        return false;
    }
    bool bytes(const char*& p, std::size_t& n) {
        std::uint64_t len = 0;
        if (!varint(len) || len > std::uint64_t(m_end - m_p)) {
            return false;
        }
        p = m_p;
        n = std::size_t(len);
        m_p += len;
        return true;
    }
    bool real(double& d) {
        if (m_end - m_p < 8) {
            return false;
        }
        std::memcpy(&d, m_p, 8);
        m_p += 8;
        return true;
    }
    bool atEnd() const { return m_p == m_end; }

private:
    const char* m_p;
    const char* m_end;
};

QString readerFailure(int code, const QString& reason) {
    switch (code) {
    case mdbstream::NoTable:
        return u"the database has no Activity table"_s;
    case mdbstream::NoColumn:
    case mdbstream::NotADatabase:
    case mdbstream::Damaged:
        return reason.isEmpty() ? u"the Access database is damaged"_s : reason;
    default:
        return reason.isEmpty() ? u"the Access database could not be read (reader exit code %1)"_s.arg(code)
                                : reason;
    }
}

// The reader's own error line, without mdbtools' chatter around it.
QString readerReason(const QByteArray& stderrText) {
    const QList<QByteArray> lines = stderrText.split('\n');
    const QByteArray prefix(mdbstream::kErrorPrefix.data(), qsizetype(mdbstream::kErrorPrefix.size()));
    // The last such line: the reason the reader gave when it stopped.
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QByteArray& line = lines.at(i);
        if (line.startsWith(prefix)) {
            return QString::fromUtf8(line.mid(prefix.size())).trimmed();
        }
    }
    return {};
}

// Runs the reader and returns its complete output; fails with the reason the reader gave.
QByteArray runReader(const QString& path) {
    const QString program = mdbReaderProgram();
    if (program.isEmpty()) {
        throw openFailure(path, u"the Access file reader tallyrow-mdb-reader is not installed"_s);
    }
    QStringList args{path, u"Activity"_s};
    args += requiredActivityColumns();
    QProcess reader;
    reader.setProgram(program);
    reader.setArguments(args);
    reader.setStandardInputFile(QProcess::nullDevice());
    reader.start(QIODevice::ReadOnly);
    if (!reader.waitForStarted()) {
        throw openFailure(
            path, u"the Access file reader %1 cannot be started (%2)"_s.arg(program, reader.errorString()));
    }
    if (!reader.waitForFinished(kReaderTimeoutMs)) {
        reader.kill();
        reader.waitForFinished();
        throw openFailure(path, u"reading the Access database took too long (the file may be damaged)"_s);
    }
    const QByteArray errors = reader.readAllStandardError();
    if (reader.exitStatus() == QProcess::CrashExit) {
        throw openFailure(path, u"the Access database is damaged (its reader stopped unexpectedly)"_s);
    }
    if (reader.exitCode() != mdbstream::Ok) {
        throw openFailure(path, readerFailure(reader.exitCode(), readerReason(errors)));
    }
    return reader.readAllStandardOutput();
}

// Binds the next value of the stream to parameter `c`; false when the stream is cut short or
// holds a value of no known kind.
bool bindNextValue(StreamReader& in, sqlite3_stmt* raw, int c) {
    unsigned char tag = 0;
    if (!in.byte(tag)) {
        return false;
    }
    bool ok = true;
    switch (tag) {
    case mdbstream::Null:
        sqlite3_bind_null(raw, c);
        break;
    case mdbstream::Integer: {
        std::uint64_t v = 0;
        ok = in.varint(v);
        sqlite3_bind_int64(raw, c, mdbstream::unzigzag(v));
        break;
    }
    case mdbstream::Double: {
        double d = 0;
        ok = in.real(d);
        sqlite3_bind_double(raw, c, d);
        break;
    }
    case mdbstream::Text: {
        const char* p = nullptr;
        std::size_t n = 0;
        ok = in.bytes(p, n);
        if (ok) {
            sqlite3_bind_text(raw, c, p, int(n), SQLITE_STATIC);
        }
        break;
    }
    default:
        ok = false;
    }
    return ok;
}

// The stream's magic and its column names: as many as the copy's table has. False when the
// stream is cut short or names another number of columns.
bool readStreamHeader(StreamReader& in, qsizetype columns) {
    std::uint64_t columnCount = 0;
    if (!in.expect(mdbstream::kMagic) || !in.varint(columnCount) || columnCount != std::uint64_t(columns))
        return false;
    for (std::uint64_t c = 0; c < columnCount; ++c) {
        const char* p = nullptr;
        std::size_t n = 0;
        if (!in.bytes(p, n))
            return false;
    }
    return true;
}

// Inserts the stream's rows through `insert` up to its end mark, whose count must match. False
// when the stream is cut short or damaged; a failed insert raises the database's reason.
bool copyRows(StreamReader& in, SqliteDatabase& db, sqlite3_stmt* insert, int columns, const QString& what) {
    for (std::uint64_t rows = 0;; ++rows) {
        unsigned char kind = 0;
        if (!in.byte(kind))
            return false;
        if (kind == static_cast<unsigned char>(mdbstream::kEnd)) {
            std::uint64_t expected = 0;
            return in.varint(expected) && expected == rows && in.atEnd();
        }
        if (kind != static_cast<unsigned char>(mdbstream::kRow))
            return false;
        for (int c = 1; c <= columns; ++c)
            if (!bindNextValue(in, insert, c))
                return false;
        if (sqlite3_step(insert) != SQLITE_DONE)
            throw Error(ErrNo::DataSource, u"%1: %2"_s.arg(what, db.lastError())).setReason(db.lastError());
        sqlite3_reset(insert);
    }
}

std::shared_ptr<SqliteDatabase> buildCopy(const QString& path, const QByteArray& stream) {
    static std::atomic<int> counter{0};
    const QString what = u"the in-memory copy of \"%1\""_s.arg(path);
    auto db = std::make_shared<SqliteDatabase>(
        u"file:tallyrow-jet-%1?mode=memory"_s.arg(++counter),
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, what);
    // The table first; the indexes after the rows (faster), and not the unique key: a copy must
    // keep every row the file holds, even rows the monitoring product would never write twice.
    const ActivitySchemaStatements schema = activitySchemaStatements();
    db->exec(QString::fromStdString(schema.table));

    const auto damaged = [&] {
        return openFailure(path, u"the Access database could not be read completely (the reader's answer "
                                 "was cut short)"_s);
    };
    StreamReader in(stream);
    const QStringList& wanted = requiredActivityColumns();
    if (!readStreamHeader(in, wanted.size()))
        throw damaged();

    QString insert = u"INSERT INTO Activity (%1) VALUES (?"_s.arg(wanted.join(u", "_s));
    insert += u", ?"_s.repeated(wanted.size() - 1) + u')';
    SqliteDatabase::Statement stmt = db->prepare(insert);
    db->exec(u"BEGIN"_s);
    if (!copyRows(in, *db, stmt.get(), int(wanted.size()), what))
        throw damaged();
    stmt.reset();
    db->exec(u"COMMIT"_s);
    for (const std::string& index : schema.indexes) {
        db->exec(QString::fromStdString(index));
    }
    // The copy is as read-only as the file it stands for.
    db->exec(u"PRAGMA query_only = 1"_s);
    return db;
}

// Reads the file into a copy, again when it changed while it was read. `stamp` is the state the
// copy stands for. A failure on a file that held still is the file's own and is passed on; one
// on a file that changed meanwhile may be the writer's half-done work, and counts as a change.
std::shared_ptr<SqliteDatabase> readStableCopy(const QString& path, FileStamp& stamp) {
    for (int attempt = 1;; ++attempt) {
        const FileStamp before = stampOf(path);
        std::shared_ptr<SqliteDatabase> db;
        try {
            db = buildCopy(path, runReader(path));
        } catch (const Error&) {
            if (stampOf(path) == before) {
                throw;
            }
        }
        if (db && stampOf(path) == before) {
            stamp = before;
            return db;
        }
        if (attempt == kReadAttempts) {
            throw openFailure(path,
                              u"the file changed while it was being read, %1 times in a row (it is "
                              "being written; try again when the writing has finished)"_s.arg(kReadAttempts));
        }
        // Give the writer a moment to finish what it is doing.
        QThread::msleep(static_cast<unsigned long>(kRetryPauseMs) * static_cast<unsigned long>(attempt));
    }
}

} // namespace

QString mdbReaderProgram() {
    static const QString name = u"tallyrow-mdb-reader"_s;
    const auto executable = [](const QString& file) {
        const QFileInfo fi(file);
        return fi.isFile() && fi.isExecutable();
    };
    const QString overridden = qEnvironmentVariable("TALLYROW_MDB_READER");
    if (!overridden.isEmpty()) {
        return executable(overridden) ? overridden : QString();
    }
    QStringList folders;
    if (QCoreApplication::instance()) {
        folders.append(QCoreApplication::applicationDirPath());
    } else {
        folders.append(QFileInfo(u"/proc/self/exe"_s).canonicalPath());
    }
    folders.append(qEnvironmentVariable("TALLYROW_BIN"));
#ifdef TALLYROW_INSTALL_LIBEXEC
    folders.append(QStringLiteral(TALLYROW_INSTALL_LIBEXEC));
#endif
    for (const QString& folder : folders) {
        if (!folder.isEmpty() && executable(folder + u'/' + name)) {
            return folder + u'/' + name;
        }
    }
    return QStandardPaths::findExecutable(name);
}

void clearJetCache() {
    std::lock_guard lock(g_cacheMutex);
    g_cache.clear();
}

std::unique_ptr<Connection::Provider> openJetProvider(const QString& path) {
    const QFileInfo info(path);
    const QString key =
        info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    {
        const FileStamp now = stampOf(path);
        std::lock_guard lock(g_cacheMutex);
        auto it = g_cache.find(key);
        if (it != g_cache.end() && it->second.stamp == now) {
            it->second.lastUse = ++g_useCounter;
            return sqliteQueryProvider(it->second.db);
        }
    }

    FileStamp stamp;
    std::shared_ptr<SqliteDatabase> db = readStableCopy(path, stamp);
    {
        std::lock_guard lock(g_cacheMutex);
        g_cache[key] = CacheEntry{stamp, db, ++g_useCounter};
        while (g_cache.size() > kCacheLimit) {
            auto oldest = g_cache.begin();
            for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
                if (it->second.lastUse < oldest->second.lastUse) {
                    oldest = it;
                }
            }
            g_cache.erase(oldest);
        }
    }
    return sqliteQueryProvider(std::move(db));
}

} // namespace tallyrow
