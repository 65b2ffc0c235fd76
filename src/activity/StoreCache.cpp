#include "activity/StoreCache.h"

#include "activity/SqliteRowReader.h"
#include "activity/StoreFile.h"
#include "activity/StoreUpdate.h"

#include "datafile/DataFileKind.h"
#include "datafile/Provider.h"
#include "datafile/SqliteProvider.h"
#include "support/Error.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

constexpr std::size_t kMemoryEntries = 2;
// A store whose second segment of rows is more than this share of the first is saved whole.
constexpr std::size_t kDeltaShare = 8;

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

std::shared_ptr<const ActivityStore> readProviderRows(const QString& path,
                                                      const std::function<bool(int)>& progress) {
    std::unique_ptr<Connection::Provider> provider = openProvider(path);
    std::unique_ptr<Recordset> rs = provider->execute(selectRows());
    // The in-memory copy of an Access file ignores letter case in names and has no key index.
    ActivityStore::Builder builder(ActivityStore::Grouping{true, false});
    builder.reserve(std::size_t(rs->rowCount()));
    std::array<ActivityValue, 24> hours;
    std::int64_t rows = 0;
    for (; !rs->atEnd(); rs->next()) {
        for (int h = 0; h < 24; ++h)
            hours[h] = variantValue(rs->field(3 + h));
        builder.add(variantValue(rs->field(0)), variantValue(rs->field(1)), variantValue(rs->field(2)),
                    hours);
        if ((++rows & 0x3FFF) == 0 && progress && !progress(int(rows * 90 / std::max(1, rs->rowCount()))))
            return nullptr;
    }
    return builder.finish();
}

// What a saved copy is a copy of: the data file's path and its stamp, as fixed-width fields.
QByteArray copyIdentity(const QString& path, const DataFileStamp& s) {
    QByteArray b = path.toUtf8();
    for (const std::int64_t v : s.fields()) {
        for (int i = 0; i < 8; ++i)
            b.append(char(std::uint8_t(std::uint64_t(v) >> (8 * i))));
    }
    return b;
}

// The stamp a saved copy of `path` was made under, from its identity; nothing for a copy of
// another file.
std::optional<DataFileStamp> identityStamp(const QString& path, const QByteArray& identity) {
    const QByteArray name = path.toUtf8();
    std::array<std::int64_t, 14> fields{};
    if (identity.size() != name.size() + qsizetype(fields.size() * 8) || !identity.startsWith(name))
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(identity.constData() + name.size());
    for (std::size_t f = 0; f < fields.size(); ++f) {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= std::uint64_t(p[f * 8 + std::size_t(i)]) << (8 * i);
        fields[f] = std::int64_t(v);
    }
    return DataFileStamp::fromFields(fields);
}

} // namespace

std::shared_ptr<const ActivityStore>
readActivityStore(const QString& path, const std::function<bool(int)>& progress, DataFileStamp* stateRead) {
    try {
        const DataFileProbe probe = probeDataFile(path);
        if (probe.kind != DataFileKind::SQLite) {
            // The copy is read whole before the rows are taken: a change made meanwhile changes
            // the stamp afterwards, so the next use reads again rather than trusting older rows.
            if (stateRead)
                *stateRead = stampDataFile(path);
            return readProviderRows(path, progress); // Access files, and the open failures of others
        }
        return readSqliteStore(path, progress, stateRead);
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::RefusedRow)
            throw Error(ErrNo::DataSource,
                        u"No report is made from the data file \"%1\": %2."_s.arg(path, e.description()),
                        e.steps());
        if (e.description().contains(path))
            throw;
        throw openFailure(path, e.description());
    }
}

// ---------------------------------------------------------------------------------------------

StoreCache::StoreCache(QString cacheFolder) : m_folder(std::move(cacheFolder)) {}

StoreCache::StoreCache(QString cacheFolder, Limits limits)
    : m_folder(std::move(cacheFolder)), m_limits(limits) {}

StoreCache::~StoreCache() = default;

QString StoreCache::defaultCacheFolder() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + u"/.cache"_s;
    return base + u"/tallyrow"_s;
}

QString StoreCache::savedCopyPath(const QString& path) const {
    if (m_folder.isEmpty())
        return {};
    const QString key = QFileInfo(path).absoluteFilePath();
    return m_folder + u'/' +
           QString::fromLatin1(
               QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(32)) +
           u".store"_s;
}

bool StoreCache::folderUsable() {
    return !m_folder.isEmpty() && folderProblem().isEmpty();
}

QString StoreCache::folderProblem() {
    std::lock_guard lock(m_mutex);
    if (m_folder.isEmpty())
        return {};
    if (m_folderProblem)
        return *m_folderProblem;
    const QByteArray folder = QFile::encodeName(m_folder);
    struct stat st {};
    if (::lstat(folder.constData(), &st) != 0 && errno == ENOENT) {
        QDir().mkpath(QFileInfo(m_folder).absolutePath());
        ::mkdir(folder.constData(), 0700);
    }
    QString problem;
    if (::lstat(folder.constData(), &st) != 0)
        problem = u"it cannot be made (%1)"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
    else if (!S_ISDIR(st.st_mode))
        problem = u"it is no folder"_s;
    else if (st.st_uid != ::geteuid())
        problem = u"it belongs to another user"_s;
    else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        problem = u"others may write to it"_s;
    m_folderProblem =
        problem.isEmpty()
            ? QString()
            : u"The cache folder \"%1\" is not used, as %2; reports are made without a saved copy of "
              "the data file."_s.arg(m_folder, problem);
    return *m_folderProblem;
}

StoreCache::Origin StoreCache::lastOrigin() const {
    std::lock_guard lock(m_mutex);
    return m_lastOrigin;
}

std::shared_ptr<const ActivityStore> StoreCache::remembered(const QString& key, const DataFileStamp& stamp) {
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end() || !(it->second.stamp == stamp))
        return nullptr;
    it->second.lastUse = ++m_uses;
    m_lastOrigin = Origin::Memory;
    return it->second.store;
}

std::shared_ptr<const ActivityStore> StoreCache::remember(const QString& key, const DataFileStamp& stamp,
                                                          std::shared_ptr<const ActivityStore> store,
                                                          Origin origin) {
    std::lock_guard lock(m_mutex);
    m_lastOrigin = origin;
    m_entries[key] = Entry{stamp, store, ++m_uses};
    while (m_entries.size() > kMemoryEntries) {
        auto oldest = std::min_element(m_entries.begin(), m_entries.end(), [](const auto& a, const auto& b) {
            return a.second.lastUse < b.second.lastUse;
        });
        m_entries.erase(oldest);
    }
    return store;
}

std::shared_ptr<const ActivityStore> StoreCache::fresh(const QString& path) {
    const QString key = QFileInfo(path).absoluteFilePath();
    const DataFileStamp stamp = stampDataFile(key);
    if (stamp.size < 0)
        return nullptr;
    if (auto store = remembered(key, stamp))
        return store;
    if (auto store = saved(key, stamp))
        return remember(key, stamp, store, Origin::SavedCopy);
    return nullptr;
}

std::shared_ptr<const ActivityStore> StoreCache::load(const QString& path,
                                                      const std::function<bool(int)>& progress) {
    const QString key = QFileInfo(path).absoluteFilePath();
    // What is no data file (a pipe, a device, a folder, a text file) gets the connection's
    // refusal before anything reads it: opening a pipe would wait for a writer.
    const DataFileKind kind = probeDataFile(key).kind;
    if (kind != DataFileKind::SQLite && kind != DataFileKind::Jet)
        return readActivityStore(key, progress);
    const DataFileStamp stamp = stampDataFile(key);
    if (auto store = remembered(key, stamp)) {
        if (progress)
            progress(100);
        return store;
    }
    if (auto store = saved(key, stamp)) {
        if (progress)
            progress(100);
        return remember(key, stamp, store, Origin::SavedCopy);
    }
    if (kind == DataFileKind::SQLite) {
        if (auto store = updated(key, progress))
            return store;
    }
    const auto reading = [&](int p) { return !progress || progress(p * 9 / 10); };
    // The rows are kept under the stamp of the state they were read in, never under one taken
    // outside that read.
    DataFileStamp stateRead;
    auto store = readActivityStore(key, reading, &stateRead);
    if (!store)
        return nullptr;
    if (stateRead.size < 0) {
        // Of no state that can be told again: it answers this once and is kept nowhere.
        std::lock_guard lock(m_mutex);
        m_lastOrigin = Origin::DataFile;
        return store;
    }
    store = save(key, stateRead, std::move(store),
                 [&](int p) { return !progress || progress(90 + p * 9 / 100); });
    if (store && progress && !progress(100)) {
        // Stopped at the last moment: nothing of this load stays behind.
        const QString file = savedCopyPath(key);
        if (!file.isEmpty())
            QFile::remove(file);
        store.reset();
    }
    if (!store)
        return nullptr;
    return remember(key, stateRead, store, Origin::DataFile);
}

// The store of an earlier state of the file (in memory, else its saved copy) brought up to the
// state it is in now by the pages that changed, and saved; nothing when there is none to start
// from or the change cannot be bounded.
QString StoreCache::deltaPath(const QString& key) const {
    QString file = savedCopyPath(key);
    if (!file.isEmpty())
        file.insert(file.size() - 6, u".delta"_s); // NAME.delta.store
    return file;
}

std::pair<std::shared_ptr<const ActivityStore>, DataFileStamp> StoreCache::fromDisk(const QString& key) {
    const QString file = savedCopyPath(key);
    if (file.isEmpty() || !folderUsable())
        return {};
    const auto ofThisFile = [&](const QByteArray& i) { return identityStamp(key, i).has_value(); };
    QByteArray identity;
    StoreFile::OpenFailure failure = StoreFile::OpenFailure::None;
    auto base = StoreFile::open(file, ofThisFile, identity, &failure);
    if (!base) {
        if (failure == StoreFile::OpenFailure::Damaged) {
            QFile::remove(file); // never trusted, and replaced by the next save
            QFile::remove(deltaPath(key));
        }
        return {};
    }
    ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), nullptr, 0); // most recently used
    {
        std::lock_guard lock(m_mutex);
        m_savedBases[key] = SavedBase{identity, base->firstRowsOwner()};
    }
    QByteArray own;
    if (auto updated = StoreFile::openDelta(deltaPath(key), *base, identity, ofThisFile, own, &failure))
        return {updated, *identityStamp(key, own)};
    if (failure == StoreFile::OpenFailure::Damaged)
        QFile::remove(deltaPath(key));
    return {base, *identityStamp(key, identity)};
}

std::pair<std::shared_ptr<const ActivityStore>, DataFileStamp> StoreCache::earlierStore(const QString& key) {
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_entries.find(key); it != m_entries.end())
            return {it->second.store, it->second.stamp};
    }
    auto [store, stamp] = fromDisk(key);
    if (!store)
        return {};
    // Kept as the copy of its own state: the update that follows starts from it.
    std::lock_guard lock(m_mutex);
    m_entries[key] = Entry{stamp, store, ++m_uses};
    return {store, stamp};
}

std::size_t StoreCache::followableRows(const QString& path) {
    const QString key = QFileInfo(path).absoluteFilePath();
    const auto [store, stamp] = earlierStore(key);
    return store && store->columns().source.pageSize != 0 ? store->rowCount() : 0;
}

// The store of an earlier state of the file (in memory, else its saved copy) brought up to the
// state it is in now by the pages that changed, and saved; nothing when there is none to start
// from or the change cannot be bounded.
std::shared_ptr<const ActivityStore> StoreCache::updated(const QString& key,
                                                         const std::function<bool(int)>& progress) {
    const auto [earlier, earlierState] = earlierStore(key);
    if (!earlier || earlier->columns().source.pageSize == 0)
        return nullptr;
    DataFileStamp stateRead;
    std::shared_ptr<const ActivityStore> store;
    try {
        store = updateSqliteStore(key, *earlier, earlierState, stateRead);
    } catch (const StoreDamaged&) {
        discard(key); // the file is read whole instead
        return nullptr;
    }
    if (!store)
        return nullptr;
    std::shared_ptr<const void> savedRows;
    QByteArray savedIdentity;
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_savedBases.find(key); it != m_savedBases.end()) {
            savedRows = it->second.rows.lock();
            savedIdentity = it->second.identity;
        }
    }
    // Over the rows of the saved copy, only what changed is saved; once the changes are many, the
    // copy is written whole again.
    if (savedRows && store->firstRowsOwner() == savedRows &&
        store->extraRowCount() * kDeltaShare <= store->rowCount()) {
        if (m_limits.files >= 1)
            StoreFile::writeDelta(*store, deltaPath(key), savedIdentity, copyIdentity(key, stateRead));
        if (progress)
            progress(100);
        return remember(key, stateRead, store, Origin::Update);
    }
    store = flattenStore(*store);
    store = save(key, stateRead, std::move(store),
                 [&](int p) { return !progress || progress(90 + p * 9 / 100); });
    if (!store)
        return nullptr;
    if (progress)
        progress(100);
    return remember(key, stateRead, store, Origin::Update);
}

void StoreCache::discard(const QString& path) {
    const QString key = QFileInfo(path).absoluteFilePath();
    {
        std::lock_guard lock(m_mutex);
        m_entries.erase(key);
    }
    const QString file = savedCopyPath(key);
    if (!file.isEmpty()) {
        QFile::remove(file);
        QFile::remove(deltaPath(key));
    }
}

std::shared_ptr<StoreJob> StoreCache::loadInBackground(const QString& path, std::function<void()> finished) {
    std::shared_ptr<StoreJob> job(new StoreJob);
    StoreJob* j = job.get();
    j->m_thread = std::thread([this, j, path, finished = std::move(finished)] {
        std::shared_ptr<const ActivityStore> store;
        QString error;
        try {
            store = load(path, [j](int p) {
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
            j->m_store = j->m_cancel.load() ? nullptr : store;
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

std::shared_ptr<const ActivityStore> StoreCache::saved(const QString& key, const DataFileStamp& stamp) {
    auto [store, state] = fromDisk(key);
    if (!store)
        return nullptr;
    if (!(state == stamp)) {
        // Of an earlier state: kept to be brought up to date from.
        std::lock_guard lock(m_mutex);
        m_entries[key] = Entry{state, store, ++m_uses};
        return nullptr;
    }
    return store;
}

// Saves the store read from the file and answers from the saved copy from then on: mapped, its
// rows cost no memory of the process's own. A copy that cannot be saved only costs the next
// session a read of the file. Nothing when `progress` said stop.
std::shared_ptr<const ActivityStore> StoreCache::save(const QString& key, const DataFileStamp& stamp,
                                                      std::shared_ptr<const ActivityStore> store,
                                                      const std::function<bool(int)>& progress) {
    const QString file = savedCopyPath(key);
    if (file.isEmpty() || stamp.size < 0 || m_limits.files < 1 || !folderUsable())
        return store;
    const QByteArray identity = copyIdentity(key, stamp);
    bool stopped = false;
    const bool written = StoreFile::write(*store, file, identity, [&](int p) {
        stopped = progress && !progress(p);
        return !stopped;
    });
    if (stopped)
        return nullptr;
    if (!written)
        return store;
    if (QFileInfo(file).size() > m_limits.bytes) {
        QFile::remove(file); // larger than all copies together may be: none is kept
        return store;
    }
    QFile::remove(deltaPath(key)); // of the copy replaced
    trimSavedCopies(file);
    auto mapped = StoreFile::open(file, identity);
    if (!mapped)
        return store;
    std::lock_guard lock(m_mutex);
    m_savedBases[key] = SavedBase{identity, mapped->firstRowsOwner()};
    return mapped;
}

namespace {

// A temporary copy ("." + name + ".XXXXXX") whose writer is gone: older than a minute and not
// locked. A writer holds its lock (flock) until the copy is renamed into place or removed.
bool abandonedCopy(const QFileInfo& fi) {
    if (fi.lastModified().secsTo(QDateTime::currentDateTime()) < 60)
        return false;
    const int fd =
        ::open(QFile::encodeName(fi.absoluteFilePath()).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool unheld = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return unheld;
}

} // namespace

void StoreCache::trimSavedCopies(const QString& keep) {
    QDir dir(m_folder);
    int count = 0;
    std::int64_t bytes = 0;
    // Copies other runs are writing count against the limits; those left by runs that ended
    // before they could finish go.
    for (const QFileInfo& fi : dir.entryInfoList({u".*.store.*"_s}, QDir::Files | QDir::Hidden)) {
        if (abandonedCopy(fi)) {
            QFile::remove(fi.absoluteFilePath());
        } else {
            ++count;
            bytes += fi.size();
        }
    }
    const QFileInfoList files = dir.entryInfoList({u"*.store"_s, u"*.snapshot"_s}, QDir::Files, QDir::Time);
    // The copy just written first, then the most recently used; copies of the old kind go.
    QFileInfoList ordered;
    for (const QFileInfo& fi : files) {
        if (fi.absoluteFilePath() == QFileInfo(keep).absoluteFilePath())
            ordered.prepend(fi);
        else if (fi.suffix() == u"snapshot"_s)
            QFile::remove(fi.absoluteFilePath());
        else
            ordered.append(fi);
    }
    for (const QFileInfo& fi : ordered) {
        // The copy just written is kept whatever else is being written.
        const bool justWritten = fi.absoluteFilePath() == QFileInfo(keep).absoluteFilePath();
        if (justWritten || (count < m_limits.files && bytes + fi.size() <= m_limits.bytes)) {
            ++count;
            bytes += fi.size();
        } else {
            QFile::remove(fi.absoluteFilePath());
        }
    }
}

} // namespace tallyrow
