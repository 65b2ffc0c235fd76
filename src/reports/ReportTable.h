#pragma once

#include "activity/DateRange.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <initializer_list>

namespace tallyrow {

namespace engine {
class Report;
}

/// What a table column holds, and so how each table format writes its cells.
enum class CellKind {
    Text,    ///< a name or label: written as text, guarded against formulas in CSV
    Number,  ///< a whole number; an empty cell stays empty in CSV
    Decimal, ///< a number with one decimal, such as a share in percent
    Date,    ///< a day, YYYY-MM-DD in CSV
    RowSum,  ///< the sum of the row's cells from rowSumFirst to rowSumLast; no value of its own
};

struct TableColumn {
    QString heading;
    CellKind kind = CellKind::Text;
    bool addsUp = true; ///< whether a totals row sums it (a share or a count of days does not)
};

/// The table of a report that has run, apart from its pages and from any file format: what the
/// CSV, workbook and other table writers are given. A report describes its own table; the
/// writers know no report.
struct ReportTable {
    QString documentTitle;
    QString title;           ///< the report's name, as its first page shows it
    QStringList headerLines; ///< the texts under the title that have text
    QVector<TableColumn> columns;
    QVector<QVector<QVariant>> rows; ///< one value per column; row sums are left empty
    int rowSumFirst = -1;            ///< first and last column a row sum adds up
    int rowSumLast = -1;
    int chartFirstColumn = -1; ///< the chart's series, a run of adjacent columns (-1: no chart)
    int chartLastColumn = -1;
    int chartType = 0;              ///< the report's chart-type code
    bool lastSeriesLighter = false; ///< the last series is a comparison, drawn lighter
    bool changeRow = false; ///< a change row under the totals: the first figure column against the second
    QString categoryTitle;
    QString valueTitle;
    QString report;   ///< the report's name, as --report takes it: "day"
    DateRange range;  ///< the days the report covers
    QString user;     ///< the user it covers; "" for all users
    QString computer; ///< the computer it covers; "" for any computer
};

/// A table headed as `report`'s first page: its document title, its name, then the captions of
/// `labels` that have text. The chart's type and axis titles are taken from its chart.
ReportTable tableHeadedLike(const engine::Report& report, std::initializer_list<QString> labels);

/// The sum of a table row's cells from `table.rowSumFirst` to `table.rowSumLast` (0 when the
/// table has no row sum).
double rowSum(const ReportTable& table, const QVector<QVariant>& row);

} // namespace tallyrow
