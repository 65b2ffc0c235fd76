#include "reports/TotalsReportDescriptor.h"

#include "reports/TotalsReport.h"
#include "support/Error.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

TotalsReportInputs totalsInputs(const ReportSettings& s) {
    TotalsReportInputs in;
    in.range = s.range;
    in.chartType = s.chartType;
    in.showDetails = s.details;
    in.userFilter = s.user;
    in.computerFilter = s.computer;
    in.dataFile = s.dataFile;
    in.units = s.units;
    in.period = s.period;
    in.timeScale = s.timeScale;
    in.compare = s.compare;
    return in;
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

// A period of the table or the chart opens the Day report over it, or the Totals by days.
QVector<DrillTarget> periodTargets(const engine::Report& shown, const QString& item, int ordinal,
                                   const DateRange&) {
    const auto* totals = qobject_cast<const TotalsReport*>(&shown);
    if (item == u"txtName"_s || ordinal < 0 || ordinal >= totals->periods().size())
        return {};
    const PeriodSpan period = totals->periods()[ordinal];
    const DateRange range{period.start, period.next.addDays(-1)};
    DrillTarget day{u"Day report for this period"_s, u"miDrillDay"_s, u"day"_s, range};
    DrillTarget byDays{u"Totals by days for this period"_s, u"miDrillTotals"_s, u"totals"_s, range};
    byDays.period = u"Days"_s;
    return {day, byDays};
}

bool noActivity(const engine::Report& shown) {
    const auto& totals = qobject_cast<const TotalsReport*>(&shown)->periodTotals();
    return std::all_of(totals.begin(), totals.end(), [](const auto& t) { return t.total == 0; });
}

} // namespace

PreviewRequest<TotalsReportInputs> totalsPreviewRequest(const TotalsReportInputs& inputs) {
    if (auto problem = dateRangeProblem(inputs.range))
        return PreviewRequest<TotalsReportInputs>::refused(*problem);
    if (auto problem = periodsProblem(inputs))
        return PreviewRequest<TotalsReportInputs>::refused(*problem);
    return {inputs, {}};
}

const ReportDescriptor& totalsReportDescriptor() {
    static const ReportDescriptor totals = [] {
        ReportDescriptor d;
        d.name = u"totals"_s;
        d.title = u"Totals"_s;
        d.code = 0;
        d.options = {u"units"_s, u"period"_s, u"scale"_s, u"chart"_s, u"compare"_s};
        d.help = QStringLiteral(
            "Totals report:\n"
            "  --units N                period units per period (default 1)\n"
            "  --period days|weeks|months|years            period unit (default days)\n"
            "  --scale seconds|minutes|hours               unit of the totals (default minutes)\n"
            "  --compare                also show the previous range of as many days, period by\n"
            "                           period: a lighter chart series, a \"Previous\" column and the\n"
            "                           change of the grand total in percent\n");
        d.defaultChart = engine::ChartType::Line2D;
        d.menuName = u"mnuReportsTotals"_s;
        d.menuCaption = u"&Totals Report"_s;
        d.heading = u"Total activity"_s;
        d.prepare = [](const ReportSettings& s, std::shared_ptr<ActivitySource> source) {
            return preparedFrom<TotalsReport>(totalsPreviewRequest(totalsInputs(s)), std::move(source));
        };
        d.drillDown = periodTargets;
        d.foundNothing = noActivity;
        return d;
    }();
    return totals;
}

} // namespace tallyrow
