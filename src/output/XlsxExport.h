#pragma once

#include "output/ReportFormat.h"

#include <QString>

namespace tallyrow {

namespace engine {
class Report;
}
class DayReport;
class TotalsReport;
class UsersReport;

/// Writes the table of a report that has run as an Office Open XML workbook with one sheet:
/// the report's header texts in the first rows, then one table (column headings once, frozen
/// with the first column, an autofilter), a "Totals" row of SUM formulas and the report's chart
/// as a native chart beside the table.
///
/// Day report: "Time" as text, the selected weekdays Monday first, "All Days" and "Total" (a
/// SUM over the row's weekdays), whole minutes as number cells. Totals report: "Period" as date
/// cells (the period's first day; a day a workbook has no true serial for, before 1 March 1900,
/// as text "yyyy-mm-dd") and "Total" in whole units as shown, and when the report
/// compares ranges "Previous" (the paired period of the previous range) as a second series of
/// the chart. Chart kinds the format
/// lacks are written as the nearest one it has: 3D as 2D, steps as lines, a combination as
/// columns; a pie shows the first series, as the report's own pie does.
///
/// The file is replaced only once the whole workbook is written. Raises an Error naming the
/// file when it cannot be written (with the step "writing the workbook").
void writeReportXlsx(const DayReport& report, const QString& path);
void writeReportXlsx(const TotalsReport& report, const QString& path);
/// The Users report: name, total, share and active days, the largest first, with its chart.
void writeReportXlsx(const UsersReport& report, const QString& path);

/// The same for whichever of the two reports `report` is; raises an Error for any other.
void writeReportXlsx(const engine::Report& report, const QString& path);

/// Writes the table of `report` (a report that has run) to `path` in a table format: CSV or an
/// Excel workbook. Raises an Error naming the file when it cannot be written.
void writeReportTable(const engine::Report& report, ReportFormat format, const QString& path);

} // namespace tallyrow
