#include "shell/PreviewRequest.h"

#include "shell/ReportOptions.h"

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

std::optional<PreviewProblem> rangeProblem(const CommonReportOptions& options) {
    if (options.EndDate < options.StartDate)
        return PreviewProblem{u"The End date needs to be after the Start date."_s, PreviewOption::DateRange};
    return std::nullopt;
}

template <typename Inputs> void copyCommon(const CommonReportOptions& options, Inputs& in) {
    in.StartDate = options.StartDate;
    in.EndDate = options.EndDate;
    in.ChartType = options.ChartType;
    in.ShowDetails = options.ShowDetails;
    in.UserFilter = options.UserFilter;
    in.ComputerFilter = options.ComputerFilter;
    in.DataFile = options.DataFile;
}

template <typename Inputs> PreviewRequest<Inputs> refused(const PreviewProblem& problem) {
    PreviewRequest<Inputs> request;
    request.problem = problem;
    return request;
}

} // namespace

PreviewRequest<DayReportInputs> dayPreviewRequest(const DayReportOptions& options) {
    if (auto problem = rangeProblem(options))
        return refused<DayReportInputs>(*problem);
    if (std::none_of(options.Days.begin(), options.Days.end(), [](bool on) { return on; }))
        return refused<DayReportInputs>({u"You need to select at least one day."_s, PreviewOption::Days});
    DayReportInputs in;
    copyCommon(options, in);
    in.Days = options.Days;
    in.ShowEachDay = options.ShowEachDay;
    in.TotalType = options.TotalType;
    in.ShadeTable = options.ShadeTable;
    in.KeyFigures = options.KeyFigures;
    return {in, {}};
}

PreviewRequest<TotalsReportInputs> totalsPreviewRequest(const TotalsReportOptions& options,
                                                        const QLocale& locale) {
    if (auto problem = rangeProblem(options))
        return refused<TotalsReportInputs>(*problem);
    if (!IsNumericText(options.UnitsText, locale))
        return refused<TotalsReportInputs>(
            {u"The value entered for Units needs to be a number"_s, PreviewOption::Units});
    TotalsReportInputs in;
    copyCommon(options, in);
    in.Units = ReadUnits(options.UnitsText);
    in.Period = options.Period;
    in.ReportTimeScale = static_cast<std::int32_t>(options.Scale);
    in.Compare = options.Compare;
    return {in, {}};
}

} // namespace tallyrow
