#pragma once

#include "activity/ActivityStore.h"
#include "activity/DataFileStamp.h"
#include "activity/StoreJob.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace tallyrow {

/// Reads the Activity table of a data file (SQLite, or Access through its in-memory copy) into
/// a store, in one read transaction. `progress` gets 0 … 100 and may return false to stop:
/// then nothing is returned. Fails with an Error naming the file and the reason, among them a
/// row holding a value the monitoring product never writes. `stateRead`, when given, gets the
/// stamp of the committed state the rows are of (size -1 when it could not be told: such rows
/// are never saved as a copy of any state).
std::shared_ptr<const ActivityStore> readActivityStore(const QString& path,
                                                       const std::function<bool(int)>& progress = {},
                                                       DataFileStamp* stateRead = nullptr);

/// Owns the stores of the data files a session reads, keyed by path and checked against the
/// file's stamp before each use, and keeps a saved copy of each in a cache folder (never beside
/// the data file) so the next session opens it instead of reading a row of an unchanged file.
/// Server sources have no store: their server aggregates. Thread-safe.
class StoreCache {
public:
    struct Limits {
        int files = 8;                  ///< saved copies kept
        std::int64_t bytes = 4LL << 30; ///< their total size
    };
    /// `cacheFolder` empty: no saved copies.
    explicit StoreCache(QString cacheFolder = defaultCacheFolder());
    StoreCache(QString cacheFolder, Limits limits);
    ~StoreCache();
    StoreCache(const StoreCache&) = delete;
    StoreCache& operator=(const StoreCache&) = delete;

    /// $XDG_CACHE_HOME/tallyrow, or ~/.cache/tallyrow.
    static QString defaultCacheFolder();

    /// The store of the file as it is now when one is in memory or saved (the saved copy is
    /// opened, not read), else nothing: costs a look at the file's stamp and a copy's header.
    std::shared_ptr<const ActivityStore> fresh(const QString& path);
    /// The store of the file as it is now: fresh(), or read from the file (and saved). Fails with
    /// an Error like readActivityStore. With `progress` returning false the load stops and
    /// returns nothing.
    std::shared_ptr<const ActivityStore> load(const QString& path,
                                              const std::function<bool(int)>& progress = {});
    /// The rows of a copy of an earlier state of the file that load() would bring up to date by
    /// the pages that changed (kept in memory, or saved), or 0 when there is none.
    std::size_t followableRows(const QString& path);
    /// load() on a worker thread. `finished` is called on that thread once the outcome can be
    /// read from the job, before wait() returns; the cache must outlive the job.
    std::shared_ptr<StoreJob> loadInBackground(const QString& path, std::function<void()> finished = {});
    /// Forgets the store of `path` and removes its saved copy: a block of it was found damaged.
    void discard(const QString& path);

    /// Where load() or fresh() found its last store.
    /// Update: a store of an earlier state brought up to date by the pages that changed.
    enum class Origin { None, Memory, SavedCopy, DataFile, Update };
    Origin lastOrigin() const;
    /// The saved copy's file name for a data file.
    QString savedCopyPath(const QString& path) const;
    /// Why the cache folder holds no saved copies although one was given: it belongs to another
    /// user, others may write to it, or it is no folder (then the program runs without saved
    /// copies, never changing the folder). Empty when it can be used.
    QString folderProblem();

private:
    /// Whether saved copies may be read from and written to the folder (made, private, when
    /// missing).
    bool folderUsable();
    std::shared_ptr<const ActivityStore> readAndSave(const QString& key, const DataFileStamp& stamp,
                                                     const std::function<bool(int)>& progress);
    std::shared_ptr<const ActivityStore> updated(const QString& key,
                                                 const std::function<bool(int)>& progress);
    /// The saved copy of the file with its delta, if any, and the stamp of the state it is of.
    std::pair<std::shared_ptr<const ActivityStore>, DataFileStamp> fromDisk(const QString& key);
    QString deltaPath(const QString& key) const;
    /// The store of the last state of the file this cache knows (in memory, else saved) and its stamp.
    std::pair<std::shared_ptr<const ActivityStore>, DataFileStamp> earlierStore(const QString& key);
    std::shared_ptr<const ActivityStore> remembered(const QString& key, const DataFileStamp& stamp);
    std::shared_ptr<const ActivityStore> remember(const QString& key, const DataFileStamp& stamp,
                                                  std::shared_ptr<const ActivityStore> store, Origin origin);
    std::shared_ptr<const ActivityStore> saved(const QString& key, const DataFileStamp& stamp);
    std::shared_ptr<const ActivityStore> save(const QString& key, const DataFileStamp& stamp,
                                              std::shared_ptr<const ActivityStore> store,
                                              const std::function<bool(int)>& progress);
    void trimSavedCopies(const QString& keep);

    struct Entry {
        DataFileStamp stamp;
        std::shared_ptr<const ActivityStore> store;
        std::uint64_t lastUse = 0;
    };
    QString m_folder;
    Limits m_limits;
    std::optional<QString> m_folderProblem; ///< once looked at: why the folder is not used
    mutable std::mutex m_mutex;
    std::map<QString, Entry> m_entries;
    /// The saved copy of each file as last opened or written: its identity, and what keeps its rows
    /// in memory (a store over those rows is saved as a delta of it).
    struct SavedBase {
        QByteArray identity;
        std::weak_ptr<const void> rows;
    };
    std::map<QString, SavedBase> m_savedBases;
    std::uint64_t m_uses = 0;
    Origin m_lastOrigin = Origin::None;
};

} // namespace tallyrow
