#include "reports/UsersReportDescriptor.h"

#include "reports/UsersReport.h"

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

UsersReportInputs usersInputs(const ReportSettings& s) {
    UsersReportInputs in;
    in.range = s.range;
    in.days = s.days;
    in.grouping = s.by;
    in.showDetails = s.details;
    in.userFilter = s.user;
    in.computerFilter = s.computer;
    in.timeScale = s.timeScale;
    return in;
}

// A line of the table or a bar of the chart opens the Day or the Totals report for that person
// over the same range. The chart's last bar sums the lines after its first ones as "Others" and
// leads nowhere.
QVector<DrillTarget> personTargets(const engine::Report& shown, const QString& item, int ordinal,
                                   const DateRange& range) {
    const auto* users = qobject_cast<const UsersReport*>(&shown);
    const std::size_t lines = users->people().size();
    if (item == u"txtPeriod"_s || ordinal < 0 || std::size_t(ordinal) >= lines)
        return {};
    if (item == u"chart"_s && ordinal >= UsersReport::kChartLines &&
        lines > std::size_t(UsersReport::kChartLines) + 1)
        return {};
    const PersonTotal& person = users->people()[std::size_t(ordinal)];
    const QString who = personName(person, users->inputs().grouping);
    DrillTarget day{u"Day report for %1"_s.arg(who),
                    u"miDrillDay"_s,
                    u"day"_s,
                    range,
                    true,
                    person.user,
                    person.computer};
    DrillTarget totals{u"Totals report for %1"_s.arg(who),
                       u"miDrillTotals"_s,
                       u"totals"_s,
                       range,
                       true,
                       person.user,
                       person.computer,
                       u"Days"_s};
    return {day, totals};
}

bool noActivity(const engine::Report& shown) {
    return qobject_cast<const UsersReport*>(&shown)->people().empty();
}

} // namespace

PreviewRequest<UsersReportInputs> usersPreviewRequest(const UsersReportInputs& inputs) {
    if (auto problem = dateRangeProblem(inputs.range))
        return PreviewRequest<UsersReportInputs>::refused(*problem);
    if (auto problem = noWeekdayProblem(inputs.days.isEmpty()))
        return PreviewRequest<UsersReportInputs>::refused(*problem);
    return {inputs, {}};
}

const ReportDescriptor& usersReportDescriptor() {
    static const ReportDescriptor users = [] {
        ReportDescriptor d;
        d.name = u"users"_s;
        d.title = u"Users"_s;
        d.code = 2;
        d.options = {u"days"_s, u"scale"_s, u"by"_s};
        d.help = QStringLiteral(
            "Users report (also takes --days and --scale):\n"
            "  --by user|computer|pair  a line per user, per computer or per user on a computer\n"
            "                           (default user): active time, share and active days, the\n"
            "                           largest first\n");
        d.defaultChart = engine::ChartType::Bar2D;
        // The ranking is drawn as horizontal bars, a type the chart list does not offer.
        d.choosesChart = false;
        d.menuName = u"mnuReportsUsers"_s;
        d.menuCaption = u"&Users Report"_s;
        d.heading = u"Active time per user"_s;
        d.prepare = [](const ReportSettings& s, std::shared_ptr<ActivitySource> source) {
            return preparedFrom<UsersReport>(usersPreviewRequest(usersInputs(s)), std::move(source));
        };
        d.drillDown = personTargets;
        d.foundNothing = noActivity;
        return d;
    }();
    return users;
}

} // namespace tallyrow
