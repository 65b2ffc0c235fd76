#pragma once

#include "activity/ActivityStore.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace tallyrow {

/// One load of a store running on a worker thread.
class StoreJob {
public:
    ~StoreJob();
    /// 0 … 100.
    int progress() const { return m_progress.load(); }
    /// Asks the load to stop; it ends soon after without a store or saved copy.
    void cancel() { m_cancel.store(true); }
    bool finished() const;
    void wait();
    /// After the load: the store (nothing when cancelled or failed) and the failure's text.
    std::shared_ptr<const ActivityStore> store() const;
    QString error() const;
    bool cancelled() const;

private:
    friend class StoreCache;
    StoreJob() = default;

    std::atomic<int> m_progress{0};
    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::shared_ptr<const ActivityStore> m_store;
    QString m_error;
    std::thread m_thread;
};

} // namespace tallyrow
