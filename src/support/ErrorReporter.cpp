#include "support/ErrorReporter.h"

#include "support/Error.h"

#include <QPointer>

namespace tallyrow {

ErrorReporter::ErrorReporter(QObject* parent) : QObject(parent) {}

ErrorReporter::~ErrorReporter() = default;

QString ErrorReporter::ReportError(const Error& e, const QString& where, const QString& activity) {
    return ReportError(true, e.description(), e.number(), where, 0, activity);
}

FailureHandler askThrough(ErrorReporter* reporter) {
    if (!reporter)
        return {};
    return [shown = QPointer<ErrorReporter>(reporter)](const Failure& f) {
        if (!shown)
            return StepAnswer::Leave;
        const QString answer = shown->ReportError(f.error, f.where, f.activity);
        if (answer == ReportAnswer::Retry)
            return StepAnswer::Retry;
        if (answer == ReportAnswer::Ignore)
            return StepAnswer::Ignore;
        return StepAnswer::Leave;
    };
}

void ErrorReporter::raiseAbort() {
    m_aborted = true;
    Q_EMIT Abort();
}

} // namespace tallyrow
