#pragma once

#include "activity/WeekdaySet.h"

#include "reports/DayQuery.h"
#include "reports/TotalsQuery.h"
#include "reports/UsersReport.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <variant>

namespace tallyrow {

/// The options both reports share, as plain values.
struct CommonReportOptions {
    QDate StartDate;
    QDate EndDate;
    std::int32_t ChartType = engine::ChartType::Line2D;
    bool ShowDetails = false;
    QString UserFilter;     ///< "" = all users
    QString ComputerFilter; ///< "" = any computer
    QString DataFile;       ///< the data file or server URI the report reads
};

/// The Day report's options. `Days` holds the weekdays that count, Monday first: a weekday
/// the date range does not contain must already be false.
struct DayReportOptions : CommonReportOptions {
    WeekdaySet Days = WeekdaySet::all();
    DayColumns ShowEachDay = DayColumns::Average;
    DayFigure TotalType = DayFigure::Average;
    bool ShadeTable = false; ///< shade the table's cells by their value
    bool KeyFigures = false; ///< the key-figures band under the chart
};

/// The Totals report's options.
struct TotalsReportOptions : CommonReportOptions {
    std::int32_t Units = 1;
    TotalsPeriod Period = TotalsPeriod::Days;
    TimeScale Scale = TimeScale::Minutes;
    bool Compare = false; ///< also show the previous range of the same length
};

/// The option a refused request points the user to.
enum class PreviewOption { DateRange, Units, Days };

/// Why a request was refused: the message to show and the option to bring into focus.
struct PreviewProblem {
    QString message;
    PreviewOption focus = PreviewOption::DateRange;
};

/// Either the report's inputs or the reason there are none.
template <typename Inputs> struct PreviewRequest {
    std::optional<Inputs> inputs;
    PreviewProblem problem; ///< meaningful when `inputs` is empty
};

/// Checks the Day report's options (the range must not end before it starts; at least one
/// weekday must count) and turns them into the report's inputs.
PreviewRequest<DayReportInputs> dayPreviewRequest(const DayReportOptions& options);

/// The units typed in the window's box: a number in `locale`, rounded to a whole one; the problem
/// to show when the text is no number. Units that do not fit a 32-bit integer raise Error
/// (Overflow), as ReadUnits does.
std::variant<std::int32_t, PreviewProblem> typedUnits(const QString& text, const QLocale& locale);

/// Checks the Totals report's options (the range must not end before it starts; the periods
/// must fit the calendar and a report) and turns them into the report's inputs.
PreviewRequest<TotalsReportInputs> totalsPreviewRequest(const TotalsReportOptions& options);

/// Checks the Users report's inputs as the Day report's are checked (the range must not end
/// before it starts; at least one weekday must count).
PreviewRequest<UsersReportInputs> usersPreviewRequest(const UsersReportInputs& inputs);

} // namespace tallyrow
