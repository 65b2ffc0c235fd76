#include "TestPages.h"

#include "engine/ChartDefinition.h"

#include <algorithm>

namespace tallyrow::testpages {

using namespace engine;

namespace {

constexpr int kRight = Qt::AlignRight | Qt::AlignTop;

struct Column {
    const char* heading;
    double left;
    double width;
};
constexpr Column kColumns[] = {
    {"Time", 142, 992}, {"Mon", 1276, 708}, {"Tue", 2055, 709}, {"Wed", 2835, 708}, {"Thu", 3614, 709},
    {"Fri", 4394, 708}, {"Sat", 5173, 709}, {"Sun", 5953, 708}, {"Avg", 6874, 709}, {"Total", 7795, 992}};

TextItem text(double x, double y, double w, double h, const QString& s, double pt, bool bold = false,
              QColor color = Qt::black, int alignment = Qt::AlignLeft | Qt::AlignTop,
              const QString& name = {}) {
    TextItem t;
    t.rect = QRectF(x, y, w, h);
    t.text = s;
    t.font.pointSize = pt;
    t.font.bold = bold;
    t.color = color;
    t.alignment = alignment;
    t.name = name;
    return t;
}

// Minutes of weekday `day` at hour row `row`: whole numbers, fractions and empty days.
QString cellValue(int row, int day) {
    if (day == 2 || day == 6) // Wednesday and Sunday not selected
        return {};
    const int v = (row * 7 + day * 13) % 61;
    return day == 4 && row % 2 ? QStringLiteral("%1.5").arg(v) : QString::number(v);
}

void pageHeader(Page& page, double top) {
    page.items.push_back(text(75, top, 3405, 495, QStringLiteral("Tallyrow Day Report"), 16));
    page.items.push_back(text(71, top + 567, 6023, 354, QStringLiteral("From 1/3/2004 to 7/3/2004"), 12));
}

void headings(Page& page, double top) {
    for (int i = 0; i < 10; ++i) {
        const Column& c = kColumns[i];
        const bool unselected = i == 3 || i == 7; // Wednesday and Sunday
        page.items.push_back(text(c.left, top, c.width, 283, QString::fromLatin1(c.heading), 11, true,
                                  unselected ? QColor(127, 127, 127) : QColor(Qt::black),
                                  i > 0 ? kRight : Qt::AlignLeft | Qt::AlignTop));
    }
    page.items.push_back(LineItem{{142, top + 290}, {8787, top + 290}, 15, Qt::black});
}

} // namespace

QString hourLabel(int row) {
    const int h = row % 24;
    const int twelve = h % 12 == 0 ? 12 : h % 12;
    return QStringLiteral("%1:00 %2").arg(twelve).arg(h < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

PageCollection dayReport(int rows, int rowsPerPage) {
    PageCollection doc;
    doc.title = QStringLiteral("Tallyrow Day Report");
    doc.paperSize = QSizeF(12240, 15840);
    doc.printableRect = QRectF(1440, 720, 9360, 14400);

    const int firstPageRows = std::min(rowsPerPage, 10); // below the title block and chart
    const int pageCount = 1 + (std::max(0, rows - firstPageRows) + rowsPerPage - 1) / rowsPerPage;
    int row = 0;
    for (int p = 0; p < pageCount; ++p) {
        Page page;
        double top = 0;
        if (p == 0) {
            const QColor darkBlue(0, 0, 128), veryDarkBlue(0, 0, 64);
            page.items.push_back(text(75, 0, 3405, 495, QStringLiteral("Tallyrow Day Report"), 16, false,
                                      darkBlue, Qt::AlignLeft | Qt::AlignTop,
                                      QStringLiteral("lblReportName")));
            page.items.push_back(text(71, 567, 6023, 354, QStringLiteral("From 1/3/2004 to 7/3/2004"), 12,
                                      false, veryDarkBlue));
            page.items.push_back(text(71, 992, 8858, 284,
                                      QString::fromUtf8("For user <Zoë Ångström> on computer <Büro-PC>"), 10,
                                      false, veryDarkBlue));
            page.items.push_back(
                text(71, 1559, 8858, 284, QStringLiteral("Average active minutes per hour"), 10));
            ChartItem chart;
            chart.rect = QRectF(75, 2415, 8925, 6795);
            chart.chart.chartType = ChartType::Line2D;
            chart.chart.axes[AxisId::Value].title = QStringLiteral("Active minutes per hour");
            for (int h = 0; h < 24; ++h)
                chart.chart.categories.push_back(hourLabel(h));
            ChartSeries mon{QStringLiteral("Monday"), {}}, all{QStringLiteral("All Days"), {}};
            for (int h = 0; h < 24; ++h) {
                mon.values.push_back(cellValue(h, 0).toDouble());
                all.values.push_back((h * 5) % 37 + 0.25);
            }
            chart.chart.series = {mon, all};
            page.items.push_back(chart);
            page.items.push_back(LineItem{{75, 9260}, {9000, 9260}, 15, Qt::black});
            top = 9400;
        } else {
            pageHeader(page, 0);
            top = 1100;
        }
        headings(page, top);
        top += 400;
        const int last = std::min(rows, row + (p == 0 ? firstPageRows : rowsPerPage));
        for (; row < last; ++row, top += 405) {
            page.items.push_back(text(142, top, 992, 283, hourLabel(row), 11, false, Qt::black,
                                      Qt::AlignLeft | Qt::AlignTop, QStringLiteral("txtTime")));
            double total = 0;
            for (int d = 0; d < 7; ++d) {
                const QString v = cellValue(row, d);
                total += v.toDouble();
                page.items.push_back(text(kColumns[d + 1].left, top, kColumns[d + 1].width, 283, v, 11, false,
                                          Qt::black, kRight, QStringLiteral("txtDay%1").arg(d + 1)));
            }
            page.items.push_back(text(6874, top, 709, 283, QString::number(total / 5, 'f', 1), 11, false,
                                      Qt::black, kRight, QStringLiteral("txtAverage")));
            page.items.push_back(text(7795, top, 992, 283, QString::number(qRound(total)), 11, false,
                                      Qt::black, kRight, QStringLiteral("txtTotal")));
        }
        if (row >= rows) {
            page.items.push_back(text(142, top + 71, 992, 283, QStringLiteral("Totals"), 11, true));
            page.items.push_back(text(7795, top + 71, 992, 283, QString::number(rows * 100), 11, false,
                                      Qt::black, kRight, QStringLiteral("txtGrandTotal")));
        }
        const double footer = 14400 - 495 + 283 - 100;
        page.items.push_back(text(7441, footer, 600, 200, QString::number(p + 1), 8.5, false, Qt::black,
                                  kRight, QStringLiteral("txtPageNumber")));
        page.items.push_back(text(8079, footer, 250, 200, QStringLiteral("of"), 8.5, false, Qt::black,
                                  Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("lblPage")));
        page.items.push_back(text(8362, footer, 600, 200, QString::number(pageCount), 8.5, false, Qt::black,
                                  Qt::AlignLeft | Qt::AlignTop, QStringLiteral("txtPageCount")));
        doc.pages.push_back(page);
    }
    return doc;
}

QStringList pageTexts(const PageCollection& pages, int index) {
    struct Placed {
        QPointF at;
        QString text;
    };
    QVector<Placed> placed;
    for (const PageItem& item : pages.pages.at(index).items)
        if (const auto* t = std::get_if<TextItem>(&item); t && !t->text.isEmpty())
            placed.push_back({t->rect.topLeft(), t->text});
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return a.at.y() != b.at.y() ? a.at.y() < b.at.y() : a.at.x() < b.at.x();
    });
    QStringList out;
    for (const Placed& p : placed)
        out << p.text;
    return out;
}

} // namespace tallyrow::testpages
