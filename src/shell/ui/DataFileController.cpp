#include "shell/ui/DataFileController.h"

#include "activity/ActivityPlanner.h"
#include "activity/SqlExecutor.h"
#include "activity/StoreCache.h"
#include "activity/StoreJob.h"
#include "datafile/DataSource.h"
#include "reports/TotalsQuery.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <utility>

using namespace Qt::StringLiterals;

namespace tallyrow {

DataFileController::DataFileController(std::shared_ptr<StoreCache> cache,
                                       std::function<void(const DataFileRead&)> readEnded, QObject* parent)
    : QObject(parent), m_cache(std::move(cache)), m_readEnded(std::move(readEnded)) {
    // The monitoring product writes all day: the file is looked at now and then, so a Preview
    // usually finds its saved copy current.
    m_watchTimer = new QTimer(this);
    m_watchTimer->setInterval(3000);
    connect(m_watchTimer, &QTimer::timeout, this, [this] { checkChanged(); });
    m_watchTimer->start();
    m_lookSoon = new QTimer(this);
    m_lookSoon->setSingleShot(true);
    m_lookSoon->setInterval(250);
    connect(m_lookSoon, &QTimer::timeout, this, [this] { checkChanged(); });
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, m_lookSoon, qOverload<>(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_lookSoon, qOverload<>(&QTimer::start));
}

DataFileController::~DataFileController() {
    // The worker reads through the cache and reports back to this object: both must outlast it.
    if (m_job) {
        m_job->cancel();
        m_job->wait();
        m_job.reset();
    }
}

int DataFileController::progress() const {
    return m_job ? m_job->progress() : 0;
}

bool DataFileController::useSource(const QString& path) {
    if (!DataSource(path).keepsSavedCopy()) {
        m_planner.reset();
        m_source = openActivitySource(path, nullptr); // a server: SQL, connected by the report
        return false;
    }
    plannerFor(path);
    m_source = m_planner;
    return true;
}

ActivityPlanner& DataFileController::plannerFor(const QString& path) {
    if (!m_planner || m_planner->dataFile() != path) {
        // The window never waits for a read of the whole file: a large question on a changed
        // file is read again in the background before the report runs (see readyForPreview).
        ActivityPlanner::Policy policy;
        policy.refreshForLargeQueries = false;
        m_planner = std::make_shared<ActivityPlanner>(path, m_cache, policy);
        watch(path);
    }
    return *m_planner;
}

void DataFileController::noteSeen(const QString& path) {
    m_seenStamp = stampDataFile(path);
}

void DataFileController::readForList(const QString& path) {
    m_listPending = true;
    read(path);
}

void DataFileController::read(const QString& path) {
    if (m_job && m_readPath == path)
        return; // already under way: its end serves this request too
    if (m_job)
        m_job->cancel(); // another file was chosen meanwhile
    m_job.reset();
    m_readPath = path;
    m_seenStamp = stampDataFile(path);
    const int generation = ++m_generation;
    // The job reports on its own thread; its outcome is taken up on this one.
    m_job = m_cache->loadInBackground(path, [this, generation] {
        QMetaObject::invokeMethod(
            this, [this, generation] { finished(generation); }, Qt::QueuedConnection);
    });
    emit readStarted();
}

void DataFileController::readAgain(const QString& path, bool preview) {
    m_watchHeld = false;
    m_previewPending = preview;
    read(path);
}

void DataFileController::cancel() {
    if (m_job)
        m_job->cancel();
}

void DataFileController::finished(int generation) {
    if (generation != m_generation || !m_job)
        return; // a read that was replaced by a later one
    std::shared_ptr<StoreJob> job = std::move(m_job);
    job->wait();
    DataFileRead read;
    read.path = m_readPath;
    read.list = std::exchange(m_listPending, false);
    read.preview = std::exchange(m_previewPending, false);
    read.store = job->store();
    read.error = job->error();
    if (job->cancelled() || (!read.store && read.error.isEmpty())) {
        read.outcome = DataFileRead::Outcome::Cancelled;
        m_watchHeld = true;
        m_listPending = read.list; // the next read that completes fills the list
    } else if (!read.store) {
        read.outcome = DataFileRead::Outcome::Failed;
        m_watchHeld = true;
        m_refusedStamp = m_seenStamp;
    }
    m_readEnded(read);
}

bool DataFileController::readyForPreview(const QString& path, const DateRange& range) {
    if (m_job) {
        m_previewPending = true; // remembered once: more clicks meanwhile add nothing
        return false;
    }
    if (!useSource(path))
        return true;
    // Only the file's stamp is looked at here. A changed file answers a short range by SQL at
    // once (and is read again in the background); a long range waits for the read.
    if (m_planner->isFresh())
        return true;
    // The span a report may ask about: the range and the range of as many days before it.
    const DayRange span = DayRange::of({previousRangeStart(range), range.end});
    // A file whose rows were refused as it is now is read again, to say why once more.
    if (!(stampDataFile(path) == m_refusedStamp) && m_planner->answersBySql(span)) {
        // Read again once the report has been made: the read must not run beside the report's
        // own connection to the file.
        m_refreshAfterPreview = true;
        return true;
    }
    m_previewPending = true;
    read(path);
    return false;
}

void DataFileController::readAfterPreview() {
    if (std::exchange(m_refreshAfterPreview, false) && m_planner && !m_stopped)
        read(m_planner->dataFile());
}

void DataFileController::setLookInterval(int milliseconds) {
    m_watchTimer->setInterval(milliseconds);
}

void DataFileController::watch(const QString& path) {
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    // The folder tells when a log or journal comes or goes; the log, of each commit to it.
    const QFileInfo file(path);
    QStringList paths{file.absolutePath(), file.absoluteFilePath()};
    if (QFileInfo::exists(path + u"-wal"_s))
        paths << path + u"-wal"_s;
    m_watcher->addPaths(paths);
}

void DataFileController::checkChanged() {
    if (m_job || !m_planner || m_stopped)
        return;
    // A log that came since is watched too (one that went is dropped by the watcher itself).
    const QString log = m_planner->dataFile() + u"-wal"_s;
    if (!m_watcher->files().contains(log) && QFileInfo::exists(log))
        m_watcher->addPath(log);
    const DataFileStamp now = stampDataFile(m_planner->dataFile());
    // A file that changed since the last look is left until it holds still for one look: a
    // writer in the middle of a burst of commits would otherwise start a read at every one.
    const bool still = now == m_seenStamp;
    if (!still) {
        m_watchHeld = false;
        m_lookSoon->start(); // read once it holds still
    }
    m_seenStamp = now;
    if (!still || m_watchHeld || now.size < 0 || m_cache->fresh(m_planner->dataFile()))
        return;
    read(m_planner->dataFile());
}

} // namespace tallyrow
