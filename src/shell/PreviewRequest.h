#pragma once

#include "activity/DateRange.h"
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

/// The problem of a range that ends before it starts; nothing for a sound one. Every request
/// checks it first.
std::optional<PreviewProblem> dateRangeProblem(const DateRange& range);

/// Checks the Day report's inputs as the window or the tool set them: the range must not end
/// before it starts; at least one weekday must count.
PreviewRequest<DayReportInputs> dayPreviewRequest(const DayReportInputs& inputs);

/// The units typed in the window's box: a number in `locale`, rounded to a whole one; the problem
/// to show, naming the box by its label, when the text is no number or does not fit a 32-bit
/// integer.
std::variant<std::int32_t, PreviewProblem> typedUnits(const QString& text, const QLocale& locale);

/// Checks the Totals report's inputs: the range must not end before it starts; the periods must
/// fit the calendar and a report.
PreviewRequest<TotalsReportInputs> totalsPreviewRequest(const TotalsReportInputs& inputs);

/// Checks the Users report's inputs as the Day report's are checked (the range must not end
/// before it starts; at least one weekday must count).
PreviewRequest<UsersReportInputs> usersPreviewRequest(const UsersReportInputs& inputs);

} // namespace tallyrow
