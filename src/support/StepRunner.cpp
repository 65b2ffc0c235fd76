#include "support/StepRunner.h"

#include <utility>

namespace tallyrow {

StepRunner::StepRunner(FailureHandler handler, QString where, QString activity, bool appendSource)
    : m_handler(std::move(handler)), m_where(std::move(where)), m_activity(std::move(activity)),
      m_appendSource(appendSource) {}

bool StepRunner::step(const std::function<void()>& fn) {
    if (m_left)
        return false;
    for (;;) {
        try {
            fn();
            return true;
        } catch (...) {
            const Error e = currentError();
            StepAnswer answer = StepAnswer::Leave;
            // Without a handler there is nobody to ask: leave, as an unanswered report would.
            if (m_handler) {
                try {
                    answer =
                        m_handler(Failure{e, m_appendSource ? m_where + e.source() : m_where, m_activity});
                } catch (...) {
                    answer = StepAnswer::Leave; // a handler that fails itself cannot ask for a retry
                }
            }
            if (answer == StepAnswer::Retry)
                continue;
            if (answer == StepAnswer::Ignore)
                return false;
            m_left = true;
            return false;
        }
    }
}

void ignoringFailures(const std::function<void()>& fn) {
    try {
        fn();
    } catch (...) {
    }
}

} // namespace tallyrow
