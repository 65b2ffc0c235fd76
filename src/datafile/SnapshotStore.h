#pragma once

#include "datafile/ActivitySnapshot.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace tallyrow {

/// What tells one committed state of a data file from another: the file's identity (device and
/// inode), size, modification and change times, SQLite's change counter, and the write-ahead
/// log's size, time and salts when one lies beside the file. A file put back with an old
/// modification time still differs in its change time (and mostly in inode or counter).
struct DataFileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    std::uint32_t changeCounter = 0;
    std::int64_t walSize = -1; ///< -1: no log
    std::int64_t walMtimeNs = 0;
    std::uint32_t walCheckpoint = 0;
    std::uint32_t walSalt1 = 0;
    std::uint32_t walSalt2 = 0;

    bool operator==(const DataFileStamp&) const = default;
};

/// The stamp of the file at `path` now (size -1 when it cannot be looked at).
DataFileStamp stampDataFile(const QString& path);

/// Reads the Activity table of a data file (SQLite, or Access through its in-memory copy) into
/// a snapshot, in one read transaction. `progress` gets 0 … 100 and may return false to stop:
/// then nothing is returned. Fails with an Error naming the file and the reason, among them a
/// row holding a value the monitoring product never writes.
std::shared_ptr<const ActivitySnapshot> readActivitySnapshot(const QString& path,
                                                             const std::function<bool(int)>& progress = {});

/// One load of a snapshot running on a worker thread.
class SnapshotJob {
public:
    ~SnapshotJob();
    /// 0 … 100.
    int progress() const { return m_progress.load(); }
    /// Asks the load to stop; it ends soon after without a snapshot or saved copy.
    void cancel() { m_cancel.store(true); }
    bool finished() const;
    void wait();
    /// After the load: the snapshot (nothing when cancelled or failed) and the failure's text.
    std::shared_ptr<const ActivitySnapshot> snapshot() const;
    QString error() const;
    bool cancelled() const;

private:
    friend class SnapshotStore;
    SnapshotJob() = default;

    std::atomic<int> m_progress{0};
    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::shared_ptr<const ActivitySnapshot> m_snapshot;
    QString m_error;
    std::thread m_thread;
};

/// Owns the snapshots of the data files a session reads, keyed by path and checked against the
/// file's stamp before each use, and keeps a saved copy of each in a cache folder (never beside
/// the data file) so the next session reads no row of an unchanged file. Server sources have no
/// snapshot: their server aggregates. Thread-safe.
class SnapshotStore {
public:
    struct Limits {
        int files = 8;                  ///< saved copies kept
        std::int64_t bytes = 2LL << 30; ///< their total size
    };
    /// `cacheFolder` empty: no saved copies.
    explicit SnapshotStore(QString cacheFolder = defaultCacheFolder());
    SnapshotStore(QString cacheFolder, Limits limits);
    ~SnapshotStore();

    /// $XDG_CACHE_HOME/tallyrow, or ~/.cache/tallyrow.
    static QString defaultCacheFolder();
    /// Whether `dataSource` is a file a snapshot is taken of (not a server URI).
    static bool takesSnapshot(const QString& dataSource);

    /// The snapshot of the file as it is now when one is in memory, else nothing.
    std::shared_ptr<const ActivitySnapshot> ready(const QString& path);
    /// The snapshot of the file as it is now: from memory, from the saved copy, or read from
    /// the file (and saved). Fails with an Error like readActivitySnapshot. With `progress`
    /// returning false the load stops and returns nothing.
    std::shared_ptr<const ActivitySnapshot> load(const QString& path,
                                                 const std::function<bool(int)>& progress = {});
    /// load() on a worker thread. `finished` is called on that thread once the outcome can be
    /// read from the job, before wait() returns; the store must outlive the job.
    std::shared_ptr<SnapshotJob> loadInBackground(const QString& path, std::function<void()> finished = {});

    /// Where load() found its last snapshot.
    enum class Origin { None, Memory, SavedCopy, DataFile };
    Origin lastOrigin() const;
    /// The saved copy's file name for a data file.
    QString savedCopyPath(const QString& path) const;

private:
    std::shared_ptr<const ActivitySnapshot> readSavedCopy(const QString& path, const DataFileStamp& stamp);
    void writeSavedCopy(const QString& path, const DataFileStamp& stamp, const ActivitySnapshot& snapshot,
                        const std::function<bool(int)>& progress);
    void trimSavedCopies(const QString& keep);

    struct Entry {
        DataFileStamp stamp;
        std::shared_ptr<const ActivitySnapshot> snapshot;
        std::uint64_t lastUse = 0;
    };
    QString m_folder;
    Limits m_limits;
    mutable std::mutex m_mutex;
    std::map<QString, Entry> m_entries;
    std::uint64_t m_uses = 0;
    Origin m_lastOrigin = Origin::None;
};

} // namespace tallyrow
