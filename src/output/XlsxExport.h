#pragma once

#include "output/ReportFormat.h"

#include <QString>

namespace tallyrow {

namespace engine {
class Report;
}
struct ReportTable;

/// Writes the table of a report that has run as an Office Open XML workbook with one sheet:
/// the report's header texts in the first rows, then one table (column headings once, frozen
/// with the first column, an autofilter), a "Totals" row of SUM formulas over the columns that
/// add up (a "Change" row under it when the table compares), and the report's chart as a native
/// chart beside the table.
///
/// Text cells as text, numbers as number cells, dates as date cells (a day a workbook has no
/// true serial for, before 1 March 1900, as text "yyyy-mm-dd"), a row sum as a SUM formula over
/// the row. Chart kinds the format lacks are written as the nearest one it has: 3D as 2D, steps
/// as lines, a combination as columns; a pie shows the first series, as the report's own pie
/// does.
///
/// The file is replaced only once the whole workbook is written. Raises an Error naming the
/// file when it cannot be written (with the step "writing the workbook").
void writeReportXlsx(const ReportTable& table, const QString& path);

/// The same for the table of `report`; raises an Error for a report without one.
void writeReportXlsx(const engine::Report& report, const QString& path);

} // namespace tallyrow
