#pragma once

#include "activity/WeekdaySet.h"

#include "activity/ActivityQuery.h"
#include "activity/DateRange.h"
#include "engine/ChartDefinition.h"
#include "engine/Report.h"
#include "reports/TableReport.h"
#include "reports/TotalsQuery.h"

#include <QDate>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <memory>

namespace tallyrow {

class ActivitySource;
class StepRunner;

/// What the Users report is run with.
struct UsersReportInputs {
    DateRange range; ///< the days the report covers
    /// The weekdays whose rows count, Monday first; none selected counts every weekday.
    WeekdaySet days = WeekdaySet::all();
    PeopleGrouping grouping = PeopleGrouping::User;
    bool showDetails = false;
    QString userFilter;     ///< "" = all users
    QString computerFilter; ///< "" = any computer
    TimeScale timeScale = TimeScale::Minutes;
};

/// The question the Users report asks of the data.
ActivityQuery usersQuery(const UsersReportInputs& inputs);
/// A line's name as the report shows it: "anna", "OFFICE1" or "anna on OFFICE1"; a missing
/// name reads "(no name)".
QString personName(const PersonTotal& person, PeopleGrouping by);

/// The Users report ("Active time per user"): who was active in the range, and how much, the
/// largest first, each with the share of the whole and the number of active days; a horizontal
/// bar chart of the largest, top down, with the rest summed as "Others". One object serves one run.
class UsersReport final : public engine::Report, public TableReport {
    Q_OBJECT
public:
    /// Lines the chart shows before it sums the rest as "Others".
    static constexpr int kChartLines = 10;

    explicit UsersReport(QObject* parent = nullptr);
    ~UsersReport() override;

    const UsersReportInputs& inputs() const { return m_in; }
    void setInputs(const UsersReportInputs& inputs) { m_in = inputs; }
    void setSource(std::shared_ptr<ActivitySource> source) { m_source = std::move(source); }

    /// The lines of the last run, the largest first (empty without a source).
    const std::vector<PersonTotal>& people() const { return m_people; }
    bool hasTable() const override { return m_hasTable; }
    /// "Name", "Total" (whole units), "Share" (percent of the whole, one decimal), "Days".
    engine::RowSet tableRows() const override;
    ReportTable table() const override;

protected:
    void onReportStart() override;
    bool Error(const tallyrow::Error& error) override;

private:
    void buildDefinition();
    void fillRows();
    /// The chart's lines: the largest people, the rest summed as "Others".
    void fillChart();

    UsersReportInputs m_in;
    std::shared_ptr<ActivitySource> m_source;
    std::vector<PersonTotal> m_people;
    std::int64_t m_wholeSeconds = 0;
    engine::RowSet m_rows;
    bool m_hasTable = false;
};

} // namespace tallyrow
