#include "activity/StoreJob.h"

namespace tallyrow {

StoreJob::~StoreJob() {
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

bool StoreJob::finished() const {
    std::lock_guard lock(m_mutex);
    return m_finished;
}

void StoreJob::wait() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_finished; });
}

std::shared_ptr<const ActivityStore> StoreJob::store() const {
    std::lock_guard lock(m_mutex);
    return m_store;
}

QString StoreJob::error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

bool StoreJob::cancelled() const {
    std::lock_guard lock(m_mutex);
    return m_finished && m_cancel.load() && !m_store;
}

} // namespace tallyrow
