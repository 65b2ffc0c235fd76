#pragma once

#include "support/ErrorReporter.h"
#include "support/ui/ErrorReportDialog.h"

#include <QString>

namespace tallyrow {

/// The desktop program's error reporter: each report is a modal ErrorReportDialog over the
/// active window. An Abort answer raises Abort().
class QtErrorReporter final : public ErrorReporter {
    Q_OBJECT
public:
    explicit QtErrorReporter(QObject* parent = nullptr);

    ReportAnswer ReportError(const Failure& failure) override;
};

} // namespace tallyrow
