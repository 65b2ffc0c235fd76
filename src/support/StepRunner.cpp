#include "support/StepRunner.h"

#include "support/Error.h"
#include "support/ErrorReporter.h"

#include <utility>

namespace tallyrow {

StepRunner::StepRunner(ErrorReporter* reporter, QString where, QString activity, bool appendSource)
    : m_reporter(reporter), m_where(std::move(where)), m_activity(std::move(activity)),
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
            QString answer;
            // Without a reporter there is nobody to ask: leave, as an unanswered report would.
            if (m_reporter) {
                try {
                    const QString where = m_appendSource ? m_where + e.source() : m_where;
                    answer = m_reporter->ReportError(e, where, m_activity);
                } catch (...) {
                    answer.clear(); // a reporter that fails itself cannot ask for a retry
                }
            }
            if (answer == ReportAnswer::Retry)
                continue;
            if (answer == ReportAnswer::Ignore)
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
