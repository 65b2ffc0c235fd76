#include "support/ErrorReporter.h"

#include <QPointer>

namespace tallyrow {

ErrorReporter::ErrorReporter(QObject* parent) : QObject(parent) {}

ErrorReporter::~ErrorReporter() = default;

FailureHandler askThrough(ErrorReporter* reporter) {
    if (!reporter)
        return {};
    return [shown = QPointer<ErrorReporter>(reporter)](const Failure& f) {
        if (!shown)
            return StepAnswer::Leave;
        switch (shown->ReportError(f)) {
        case ReportAnswer::Retry:
            return StepAnswer::Retry;
        case ReportAnswer::Ignore:
            return StepAnswer::Ignore;
        case ReportAnswer::Leave:
        case ReportAnswer::Abort:
            break;
        }
        return StepAnswer::Leave;
    };
}

void ErrorReporter::raiseAbort() {
    m_aborted = true;
    Q_EMIT Abort();
}

} // namespace tallyrow
