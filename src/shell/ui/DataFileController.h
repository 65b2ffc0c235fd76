#pragma once

#include "activity/DataFileStamp.h"
#include "activity/DateRange.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QFileSystemWatcher;
class QTimer;

namespace tallyrow {

class ActivityPlanner;
class ActivitySource;
class ActivityStore;
class StoreCache;
class StoreJob;

/// How a read of the data file ended, and what was waiting for it.
struct DataFileRead {
    enum class Outcome { Read, Cancelled, Failed };
    Outcome outcome = Outcome::Read;
    QString path;
    std::shared_ptr<const ActivityStore> store; ///< the rows read (Read only)
    QString error;                              ///< why the file could not be read (Failed only)
    bool list = false;                          ///< the user list waited for it
    bool preview = false;                       ///< a Preview waited for it
};

/// The window's data file: what reports read (the planner of a data file and its saved copy, or
/// SQL on a server), the read of the file on the worker thread, and the look every few seconds
/// whether it changed. It shows nothing: the window shows the progress and takes each read's end.
class DataFileController final : public QObject {
    Q_OBJECT
public:
    /// Saved copies go to `cache`; `readEnded` takes the end of every read, on this thread.
    DataFileController(std::shared_ptr<StoreCache> cache, std::function<void(const DataFileRead&)> readEnded,
                       QObject* parent = nullptr);
    /// A read still under way is cancelled and waited for: it reports to this object.
    ~DataFileController() override;

    StoreCache& cache() { return *m_cache; }
    /// What the next report reads (nothing before a data source was chosen).
    std::shared_ptr<ActivitySource> source() const { return m_source; }
    /// Whether the data file is being read on the worker thread, and how far, in percent.
    bool isReading() const { return m_job != nullptr; }
    int progress() const;

    /// Sets the source up for `path`: a data file's planner, made anew for another file, or SQL
    /// on a server. True for a data file.
    bool useSource(const QString& path);
    /// Notes that `path`, whose saved copy is fresh, was looked at now.
    void noteSeen(const QString& path);
    /// Reads `path` in the background; the user list waits for it.
    void readForList(const QString& path);
    /// Reads `path` in the background unless a read of it is under way.
    void read(const QString& path);
    /// Reads `path` again after its refusal no longer holds; a Preview waits when `preview`.
    void readAgain(const QString& path, bool preview);
    /// Stops the read under way; its end is still reported.
    void cancel();
    /// Whether a Preview over `range` can run now on `path`; if not, a read is under way and
    /// the Preview waits for its end.
    bool readyForPreview(const QString& path, const DateRange& range);
    /// Reads the file again when the last Preview answered it, changed, by SQL.
    void readAfterPreview();
    /// Looks whether the data file changed and, when it did and it then holds still, reads it.
    void checkChanged();
    /// How often the file is looked at besides being watched.
    void setLookInterval(int milliseconds);
    void watch(const QString& path);
    /// No further look at the file, nor a read started by one.
    void stop() { m_stopped = true; }

Q_SIGNALS:
    /// A read of the file began on the worker thread.
    void readStarted();

private:
    ActivityPlanner& plannerFor(const QString& path);
    void finished(int generation);

    std::shared_ptr<StoreCache> m_cache;
    std::function<void(const DataFileRead&)> m_readEnded;
    std::shared_ptr<StoreJob> m_job;
    std::shared_ptr<ActivityPlanner> m_planner;
    std::shared_ptr<ActivitySource> m_source;
    QTimer* m_watchTimer = nullptr;
    /// Tells of a change of the file, its log or its folder at once (inotify); the timer above
    /// stays for file systems that tell nothing (a network share).
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_lookSoon = nullptr;       ///< the look after a change was told of
    DataFileStamp m_seenStamp;          ///< the data file as the last look found it
    DataFileStamp m_refusedStamp;       ///< the data file as it was when its rows were refused
    bool m_watchHeld = false;           ///< a read was cancelled: no new one until the file changes
    bool m_refreshAfterPreview = false; ///< the preview asked a changed file by SQL
    QString m_readPath;
    int m_generation = 0;
    bool m_listPending = false;
    bool m_previewPending = false;
    bool m_stopped = false;
};

} // namespace tallyrow
