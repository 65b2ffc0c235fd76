#include "support/ui/QtErrorReporter.h"

#include <QApplication>

namespace tallyrow {

QtErrorReporter::QtErrorReporter(QObject* parent) : ErrorReporter(parent) {}

ReportAnswer QtErrorReporter::ReportError(const Failure& failure) {
    const ErrorReportContent content{ProductName(),
                                     SupportAddress(),
                                     failure.error.description(),
                                     failure.error.number(),
                                     failure.steps,
                                     failure.activity,
                                     Advice()};
    ErrorReportDialog dialog(content, QApplication::activeWindow());
    dialog.exec();
    const ReportAnswer answer = dialog.answer();
    if (answer == ReportAnswer::Abort)
        raiseAbort();
    return answer;
}

} // namespace tallyrow
