#include "datafile/SnapshotStore.h"

#include "datafile/DataFileKind.h"
#include "datafile/PostgresUri.h"
#include "datafile/Provider.h"
#include "datafile/SqliteDatabase.h"
#include "datafile/SqliteProvider.h"
#include "datafile/SqliteSnapshotRead.h"
#include "support/Error.h"
#include "support/StepRunner.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

constexpr std::size_t kMemoryEntries = 2;
constexpr char kSavedMagic[] = "TALLYROW-SAVED 1\n";

std::uint32_t be32(const QByteArray& b, int at) {
    return (std::uint32_t(std::uint8_t(b[at])) << 24) | (std::uint32_t(std::uint8_t(b[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(b[at + 2])) << 8) | std::uint32_t(std::uint8_t(b[at + 3]));
}

QByteArray firstBytes(const QString& path, qint64 count) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(count) : QByteArray();
}

std::int64_t nanoseconds(const struct timespec& t) {
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

ActivityValue variantValue(const QVariant& q) {
    ActivityValue v;
    if (q.isNull())
        return v;
    switch (q.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::Bool:
        v.type = ActivityValue::Type::Integer;
        v.integer = q.toLongLong();
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        v.type = ActivityValue::Type::Real;
        v.real = q.toDouble();
        break;
    case QMetaType::QByteArray:
        v.type = ActivityValue::Type::Blob;
        v.text = QString::fromUtf8(q.toByteArray());
        break;
    default:
        v.type = ActivityValue::Type::Text;
        v.text = q.toString();
        break;
    }
    return v;
}

// Plain names read the same in SQLite's dialect and in the Jet dialect of the providers.
QString selectRows() {
    return u"SELECT "_s + requiredActivityColumns().join(u", "_s) + u" FROM Activity"_s;
}

std::shared_ptr<const ActivitySnapshot> readProviderRows(const QString& path,
                                                         const std::function<bool(int)>& progress) {
    std::unique_ptr<Connection::Provider> provider = openProvider(path);
    std::unique_ptr<Recordset> rs = provider->execute(selectRows());
    // The in-memory copy of an Access file ignores letter case in names and has no key index.
    ActivitySnapshot::Builder builder(ActivitySnapshot::Grouping{true, false});
    builder.reserve(std::size_t(rs->rowCount()));
    std::array<ActivityValue, 24> hours;
    std::int64_t rows = 0;
    for (; !rs->EOF_(); rs->MoveNext()) {
        for (int h = 0; h < 24; ++h)
            hours[h] = variantValue(rs->field(3 + h));
        builder.add(variantValue(rs->field(0)), variantValue(rs->field(1)), variantValue(rs->field(2)),
                    hours);
        if ((++rows & 0x3FFF) == 0 && progress && !progress(int(rows * 90 / std::max(1, rs->rowCount()))))
            return nullptr;
    }
    return builder.finish();
}

void writeU32(QByteArray& b, std::uint32_t v) {
    b.append(reinterpret_cast<const char*>(&v), 4);
}
void writeI64(QByteArray& b, std::int64_t v) {
    b.append(reinterpret_cast<const char*>(&v), 8);
}

QByteArray savedHeader(const QString& path, const DataFileStamp& s) {
    QByteArray b(kSavedMagic, sizeof(kSavedMagic) - 1);
    const QByteArray p = path.toUtf8();
    writeU32(b, std::uint32_t(p.size()));
    b.append(p);
    for (std::int64_t v : {std::int64_t(s.device), std::int64_t(s.inode), s.size, s.mtimeNs, s.ctimeNs,
                           std::int64_t(s.changeCounter), s.walSize, s.walMtimeNs,
                           std::int64_t(s.walCheckpoint), std::int64_t(s.walSalt1), std::int64_t(s.walSalt2)})
        writeI64(b, v);
    return b;
}

} // namespace

DataFileStamp stampDataFile(const QString& path) {
    DataFileStamp s;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = nanoseconds(st.st_mtim);
    s.ctimeNs = nanoseconds(st.st_ctim);
    const QByteArray header = firstBytes(path, 100);
    if (header.size() == 100 && header.startsWith("SQLite format 3"))
        s.changeCounter = be32(header, 24);
    const QString wal = path + u"-wal"_s;
    struct stat ws {};
    if (::stat(QFile::encodeName(wal).constData(), &ws) == 0) {
        s.walSize = ws.st_size;
        s.walMtimeNs = nanoseconds(ws.st_mtim);
        const QByteArray w = firstBytes(wal, 32);
        if (w.size() == 32) {
            s.walCheckpoint = be32(w, 12);
            s.walSalt1 = be32(w, 16);
            s.walSalt2 = be32(w, 20);
        }
    }
    return s;
}

std::shared_ptr<const ActivitySnapshot> readActivitySnapshot(const QString& path,
                                                             const std::function<bool(int)>& progress) {
    try {
        const DataFileProbe probe = probeDataFile(path);
        if (probe.kind != DataFileKind::SQLite)
            return readProviderRows(path, progress); // Access files, and the open failures of others
        return readSqliteSnapshot(path, progress);
    } catch (const Error& e) {
        if (e.source() == QLatin1String(kRefusedRowSource))
            throw Error(ErrNo::DataSource,
                        u"No report is made from the data file \"%1\": %2."_s.arg(path, e.description()),
                        e.source());
        if (e.description().contains(path))
            throw;
        throw Error(ErrNo::DataSource, openFailure(path, e.description()));
    }
}

// ---------------------------------------------------------------------------------------------

SnapshotJob::~SnapshotJob() {
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

bool SnapshotJob::finished() const {
    std::lock_guard lock(m_mutex);
    return m_finished;
}

void SnapshotJob::wait() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_finished; });
}

std::shared_ptr<const ActivitySnapshot> SnapshotJob::snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_snapshot;
}

QString SnapshotJob::error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

bool SnapshotJob::cancelled() const {
    std::lock_guard lock(m_mutex);
    return m_finished && m_cancel.load() && !m_snapshot;
}

// ---------------------------------------------------------------------------------------------

SnapshotStore::SnapshotStore(QString cacheFolder) : m_folder(std::move(cacheFolder)) {}

SnapshotStore::SnapshotStore(QString cacheFolder, Limits limits)
    : m_folder(std::move(cacheFolder)), m_limits(limits) {}

SnapshotStore::~SnapshotStore() = default;

QString SnapshotStore::defaultCacheFolder() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + u"/.cache"_s;
    return base + u"/tallyrow"_s;
}

bool SnapshotStore::takesSnapshot(const QString& dataSource) {
    return !dataSource.isEmpty() && !isPostgresUri(dataSource);
}

QString SnapshotStore::savedCopyPath(const QString& path) const {
    if (m_folder.isEmpty())
        return {};
    const QString key = QFileInfo(path).absoluteFilePath();
    return m_folder + u'/' +
           QString::fromLatin1(
               QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(32)) +
           u".snapshot"_s;
}

SnapshotStore::Origin SnapshotStore::lastOrigin() const {
    std::lock_guard lock(m_mutex);
    return m_lastOrigin;
}

std::shared_ptr<const ActivitySnapshot> SnapshotStore::ready(const QString& path) {
    const QString key = QFileInfo(path).absoluteFilePath();
    const DataFileStamp stamp = stampDataFile(key);
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end() || !(it->second.stamp == stamp))
        return nullptr;
    it->second.lastUse = ++m_uses;
    return it->second.snapshot;
}

std::shared_ptr<const ActivitySnapshot> SnapshotStore::load(const QString& path,
                                                            const std::function<bool(int)>& progress) {
    const QString key = QFileInfo(path).absoluteFilePath();
    // What is no data file (a pipe, a device, a folder, a text file) gets the connection's
    // refusal before anything reads it: opening a pipe would wait for a writer.
    const DataFileKind kind = probeDataFile(key).kind;
    if (kind != DataFileKind::SQLite && kind != DataFileKind::Jet)
        return readActivitySnapshot(key, progress);
    // The stamp is taken before the rows are read: a commit made meanwhile changes the file's
    // stamp afterwards, so the next use reads again rather than trusting older rows.
    const DataFileStamp stamp = stampDataFile(key);
    auto remember = [&](std::shared_ptr<const ActivitySnapshot> snap, Origin origin) {
        std::lock_guard lock(m_mutex);
        m_lastOrigin = origin;
        m_entries[key] = Entry{stamp, snap, ++m_uses};
        while (m_entries.size() > kMemoryEntries) {
            auto oldest =
                std::min_element(m_entries.begin(), m_entries.end(), [](const auto& a, const auto& b) {
                    return a.second.lastUse < b.second.lastUse;
                });
            m_entries.erase(oldest);
        }
        return snap;
    };
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_entries.find(key);
        if (it != m_entries.end() && it->second.stamp == stamp) {
            it->second.lastUse = ++m_uses;
            m_lastOrigin = Origin::Memory;
            return it->second.snapshot;
        }
    }
    if (auto saved = readSavedCopy(key, stamp)) {
        if (progress)
            progress(100);
        return remember(saved, Origin::SavedCopy);
    }
    auto snap = readActivitySnapshot(key, progress);
    if (!snap)
        return nullptr;
    writeSavedCopy(key, stamp, *snap, progress);
    if (progress && !progress(100))
        return nullptr;
    return remember(snap, Origin::DataFile);
}

std::shared_ptr<SnapshotJob> SnapshotStore::loadInBackground(const QString& path,
                                                             std::function<void()> finished) {
    std::shared_ptr<SnapshotJob> job(new SnapshotJob);
    SnapshotJob* j = job.get();
    j->m_thread = std::thread([this, j, path, finished = std::move(finished)] {
        std::shared_ptr<const ActivitySnapshot> snap;
        QString error;
        try {
            snap = load(path, [j](int p) {
                j->m_progress.store(p);
                return !j->m_cancel.load();
            });
        } catch (const Error& e) {
            error = e.description();
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        }
        {
            std::lock_guard lock(j->m_mutex);
            j->m_snapshot = j->m_cancel.load() ? nullptr : snap;
            j->m_error = error;
        }
        if (finished)
            finished();
        {
            std::lock_guard lock(j->m_mutex);
            j->m_finished = true;
        }
        j->m_done.notify_all();
    });
    return job;
}

std::shared_ptr<const ActivitySnapshot> SnapshotStore::readSavedCopy(const QString& path,
                                                                     const DataFileStamp& stamp) {
    const QString file = savedCopyPath(path);
    if (file.isEmpty() || stamp.size < 0)
        return nullptr;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray header = savedHeader(path, stamp);
    if (f.read(header.size()) != header)
        return nullptr; // another state of the file (or another file): read it again
    auto snap = ActivitySnapshot::fromBytes(f.readAll());
    f.close();
    if (!snap) {
        // Damaged: never trusted, and replaced by the next save.
        QFile::remove(file);
        return nullptr;
    }
    ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), nullptr, 0); // most recently used
    return snap;
}

void SnapshotStore::writeSavedCopy(const QString& path, const DataFileStamp& stamp,
                                   const ActivitySnapshot& snapshot,
                                   const std::function<bool(int)>& progress) {
    const QString file = savedCopyPath(path);
    if (file.isEmpty() || stamp.size < 0)
        return;
    // A copy that cannot be saved only costs the next session a read of the file.
    if (!QDir().mkpath(m_folder))
        return;
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray body = snapshot.toBytes();
    if (m_limits.files < 1 || body.size() > m_limits.bytes)
        return;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write(savedHeader(path, stamp));
    constexpr qsizetype kChunk = 1 << 20;
    for (qsizetype at = 0; at < body.size(); at += kChunk) {
        out.write(body.constData() + at, std::min(kChunk, body.size() - at));
        if (progress && !progress(int(90 + 9 * (at + kChunk) / std::max<qsizetype>(1, body.size())))) {
            out.cancelWriting();
            return;
        }
    }
    if (!out.commit())
        return;
    trimSavedCopies(file);
}

void SnapshotStore::trimSavedCopies(const QString& keep) {
    QDir dir(m_folder);
    const QFileInfoList files = dir.entryInfoList({u"*.snapshot"_s}, QDir::Files, QDir::Time);
    int count = 0;
    std::int64_t bytes = 0;
    // The copy just written first, then the most recently used.
    QFileInfoList ordered;
    for (const QFileInfo& fi : files) {
        if (fi.absoluteFilePath() == QFileInfo(keep).absoluteFilePath())
            ordered.prepend(fi);
        else
            ordered.append(fi);
    }
    for (const QFileInfo& fi : ordered) {
        if (count < m_limits.files && bytes + fi.size() <= m_limits.bytes) {
            ++count;
            bytes += fi.size();
        } else {
            QFile::remove(fi.absoluteFilePath());
        }
    }
}

} // namespace tallyrow
