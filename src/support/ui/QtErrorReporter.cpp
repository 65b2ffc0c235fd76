#include "support/ui/QtErrorReporter.h"

#include <QApplication>

namespace tallyrow {

QtErrorReporter::QtErrorReporter(QObject* parent) : ErrorReporter(parent) {}

QString QtErrorReporter::ReportError(bool /*flag*/, const QString& description, long number,
                                     const QString& where, long /*extra*/, const QString& activity) {
    const ErrorReportContent content{ProductName(), SupportAddress(), description, number,
                                     where,         activity,         Advice()};
    ErrorReportDialog dialog(content, QApplication::activeWindow());
    dialog.exec();
    QString answer = dialog.answer();
    if (answer == ReportAnswer::Abort)
        raiseAbort();
    return answer;
}

} // namespace tallyrow
