#include "engine/PageText.h"

#include <gtest/gtest.h>

using namespace tallyrow::engine;
using namespace Qt::StringLiterals;

namespace {

TextItem text(double left, double top, const QString& words) {
    TextItem t;
    t.rect = QRectF(left, top, 1500, 250);
    t.text = words;
    return t;
}

ChartDefinition hoursChart(const QVector<double>& values) {
    ChartDefinition chart;
    chart.chartType = ChartType::Bar2D;
    chart.axes[AxisId::Value].title = u"Active minutes per hour"_s;
    chart.axes[AxisId::Category].title = u"Time"_s;
    for (int h = 0; h < values.size(); ++h)
        chart.categories << u"%1:00"_s.arg(h);
    chart.series << ChartSeries{u"All Days"_s, values, false};
    return chart;
}

} // namespace

// A screen reader gets the page as a person reads it: the heading, then each line from left to
// right, the chart as one sentence with its largest value and where it is.
TEST(PageText, APageReadsTopToBottomAndLeftToRightWithTheChartInWords) {
    PageCollection doc;
    Page page;
    // Items in the order a report happens to place them, not the reading order.
    page.items << text(3000, 1000, u"42"_s) << text(0, 1000, u"09:00"_s)
               << text(0, 0, u"Activity by day of week"_s)
               << ChartItem{QRectF(0, 300, 9000, 600), hoursChart({0, 12.5, 47, 47, 3})}
               << text(0, 1300, u"10:00"_s) << text(3000, 1300, u"  7 "_s);
    doc.pages << page;
    EXPECT_EQ(
        pageReadingText(doc, 0),
        u"Activity by day of week\n"
        "2D Bar chart of Active minutes per hour by Time, 1 series; the largest is 47 (All Days, 2:00).\n"
        "09:00, 42\n"
        "10:00, 7"_s);
    EXPECT_EQ(pageReadingText(doc, 1), QString());
    EXPECT_EQ(describeChart(hoursChart({0, 0})),
              u"2D Bar chart of Active minutes per hour by Time, 1 series; every value is 0."_s);
    // A type the chart list doesn't offer still has its own name.
    ChartDefinition ranking = hoursChart({5, 3});
    ranking.chartType = ChartType::HorizontalBar2D;
    EXPECT_TRUE(describeChart(ranking).startsWith(u"2D Horizontal Bar chart of Active minutes"_s));
}
