#pragma once

#include "engine/Report.h"
#include "reports/DayQuery.h"
#include "reports/TableReport.h"

#include <QDate>
#include <QString>

#include <cstdint>
#include <memory>

namespace tallyrow {

class StepRunner;
class ActivitySource;

/// The Day report ("Activity by day of week"): for each hour of the day and each selected
/// weekday, the average, total, maximum or minimum of the active minutes over a date range,
/// with an "All Days" column, row and footer totals and a chart. One object serves one run:
/// set the inputs, then run it (the viewer, the command-line tool or Run()).
class DayReport final : public engine::Report, public TableReport {
    Q_OBJECT
public:
    explicit DayReport(QObject* parent = nullptr);
    ~DayReport() override;

    /// The inputs of the next run, all at once; the range on its own.
    const DayReportInputs& inputs() const { return m_in; }
    void setInputs(const DayReportInputs& inputs) { m_in = inputs; }
    DateRange range() const { return m_in.range; }
    void setRange(const DateRange& range) { m_in.range = range; }

    /// What a run reads its figures from; without one it reads nothing (and says it cannot
    /// open a connection).
    void setSource(std::shared_ptr<ActivitySource> source) { m_source = std::move(source); }

    // Results of the last run
    /// True once the run has read the data (false when no connection could be opened).
    bool hasTable() const override { return m_hasTable; }
    /// Seconds per hour and weekday remainder (column 7: mean of the selected weekdays).
    const HourGrid& hourGrid() const { return m_grid; }
    /// The table as the Detail section shows it whether or not ShowDetails is set: "Time",
    /// the selected weekdays Monday first, "All Days"; 24 rows in whole minutes; no rows when
    /// the run did not read the data.
    engine::RowSet tableRows() const override;
    ReportTable table() const override;
    /// The chart's row set of the last run.
    const engine::RowSet& chartRows() const { return m_chartRows; }

protected:
    void onReportStart() override;
    void onDetailFormat() override;
    void onReportFooterFormat() override;
    bool Error(const tallyrow::Error& error) override;

private:
    void buildDefinition();
    void buildReportHeader(const QString& title);
    void buildPageHeader(const QString& title);
    void buildDetail();
    void buildFooters();
    void buildKeyFigures(engine::Section& header);
    void buildShadeLegend(engine::Section& footer);
    /// The grid the source gives for `in`.
    HourGrid readGrid(const DayReportInputs& in) const;
    /// The totals of the range and of the previous range, for the key figures.
    /// Greys the headings of the weekdays left out and hides their totals; the number counted.
    int greyUnselectedWeekdays();
    /// What a run left by the user leaves behind: no rows, no table, the connection closed.
    void abandonRun();
    void readKeyFigureGrids();
    /// Shows the shading legend and the key figures the inputs ask for.
    void showHighlights();
    /// Shades a table cell by its value (an empty cell stays white).
    void shadeCell(engine::Field& cell, double value);
    /// The figure in column `column` of row `row` of the table (0 where there is none).
    double tableValue(int row, const QString& column) const;
    /// The steps that hand the grid of a run to the table and the chart.
    void bindResults(StepRunner& run);
    void setHeaderText(const QString& reportLabel, const QString& pageLabel, const QString& text);

    DayReportInputs m_in;
    HourGrid m_grid{};
    bool m_hasTable = false;
    engine::RowSet m_chartRows;
    engine::RowSet m_detailRows;
    HourGrid m_totalsGrid{};
    HourGrid m_previousTotalsGrid{};
    std::int32_t m_shadeMaximum = 0;
    std::shared_ptr<ActivitySource> m_source;
};

} // namespace tallyrow
