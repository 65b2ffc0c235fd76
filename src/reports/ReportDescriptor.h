#pragma once

#include "activity/DateRange.h"
#include "engine/Report.h"
#include "reports/PreviewCheck.h"
#include "reports/ReportSettings.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tallyrow {

class ActivitySource;

/// A report ready to run, or why the settings were refused.
struct PreparedReport {
    std::unique_ptr<engine::Report> report; ///< null when refused
    PreviewProblem problem;                 ///< meaningful when `report` is null
};

/// Where a click on a shown report can lead: another report over a range, for a person.
struct DrillTarget {
    QString caption;    ///< the menu item: "Day report for this period"
    QString objectName; ///< the menu item's name: "miDrillDay"
    QString report;     ///< the name of the report it opens
    DateRange range;
    /// The line clicked is one person's: the list entry of `user` on `computer` (nothing: all
    /// users, any computer) is chosen. Otherwise the chosen entry stays.
    bool forPerson = false;
    std::optional<QString> user;
    std::optional<QString> computer;
    QString period; ///< the period list's entry to show, with one unit each ("" keeps them)
};

/// Everything the program knows of one report, in one place: the tool, the window, the preview
/// check and the table writers loop over these and never name a report.
struct ReportDescriptor {
    QString name;  ///< as --report takes it: "day"
    QString title; ///< as sentences name it: "Day" ("the Day report")
    /// The code the window knows the report by (settings and callers rely on it).
    int code = 0;
    /// The tool's options that apply to this report beyond those every report takes.
    QStringList options;
    /// The report's part of the tool's help text, its heading line first.
    QString help;
    std::int32_t defaultChart = 1; ///< the chart-type code the report is set up with
    bool choosesChart = true;      ///< whether the chart type can be chosen
    QString menuName;              ///< the Reports menu item's name: "mnuReportsDay"
    QString menuCaption;           ///< "&Day Report"
    QString heading;               ///< the window's title over the options: "Activity by day of week"

    /// Checks `settings` as the window's Preview and the tool check them, and makes the report
    /// that reads `source`.
    std::function<PreparedReport(const ReportSettings& settings, std::shared_ptr<ActivitySource> source)>
        prepare;
    /// Where a click on the item `item` (its `ordinal`-th occurrence) of `shown`, a report of this
    /// kind that has run over `range`, can lead; none when the item leads nowhere.
    std::function<QVector<DrillTarget>(const engine::Report& shown, const QString& item, int ordinal,
                                       const DateRange& range)>
        drillDown;
    /// Whether `shown`, a report of this kind that has run and read its data, found no activity.
    std::function<bool(const engine::Report& shown)> foundNothing;
};

/// Makes a report of type `Report` from inputs a check accepted, or passes the refusal on.
template <typename Report, typename Inputs>
PreparedReport preparedFrom(const PreviewRequest<Inputs>& request, std::shared_ptr<ActivitySource> source) {
    if (!request.inputs)
        return {nullptr, request.problem};
    auto report = std::make_unique<Report>();
    report->setInputs(*request.inputs);
    report->setSource(std::move(source));
    return {std::move(report), {}};
}

} // namespace tallyrow
