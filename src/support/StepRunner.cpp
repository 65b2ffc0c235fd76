#include "support/StepRunner.h"

#include <utility>

namespace tallyrow {

StepRunner::StepRunner(FailureHandler handler, QString where, QString activity, bool withErrorSteps)
    : m_handler(std::move(handler)), m_where(std::move(where)), m_activity(std::move(activity)),
      m_withErrorSteps(withErrorSteps) {}

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
                    QStringList steps = m_withErrorSteps ? e.steps() : QStringList();
                    if (!m_where.isEmpty())
                        steps.prepend(m_where);
                    answer = m_handler(Failure{e, steps, m_activity});
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
