#pragma once

#include "reports/ReportDescriptor.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tallyrow {

/// The reports the program offers, in the order menus, help and sentences list them.
class ReportCatalogue final {
public:
    /// The program's own reports.
    static const ReportCatalogue& standard();

    ReportCatalogue() = default;
    /// This catalogue with `report` added at the end.
    ReportCatalogue with(ReportDescriptor report) const;

    const std::vector<ReportDescriptor>& reports() const { return m_reports; }
    /// The report of a --report name, compared without regard to case; null for others.
    const ReportDescriptor* named(const QString& name) const;
    /// The report the window knows by `code`; null for others.
    const ReportDescriptor* withCode(int code) const;
    /// The names, "day, totals or users"; `separator` between all but the last two.
    QString nameList(const QString& separator, const QString& last) const;
    /// "the Day report only", "the Day and Users reports only": the reports that take `option`.
    QString reportsTaking(const QString& option) const;
    /// Whether some report takes `option` and others do not.
    bool isReportOption(const QString& option) const;

private:
    std::vector<ReportDescriptor> m_reports;
};

} // namespace tallyrow
