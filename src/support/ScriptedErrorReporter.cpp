#include "support/ScriptedErrorReporter.h"

namespace tallyrow {

ScriptedErrorReporter::ScriptedErrorReporter(QObject* parent) : ErrorReporter(parent) {}

ReportAnswer ScriptedErrorReporter::ReportError(const Failure& failure) {
    m_calls.append(
        Call{failure.error.description(), failure.error.number(), failure.steps, failure.activity});
    const ReportAnswer answer = m_answers.isEmpty() ? m_defaultAnswer : m_answers.dequeue();
    if (answer == ReportAnswer::Abort)
        raiseAbort();
    return answer;
}

} // namespace tallyrow
