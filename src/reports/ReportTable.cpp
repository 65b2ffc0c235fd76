#include "reports/ReportTable.h"

#include "engine/Report.h"

using namespace Qt::StringLiterals;

namespace tallyrow {

ReportTable tableHeadedLike(const engine::Report& report, std::initializer_list<QString> labels) {
    // The report's lookups are not const; reading a caption or the chart changes nothing.
    auto& shown = const_cast<engine::Report&>(report);
    const auto captionOf = [&](const QString& name) {
        const engine::Label* l = shown.label(name);
        return l ? l->caption : QString();
    };
    ReportTable table;
    table.documentTitle = report.documentTitle;
    table.title = captionOf(u"lblReportName"_s);
    for (const QString& name : labels) {
        const QString text = captionOf(name);
        if (!text.isEmpty())
            table.headerLines << text;
    }
    if (engine::Chart* c = shown.chart(u"chrtReport"_s)) {
        table.chartType = c->definition.chartType;
        table.categoryTitle = c->Axis(engine::AxisId::Category).title;
        table.valueTitle = c->Axis(engine::AxisId::Value).title;
    } else {
        table.chartType = engine::ChartType::Bar2D;
    }
    return table;
}

double rowSum(const ReportTable& table, const QVector<QVariant>& row) {
    double sum = 0;
    for (int c = table.rowSumFirst; c >= 0 && c <= table.rowSumLast; ++c)
        sum += row.value(c).toDouble();
    return sum;
}

} // namespace tallyrow
