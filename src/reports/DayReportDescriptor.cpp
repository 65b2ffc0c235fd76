#include "reports/DayReportDescriptor.h"

#include "reports/DayReport.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

DayReportInputs dayInputs(const ReportSettings& s) {
    DayReportInputs in;
    in.range = s.range;
    in.chartType = s.chartType;
    in.showDetails = s.details;
    in.userFilter = s.user;
    in.computerFilter = s.computer;
    in.dataFile = s.dataFile;
    in.days = s.days;
    in.columns = s.showEachDay;
    in.figure = s.totalType;
    in.shadeTable = s.heatMap;
    in.keyFigures = s.keyFigures;
    return in;
}

bool noActivity(const engine::Report& shown) {
    const auto* day = qobject_cast<const DayReport*>(&shown);
    const HourGrid& grid = day->hourGrid();
    return std::all_of(grid.begin(), grid.end(), [](const auto& hour) {
        return std::all_of(hour.begin(), hour.end(), [](double seconds) { return seconds == 0; });
    });
}

} // namespace

PreviewRequest<DayReportInputs> dayPreviewRequest(const DayReportInputs& inputs) {
    if (auto problem = dateRangeProblem(inputs.range))
        return PreviewRequest<DayReportInputs>::refused(*problem);
    if (auto problem = noWeekdayProblem(inputs.days.isEmpty()))
        return PreviewRequest<DayReportInputs>::refused(*problem);
    return {inputs, {}};
}

const ReportDescriptor& dayReportDescriptor() {
    static const ReportDescriptor day = [] {
        ReportDescriptor d;
        d.name = u"day"_s;
        d.title = u"Day"_s;
        d.code = 1;
        d.options = {u"days"_s,  u"aggregate"_s, u"chart-shows"_s,
                     u"chart"_s, u"heat-map"_s,  u"key-figures"_s};
        d.help = QStringLiteral(
            "Day report:\n"
            "  --days mon,tue,wed,thu,fri,sat,sun\n"
            "                           weekdays to include (default all seven), taken as given\n"
            "  --aggregate average|total|maximum|minimum   over the range (default average)\n"
            "  --chart-shows average|each|both             the chart shows the average of the selected\n"
            "                           days, each day separately, or both (default average)\n"
            "  --heat-map               shade the table's cells by their value (with --details)\n"
            "  --key-figures            busiest hour and weekday, active hours and the change against\n"
            "                           the previous range, under the chart\n");
        d.defaultChart = engine::ChartType::Bar2D;
        d.menuName = u"mnuReportsDay"_s;
        d.menuCaption = u"&Day Report"_s;
        d.heading = u"Activity by day of week"_s;
        d.prepare = [](const ReportSettings& s, std::shared_ptr<ActivitySource> source) {
            return preparedFrom<DayReport>(dayPreviewRequest(dayInputs(s)), std::move(source));
        };
        d.drillDown = [](const engine::Report&, const QString&, int, const DateRange&) {
            return QVector<DrillTarget>();
        };
        d.foundNothing = noActivity;
        return d;
    }();
    return day;
}

} // namespace tallyrow
