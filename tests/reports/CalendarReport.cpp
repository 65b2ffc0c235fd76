#include "CalendarReport.h"

#include "reports/LayoutHelpers.h"

using namespace Qt::StringLiterals;

namespace tallyrow::test {

CalendarReport::CalendarReport(QObject* parent) : engine::Report(parent) {
    ReportHeader().height = 600;
    layout::addLabel(ReportHeader(), u"lblReportName"_s, u"Calendar"_s, QRectF(71, 0, 4500, 496), 15);
    Detail().height = 330;
    layout::addField(Detail(), u"txtDay"_s, u"Day"_s, QRectF(142, 0, 2000, 283), 11);
    layout::addField(Detail(), u"txtDate"_s, u"Date"_s, QRectF(2300, 0, 1000, 283), 11);
}

void CalendarReport::onReportStart() {
    documentTitle = u"Calendar"_s;
    setDataSource(tableRows());
    m_hasTable = true;
}

engine::RowSet CalendarReport::tableRows() const {
    engine::RowSet rows;
    rows.appendColumn(u"Day"_s, engine::RowSet::Type::Text);
    rows.appendColumn(u"Date"_s, engine::RowSet::Type::Double);
    for (QDate d = m_settings.range.start; d <= m_settings.range.end; d = d.addDays(1)) {
        if (m_settings.days.contains(Qt::DayOfWeek(d.dayOfWeek())))
            rows.appendRow({d.toString(u"dddd"_s), double(d.day())});
    }
    rows.toFirst();
    rows.commit();
    return rows;
}

ReportTable CalendarReport::table() const {
    ReportTable table = tableHeadedLike(*this, {});
    table.columns = {{u"Day"_s, CellKind::Text}, {u"Date"_s, CellKind::Number}};
    const engine::RowSet rows = tableRows();
    for (int r = 0; r < rows.rowCount(); ++r)
        table.rows.append({rows.value(r, 0), rows.value(r, 1)});
    return table;
}

ReportDescriptor CalendarReport::descriptor() {
    ReportDescriptor d;
    d.name = u"calendar"_s;
    d.title = u"Calendar"_s;
    d.code = 99;
    d.options = {u"days"_s};
    d.help = u"Calendar report:\n  (the days of the range)\n"_s;
    d.prepare = [](const ReportSettings& s, std::shared_ptr<ActivitySource> source) {
        if (s.days.isEmpty())
            return PreparedReport{nullptr, {u"No day chosen."_s, PreviewOption::Days}};
        auto report = std::make_unique<CalendarReport>();
        report->setInputs(s);
        report->setSource(std::move(source));
        return PreparedReport{std::move(report), {}};
    };
    d.drillDown = [](const engine::Report&, const QString&, int, const DateRange&) {
        return QVector<DrillTarget>();
    };
    d.foundNothing = [](const engine::Report&) { return false; };
    return d;
}

} // namespace tallyrow::test
