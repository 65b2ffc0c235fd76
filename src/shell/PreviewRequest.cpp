#include "shell/PreviewRequest.h"

#include "shell/ReportOptions.h"

#include "reports/TotalsQuery.h"
#include "support/Error.h"

#include <algorithm>
#include <limits>
#include <utility>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

template <typename Inputs> std::optional<PreviewProblem> rangeProblem(const Inputs& in) {
    return dateRangeProblem(in.range);
}

// The periods of a Totals report must lie within the dates the calendar holds (the years 100 to
// 9999), and there must be no more of them than a report can show: a range of thousands of years
// by days would otherwise take the machine's memory before the first page.
constexpr qint64 kMostPeriods = 100'000;

std::optional<PreviewProblem> periodsProblem(const TotalsReportInputs& in) {
    const QString code = periodCode(in.period);
    const qint64 units = std::max(in.units, 1);
    const qint64 unitDays = code == u"YYYY"_s ? 365 : code == u"M"_s ? 28 : code == u"WW"_s ? 7 : 1;
    const qint64 estimate = in.range.days() / (units * unitDays);
    if (estimate > kMostPeriods)
        return PreviewProblem{
            u"This range holds about %1 periods, and a report shows at most %2: choose longer "
            "periods or a shorter range."_s.arg(estimate)
                .arg(kMostPeriods),
            PreviewOption::Units};
    try {
        const QVector<PeriodSpan> periods = totalsPeriods(in.range, code, std::int32_t(units));
        if (in.compare)
            previousPeriods(periods, in.range, code, std::int32_t(units));
    } catch (const Error&) {
        return PreviewProblem{
            u"The periods of this range reach beyond the dates the calendar holds (1 January 100 "
            "to 31 December 9999): choose a range or periods within them."_s,
            PreviewOption::DateRange};
    }
    return std::nullopt;
}

template <typename Inputs> PreviewRequest<Inputs> refused(const PreviewProblem& problem) {
    PreviewRequest<Inputs> request;
    request.problem = problem;
    return request;
}

} // namespace

std::optional<PreviewProblem> dateRangeProblem(const DateRange& range) {
    if (range.end < range.start)
        return PreviewProblem{u"The End date needs to be after the Start date."_s, PreviewOption::DateRange};
    return std::nullopt;
}

PreviewRequest<DayReportInputs> dayPreviewRequest(const DayReportInputs& inputs) {
    if (auto problem = rangeProblem(inputs))
        return refused<DayReportInputs>(*problem);
    if (inputs.days.isEmpty())
        return refused<DayReportInputs>({u"You need to select at least one day."_s, PreviewOption::Days});
    return {inputs, {}};
}

PreviewRequest<UsersReportInputs> usersPreviewRequest(const UsersReportInputs& inputs) {
    if (auto problem = rangeProblem(inputs))
        return refused<UsersReportInputs>(*problem);
    if (inputs.days.isEmpty())
        return refused<UsersReportInputs>({u"You need to select at least one day."_s, PreviewOption::Days});
    return {inputs, {}};
}

std::variant<std::int32_t, PreviewProblem> typedUnits(const QString& text, const QLocale& locale) {
    if (!isNumericText(text, locale))
        return PreviewProblem{
            u"The value entered for \"Show total activity in groups of\" needs to be a number"_s,
            PreviewOption::Units};
    try {
        return ReadUnits(text);
    } catch (const Error&) {
        return PreviewProblem{
            u"The value entered for \"Show total activity in groups of\" is too large: enter "
            "a whole number up to %1."_s.arg(locale.toString(std::numeric_limits<std::int32_t>::max())),
            PreviewOption::Units};
    }
}

PreviewRequest<TotalsReportInputs> totalsPreviewRequest(const TotalsReportInputs& inputs) {
    if (auto problem = rangeProblem(inputs))
        return refused<TotalsReportInputs>(*problem);
    if (auto problem = periodsProblem(inputs))
        return refused<TotalsReportInputs>(*problem);
    return {inputs, {}};
}

} // namespace tallyrow
