// Lays out a 2,000-row report shaped like the Totals report (title block with a chart, a
// two-column table, page numbers, a grand total) and writes it to PDF, timing both steps.
// Usage: bench_engine_pdf [rows] [output.pdf]
#include "engine/PagePainter.h"
#include "engine/Report.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cstdio>

using namespace tallyrow::engine;
using namespace Qt::StringLiterals;

namespace {

class TotalsLikeReport : public Report {
public:
    explicit TotalsLikeReport(int rows) : m_rows(rows) {
        ReportHeader().height = 8640;
        auto* title = ReportHeader().add<Label>(u"lblReportName"_s);
        title->caption = u"Tallyrow Totals Report"_s;
        title->rect = QRectF(71, 0, 3472, 496);
        title->font.pointSize = 15;
        Chart* chart = ReportHeader().add<Chart>(u"chrtReport"_s);
        chart->rect = QRectF(71, 1843, 8929, 6803);
        chart->definition.chartType = ChartType::Line2D;
        chart->Axis(AxisId::Value).title = u"Active minutes"_s;
        chart->Axis(AxisId::Category).majorGridStyle = 0;
        chart->Axis(AxisId::Category).tickStyle = 0;
        PageHeader().height = 645;
        for (auto [name, caption, left, width] : {std::tuple{u"lblPeriod"_s, u"Period"_s, 142.0, 1417.0},
                                                  std::tuple{u"lblTotal"_s, u"Total"_s, 1913.0, 851.0}}) {
            Label* l = PageHeader().add<Label>(name);
            l->caption = caption;
            l->rect = QRectF(left, 283, width, 283);
            l->font = FontStyle{u"Tahoma"_s, 11, true};
        }
        Detail().height = 330;
        for (auto [name, column, left, width] : {std::tuple{u"txtPeriod"_s, u"Period"_s, 142.0, 1417.0},
                                                 std::tuple{u"txtTotal"_s, u"Total"_s, 1701.0, 1063.0}}) {
            Field* f = Detail().add<Field>(name);
            f->dataField = column;
            f->rect = QRectF(left, 0, width, 283);
            f->font.pointSize = 11;
        }
        PageFooter().height = 420;
        Field* number = PageFooter().add<Field>(u"txtPageNumber"_s);
        number->kind = FieldKind::PageNumber;
        number->rect = QRectF(7441, 150, 500, 200);
        Field* count = PageFooter().add<Field>(u"txtPageCount"_s);
        count->kind = FieldKind::PageCount;
        count->rect = QRectF(8362, 150, 500, 200);
        ReportFooter().height = 660;
        Field* grand = ReportFooter().add<Field>(u"txtGrandTotal"_s);
        grand->dataField = u"Total"_s;
        grand->summary = SummaryType::GrandTotal;
        grand->rect = QRectF(1701, 71, 1063, 283);
    }

protected:
    void onReportStart() override {
        RowSet rows;
        rows.appendColumn(u"Period"_s, RowSet::Type::Text, 250);
        rows.appendColumn(u"Total"_s, RowSet::Type::Int32);
        const QDate start(2004, 1, 1);
        for (int i = 0; i < m_rows; ++i)
            rows.appendRow({start.addDays(i).toString(u"dd/MM/yyyy"_s), (i * 37) % 480});
        chart(u"chrtReport"_s)->dataSource = rows.clone();
        setDataSource(rows);
    }

private:
    int m_rows;
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
    QTemporaryDir dir;
    const QString file = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(u"bench.pdf"_s);
    registerReportFonts();

    QElapsedTimer timer;
    timer.start();
    TotalsLikeReport report(rows);
    report.Run(PageSetup::forPageSize(QPageSize(QPageSize::A4)));
    const double layoutMs = timer.nsecsElapsed() / 1e6;
    const PageCollection& doc = report.pages();

    timer.restart();
    {
        QPdfWriter writer(file);
        writer.setResolution(1200);
        writer.setPageSize(QPageSize(doc.paperSize / 20.0, QPageSize::Point));
        writer.setPageMargins(QMarginsF());
        QPainter painter(&writer);
        const QRectF sheet(QPointF(), QSizeF(writer.width(), writer.height()));
        for (int i = 0; i < doc.pages.size(); ++i) {
            if (i > 0)
                writer.newPage();
            paintPage(painter, doc, i, sheet);
        }
    }
    const double pdfMs = timer.nsecsElapsed() / 1e6;
    const double totalMs = layoutMs + pdfMs;
    const int pages = static_cast<int>(doc.pages.size());
    std::printf("rows %d, pages %d\n", rows, pages);
    std::printf("layout   %8.1f ms  (%.0f pages/s)\n", layoutMs, pages / (layoutMs / 1000.0));
    std::printf("pdf      %8.1f ms  (%.0f pages/s)\n", pdfMs, pages / (pdfMs / 1000.0));
    std::printf("total    %8.1f ms  (%.0f pages/s; target under 1000 ms: %s)\n", totalMs,
                pages / (totalMs / 1000.0), totalMs < 1000 ? "met" : "missed");
    return 0;
}
