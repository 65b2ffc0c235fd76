// Renders two sample pages of what the engine draws, as PNG files: a title page with a 3D bar
// chart and a page with a 24-row table; then the charts alone in the types whose several series
// must all stay readable (areas, 3D bars, XY by hour and by date).
// Usage: engine_sample_pages <output folder> [pixels per inch]
#include "engine/PagePainter.h"
#include "engine/Report.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <QDate>

#include <algorithm>
#include <cstdio>
#include <utility>

using namespace tallyrow::engine;
using namespace Qt::StringLiterals;

namespace {

const QStringList kDays = {u"Monday"_s, u"Tuesday"_s, u"Wednesday"_s, u"Thursday"_s, u"Friday"_s};

QString hourText(int h) {
    return u"%1:00 %2"_s.arg(h % 12 == 0 ? 12 : h % 12).arg(h < 12 ? u"AM"_s : u"PM"_s);
}

/// Minutes a plausible office worker is active in hour `h` of day `d`.
int minutes(int h, int d) {
    if (h < 7 || h > 18)
        return h == 6 || h == 19 ? (d * 3) % 7 : 0;
    if (h == 12)
        return 18 + d * 2;
    return 38 + ((h * 7 + d * 5) % 19);
}

class SampleReport : public Report {
public:
    SampleReport() {
        const QColor darkBlue(0, 0, 128), veryDarkBlue(0, 0, 64);
        ReportHeader().height = 13440;
        auto label = [](Section& s, const QString& name, const QString& caption, QRectF r, double pt,
                        QColor color = Qt::black, bool bold = false) {
            Label* l = s.add<Label>(name);
            l->caption = caption;
            l->rect = r;
            l->font.pointSize = pt;
            l->font.bold = bold;
            l->color = color;
            return l;
        };
        label(ReportHeader(), u"lblReportName"_s, u"Tallyrow Day Report"_s, {75, 0, 3405, 495}, 16, darkBlue);
        label(ReportHeader(), u"lblDateRange"_s, u"From 01/03/2004 to 31/03/2004"_s, {71, 567, 6023, 354}, 12,
              veryDarkBlue);
        label(ReportHeader(), u"lblUserName"_s, u"For user <anna> on computer <OFFICE1>"_s,
              {71, 992, 8858, 284}, 10, veryDarkBlue);
        label(ReportHeader(), u"lblReportTotalType"_s, u"Showing the average active minutes per hour"_s,
              {71, 1559, 8858, 284}, 10);
        label(ReportHeader(), u"lblSelectedDays"_s,
              u"Days selected: Monday, Tuesday, Wednesday, Thursday, Friday"_s, {71, 1843, 8858, 283}, 10);
        Chart* chart = ReportHeader().add<Chart>(u"chrtReport"_s);
        chart->rect = QRectF(75, 2415, 8925, 6795);
        chart->definition.chartType = ChartType::Bar3D;
        chart->Axis(AxisId::Value).title = u"Active minutes per hour"_s;
        chart->Axis(AxisId::Category).majorGridStyle = 0;
        chart->Axis(AxisId::Category).tickStyle = 0;
        Line* rule = ReportHeader().add<Line>(u"lnHeader"_s);
        rule->from = QPointF(71, 9400);
        rule->to = QPointF(9000, 9400);

        PageHeader().height = 2760;
        label(PageHeader(), u"lblPageReportName"_s, u"Tallyrow Day Report"_s, {75, 0, 3405, 495}, 16);
        label(PageHeader(), u"lblPageDateRange"_s, u"From 01/03/2004 to 31/03/2004"_s, {71, 567, 6023, 354},
              12);
        label(PageHeader(), u"lblUserNamePage"_s, u"For user <anna> on computer <OFFICE1>"_s,
              {71, 992, 8858, 284}, 10);
        label(PageHeader(), u"lblPageReportTotalType"_s, u"Showing the average active minutes per hour"_s,
              {71, 1488, 8858, 284}, 10);
        label(PageHeader(), u"lblPageSelectedDays"_s,
              u"Days selected: Monday, Tuesday, Wednesday, Thursday, Friday"_s, {71, 1772, 8858, 283}, 10);
        const QStringList headings = {u"Time"_s, u"Mon"_s, u"Tue"_s, u"Wed"_s, u"Thu"_s,
                                      u"Fri"_s,  u"Sat"_s, u"Sun"_s, u"Avg"_s, u"Total"_s};
        const double lefts[] = {142, 1276, 2055, 2835, 3614, 4394, 5173, 5953, 6874, 7795};
        const double widths[] = {992, 708, 709, 708, 709, 708, 709, 708, 709, 992};
        for (int i = 0; i < headings.size(); ++i) {
            Label* l = label(PageHeader(), u"lblCol%1"_s.arg(i), headings.at(i),
                             {lefts[i], 2268, widths[i] - (i == 0 ? 0 : 90), 283}, 11,
                             i == 6 || i == 7 ? QColor(127, 127, 127) : QColor(Qt::black), true);
            l->alignment = i == 0 ? int(Qt::AlignLeft | Qt::AlignTop) : int(Qt::AlignRight | Qt::AlignTop);
        }
        for (double y : {2200.0, 2640.0}) {
            Line* l = PageHeader().add<Line>(u"lnHeading"_s);
            l->from = QPointF(71, y);
            l->to = QPointF(8930, y);
        }

        Detail().height = 405;
        const QStringList bound = {u"Time"_s,   u"Monday"_s,   u"Tuesday"_s, u"Wednesday"_s, u"Thursday"_s,
                                   u"Friday"_s, u"Saturday"_s, u"Sunday"_s,  u"All Days"_s,  QString()};
        for (int i = 0; i < bound.size(); ++i) {
            Field* f = Detail().add<Field>(i == 9 ? u"txtTotal"_s : u"txtCol%1"_s.arg(i));
            f->dataField = bound.at(i);
            f->rect = QRectF(lefts[i], 60, widths[i] - (i == 0 ? 0 : 90), 283);
            f->font.pointSize = 11;
            f->alignment = i == 0 ? int(Qt::AlignLeft | Qt::AlignTop) : int(Qt::AlignRight | Qt::AlignTop);
        }
        for (int i = 1; i < 10; ++i) {
            Line* l = Detail().add<Line>(u"lnColumn"_s);
            l->from = QPointF(lefts[i] - 60, 0);
            l->to = QPointF(lefts[i] - 60, 405);
            l->width = 8;
            l->color = QColor(160, 160, 160);
        }

        PageFooter().height = 495;
        Field* number = PageFooter().add<Field>(u"txtPageNumber"_s);
        number->kind = FieldKind::PageNumber;
        number->rect = QRectF(7141, 283, 250, 200);
        number->alignment = int(Qt::AlignRight | Qt::AlignTop);
        label(PageFooter(), u"lblPage"_s, u"of"_s, {7441, 283, 400, 200}, 8.5)->alignment =
            int(Qt::AlignHCenter | Qt::AlignTop);
        Field* count = PageFooter().add<Field>(u"txtPageCount"_s);
        count->kind = FieldKind::PageCount;
        count->rect = QRectF(7900, 283, 400, 200);
        number->font.pointSize = count->font.pointSize = 8.5;

        ReportFooter().height = 675;
        label(ReportFooter(), u"lblGrandTotal"_s, u"Totals"_s, {142, 71, 992, 283}, 11, Qt::black, true);
        for (int i = 1; i < 9; ++i) {
            Field* f = ReportFooter().add<Field>(u"txtColTotal%1"_s.arg(i));
            f->dataField = bound.at(i);
            f->summary = SummaryType::GrandTotal;
            f->rect = QRectF(lefts[i], 71, widths[i] - 90, 283);
            f->font.pointSize = 11;
            f->font.bold = true;
            f->alignment = int(Qt::AlignRight | Qt::AlignTop);
            f->visible = i < 6 || i == 8;
        }
        Field* grand = ReportFooter().add<Field>(u"txtGrandTotal"_s);
        grand->rect = QRectF(lefts[9], 71, widths[9] - 90, 283);
        grand->font.pointSize = 11;
        grand->font.bold = true;
        grand->alignment = int(Qt::AlignRight | Qt::AlignTop);
        Line* top = ReportFooter().add<Line>(u"lnTotals"_s);
        top->from = QPointF(71, 20);
        top->to = QPointF(8930, 20);
    }

protected:
    void onReportStart() override {
        RowSet rows;
        rows.appendColumn(u"Time"_s, RowSet::Type::Text, 250);
        for (const QString& d : kDays)
            rows.appendColumn(d, RowSet::Type::Int32);
        rows.appendColumn(u"All Days"_s, RowSet::Type::Int32);
        for (int h = 0; h < 24; ++h) {
            QVector<QVariant> values{hourText(h)};
            double sum = 0;
            for (int d = 0; d < kDays.size(); ++d) {
                values << minutes(h, d);
                sum += minutes(h, d);
            }
            values << sum / kDays.size();
            rows.appendRow(values);
        }
        chart(u"chrtReport"_s)->dataSource = rows.clone();
        setDataSource(rows.clone());
    }
    void onDetailFormat() override {
        int sum = 0;
        for (int i = 1; i < 8; ++i)
            sum += field(u"txtCol%1"_s.arg(i))->text.toInt();
        field(u"txtTotal"_s)->text = QString::number(sum);
    }
    void onReportFooterFormat() override {
        int sum = 0;
        for (int i = 1; i < 8; ++i)
            sum += field(u"txtColTotal%1"_s.arg(i))->text.toInt();
        field(u"txtGrandTotal"_s)->text = QString::number(sum);
    }
};

/// The Day report's chart data: the five weekdays and their average, by hour.
ChartDefinition dayChart(int type) {
    ChartDefinition chart;
    chart.chartType = type;
    chart.axes[AxisId::Value].title = u"Active minutes per hour"_s;
    chart.axes[AxisId::Category].title = u"Time"_s;
    chart.axes[AxisId::Category].majorGridStyle = 0;
    chart.axes[AxisId::Category].tickStyle = 0;
    for (int h = 0; h < 24; ++h) {
        chart.categories << hourText(h);
        chart.categoryX << h;
    }
    ChartSeries average{u"All Days"_s, QVector<double>(24, 0.0)};
    for (int d = 0; d < kDays.size(); ++d) {
        ChartSeries s{kDays.at(d), {}};
        for (int h = 0; h < 24; ++h) {
            // Later weekdays start later, so the series cross as real ones do.
            const int shifted = std::clamp(h - d / 2, 0, 23);
            s.values << minutes(shifted, d) * (1.0 - 0.12 * d);
            average.values[h] += s.values.last() / kDays.size();
        }
        chart.series << s;
    }
    chart.series << average;
    return chart;
}

/// The Totals report's chart data: a year in months, placed at each month's first day.
ChartDefinition totalsChart() {
    ChartDefinition chart;
    chart.chartType = ChartType::XY2D;
    chart.axes[AxisId::Value].title = u"Active hours"_s;
    chart.axes[AxisId::Category].title = u"Period"_s;
    ChartSeries total{u"Total"_s, {}};
    for (int m = 1; m <= 12; ++m) {
        const QDate start(2004, m, 1);
        chart.categories << start.toString(u"d/M/yyyy"_s);
        chart.categoryX << double(start.toJulianDay());
        total.values << 620 + (m * 37) % 140 - (m == 8 ? 260 : 0);
    }
    chart.series << total;
    return chart;
}

bool saveChart(const QString& path, const ChartDefinition& chart, double ppi) {
    const QSizeF twips(8925, 6795);
    const QSize size(int(twips.width() / 1440.0 * ppi), int(twips.height() / 1440.0 * ppi));
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    paintChartScaled(p, QRectF(QPointF(), QSizeF(size)), chart, ppi / 1440.0);
    p.end();
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const double ppi = argc > 2 ? QString::fromLocal8Bit(argv[2]).toDouble() : 110.0;
    SampleReport report;
    if (!report.Run(PageSetup::forPageSize(QPageSize(QPageSize::A4)))) {
        std::fprintf(stderr, "the sample report did not run\n");
        return 1;
    }
    const PageCollection& doc = report.pages();
    const QStringList names = {u"engine-chart.png"_s, u"engine-table.png"_s};
    for (int i = 0; i < names.size() && i < doc.pages.size(); ++i) {
        const QSize size(int(doc.paperSize.width() / 1440.0 * ppi),
                         int(doc.paperSize.height() / 1440.0 * ppi));
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        paintPage(p, doc, i, QRectF(QPointF(), QSizeF(size)));
        p.end();
        const QString path = QDir(folder).filePath(names.at(i));
        if (!image.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
    }
    std::printf("%d pages\n", int(doc.pages.size()));
    const std::pair<QString, ChartDefinition> charts[] = {
        {u"engine-chart-area2d.png"_s, dayChart(ChartType::Area2D)},
        {u"engine-chart-area3d.png"_s, dayChart(ChartType::Area3D)},
        {u"engine-chart-bar3d.png"_s, dayChart(ChartType::Bar3D)},
        {u"engine-chart-xy-day.png"_s, dayChart(ChartType::XY2D)},
        {u"engine-chart-xy-totals.png"_s, totalsChart()},
    };
    for (const auto& [name, chart] : charts) {
        if (!saveChart(QDir(folder).filePath(name), chart, ppi))
            return 1;
    }
    return 0;
}
