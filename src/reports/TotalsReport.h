#pragma once

#include "engine/Report.h"
#include "reports/TableReport.h"
#include "reports/TotalsQuery.h"

#include <QDate>
#include <QString>
#include <QVector>

#include <cstdint>
#include <memory>

namespace tallyrow {

class StepRunner;
class ActivitySource;

/// The Totals report ("Total activity"): the active time in seconds, minutes or hours, cut into
/// consecutive periods of n days, weeks, months or years, one row per period, a grand total and
/// a chart. One object serves one run.
class TotalsReport final : public engine::Report, public TableReport {
    Q_OBJECT
public:
    explicit TotalsReport(QObject* parent = nullptr);
    ~TotalsReport() override;

    /// The inputs of the next run, all at once; the range on its own.
    const TotalsReportInputs& inputs() const { return m_in; }
    void setInputs(const TotalsReportInputs& inputs) { m_in = inputs; }
    DateRange range() const { return m_in.range; }
    void setRange(const DateRange& range) { m_in.range = range; }

    /// What a run reads its figures from (every period in one question); without one the report
    /// has no rows.
    void setSource(std::shared_ptr<ActivitySource> source) { m_source = std::move(source); }

    // Results of the last run
    struct PeriodTotal {
        QDate start;      ///< the period's first day
        double total = 0; ///< in the time scale's unit, with its fraction
        qint64 shown = 0; ///< rounded to whole units, halves to even
    };
    /// One entry per period, in time order (empty without a connection).
    const QVector<PeriodTotal>& periodTotals() const { return m_totals; }
    /// With Compare: the periods of the previous range, paired by position with periodTotals()
    /// (empty otherwise).
    const QVector<PeriodTotal>& previousTotals() const { return m_previous; }
    /// The row set bound to the table and the chart ("Period", "Total", and with Compare
    /// "Previous").
    const engine::RowSet& rows() const { return m_rows; }
    bool hasTable() const override { return m_hasTable; }
    /// The table of the last run: "Period" (first day, YYYY-MM-DD), "Total" (whole units) and
    /// with Compare "Previous" (the paired period's whole units).
    engine::RowSet tableRows() const override;
    ReportTable table() const override;
    /// The periods of the last run (and with Compare those of the previous range), as asked of
    /// the source.
    const QVector<PeriodSpan>& periods() const { return m_periods; }

protected:
    void onReportStart() override;
    bool Error(const tallyrow::Error& error) override;

private:
    void buildDefinition();
    /// The steps before the data is read: header texts, the period code and units, the time
    /// scale's divisor and axis title, the empty row set.
    void prepareRun(StepRunner& run, int& divisor);
    /// The steps that hand the rows of a run to the table and the chart.
    void bindResults(StepRunner& run);
    /// The totals of `periods` from the source, in the time scale's unit.
    QVector<PeriodTotal> totalsOf(const QVector<PeriodSpan>& periods, int divisor);
    /// The table's "Previous" column, the grand total beside it and the change in percent.
    void addComparisonControls();
    void addLastPeriodNote();
    void showChange();
    /// ", compared with <first day> to <day before the start>", for the group line.
    QString previousRangeText() const;
    void fillRows();

    TotalsReportInputs m_in;
    engine::RowSet m_rows;
    QVector<PeriodTotal> m_totals;
    QVector<PeriodTotal> m_previous;
    bool m_hasTable = false;
    std::shared_ptr<ActivitySource> m_source;
    QVector<PeriodSpan> m_periods;
};

} // namespace tallyrow
