#include "engine/ChartLayout.h"
#include "engine/PagePainter.h"
#include "engine/Report.h"
#include "testsupport/ImageCompare.h"

#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace tallyrow::engine;
using namespace Qt::StringLiterals;

namespace {

/// One A4 page with a title, a rule and a 3D bar chart of 24 categories.
PageCollection samplePages() {
    PageCollection doc;
    const PageSetup setup = PageSetup::forPageSize(QPageSize(QPageSize::A4));
    doc.title = u"Sample"_s;
    doc.paperSize = setup.paperSize;
    doc.printableRect = setup.printableRect;
    Page page;
    page.items.append(TextItem{QRectF(75, 0, 5000, 495), u"Tallyrow Day Report"_s, FontStyle{u"Tahoma"_s, 16},
                               QColor(0, 0, 128)});
    page.items.append(
        TextItem{QRectF(71, 567, 6023, 354), u"From 01/03/2004 to 31/03/2004"_s, FontStyle{u"Tahoma"_s, 12}});
    page.items.append(LineItem{QPointF(0, 1000), QPointF(8930, 1000)});
    ChartDefinition chart;
    chart.chartType = ChartType::Bar3D;
    chart.axes[AxisId::Value].title = u"Active minutes per hour"_s;
    ChartSeries s{u"All Days"_s, {}};
    for (int h = 0; h < 24; ++h) {
        chart.categories << u"%1:00"_s.arg(h);
        s.values << (h * 5) % 60;
    }
    chart.series << s;
    page.items.append(ChartItem{QRectF(75, 1200, 8925, 6795), chart});
    doc.pages << page;
    return doc;
}

int inkIn(const QImage& image, const QRect& area) {
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 128)
                ++dark;
        }
    }
    return dark;
}

} // namespace

TEST(PagePainter, RegistersTheReportFace) {
    registerReportFonts();
    const QStringList families = QFontDatabase::families();
    const bool haveTahoma = QFile::exists(u"/usr/share/wine/fonts/tahoma.ttf"_s);
    EXPECT_EQ(families.contains(u"Tahoma"_s), haveTahoma);
}

TEST(PagePainter, DrawsTextAtItsPlaceOnImagesOfAnyResolution) {
    const PageCollection doc = samplePages();
    for (double pixelsPerInch : {48.0, 96.0, 200.0}) {
        SCOPED_TRACE(pixelsPerInch);
        const double scale = pixelsPerInch / 1440.0;
        QImage image(QSize(int(doc.paperSize.width() * scale), int(doc.paperSize.height() * scale)),
                     QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            paintPage(p, doc, 0, QRectF(QPointF(0, 0), QSizeF(image.size())));
            paintPage(p, doc, 5, QRectF(QPointF(0, 0), QSizeF(image.size()))); // no such page: nothing
        }
        const QPointF origin = doc.printableRect.topLeft();
        const QRect title = QRectF((origin + QPointF(75, 0)) * scale, QSizeF(3400, 495) * scale).toRect();
        const QRect belowTitle =
            QRectF((origin + QPointF(4000, 1100)) * scale, QSizeF(800, 80) * scale).toRect();
        EXPECT_GT(inkIn(image, title), 10);
        EXPECT_EQ(inkIn(image, belowTitle), 0);
    }
}

TEST(PagePainter, ANumberWiderThanItsColumnIsDrawnSmallerInsteadOfOverItsNeighbour) {
    PageCollection doc;
    const PageSetup setup = PageSetup::forPageSize(QPageSize(QPageSize::A4));
    doc.paperSize = setup.paperSize;
    doc.printableRect = setup.printableRect;
    Page page;
    // A day column of the hour table: 708 twips wide, 11 pt, right-aligned.
    page.items.append(TextItem{QRectF(1276, 0, 708, 283), u"12345678"_s, FontStyle{u"Tahoma"_s, 11},
                               Qt::black, int(Qt::AlignRight | Qt::AlignTop)});
    doc.pages << page;
    const double scale = 200.0 / 1440.0;
    QImage image(QSize(int(doc.paperSize.width() * scale), int(doc.paperSize.height() * scale)),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        paintPage(p, doc, 0, QRectF(QPointF(0, 0), QSizeF(image.size())));
    }
    const QPointF origin = doc.printableRect.topLeft();
    const QRect column = QRectF((origin + QPointF(1276, 0)) * scale, QSizeF(708, 283) * scale).toRect();
    const QRect leftNeighbour = QRectF((origin + QPointF(500, 0)) * scale, QSizeF(760, 283) * scale).toRect();
    EXPECT_GT(inkIn(image, column), 10);
    EXPECT_EQ(inkIn(image, leftNeighbour), 0);
}

TEST(PagePainter, PdfHoldsTheTextAsText) {
    const QString pdftotext = QStandardPaths::findExecutable(u"pdftotext"_s);
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext not installed";
    QTemporaryDir dir;
    const QString file = dir.filePath(u"page.pdf"_s);
    const PageCollection doc = samplePages();
    {
        QPdfWriter writer(file);
        writer.setResolution(1200);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF());
        QPainter p(&writer);
        const QRect sheet = writer.pageLayout().fullRectPixels(writer.resolution());
        paintPage(p, doc, 0, QRectF(sheet));
    }
    QProcess proc;
    proc.start(pdftotext, {file, u"-"_s});
    ASSERT_TRUE(proc.waitForFinished(20000));
    const QString text = QString::fromUtf8(proc.readAllStandardOutput());
    EXPECT_TRUE(text.contains(u"Tallyrow Day Report"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"Active minutes per hour"_s));
    EXPECT_TRUE(text.contains(u"All Days"_s)) << "legend text is real text too";
}

TEST(PagePainter, ChartOnAnUntransformedPainterUsesPointSizedText) {
    // The export draws charts straight onto its own painter; the chart must come out at the same
    // physical size whatever the device's resolution, so a 192-dpi image scaled down looks like the
    // 96-dpi one, and unlike a 96-dpi image of twice the size (where text would be half as big).
    ChartDefinition chart;
    chart.chartType = ChartType::Line2D;
    chart.axes[AxisId::Value].title = u"Active minutes"_s;
    chart.categories = {u"Monday"_s, u"Tuesday"_s, u"Wednesday"_s};
    chart.series = {ChartSeries{u"Total"_s, {10, 25, 17}}};
    auto render = [&](QSize size, int dpi) {
        QImage image(size, QImage::Format_RGB32);
        image.setDotsPerMeterX(int(dpi / 0.0254));
        image.setDotsPerMeterY(int(dpi / 0.0254));
        image.fill(Qt::white);
        QPainter p(&image);
        paintChart(p, QRectF(QPointF(), QSizeF(size)), chart);
        p.end();
        return image.scaled(QSize(600, 400), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    auto difference = [](const QImage& a, const QImage& b) {
        double sum = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
        return sum / (a.width() * a.height());
    };
    const QImage base = render(QSize(600, 400), 96);
    EXPECT_GT(inkIn(base, base.rect()), 100);
    const double sameSize = difference(base, render(QSize(1200, 800), 192));
    const double halfSize = difference(base, render(QSize(1200, 800), 96));
    EXPECT_LT(sameSize * 2, halfSize);
}

namespace {

/// Page 0 of `doc` painted onto an image of `size` pixels that claims `dpi`, then brought to
/// `common` pixels so pictures of different sizes can be compared.
QImage pageImage(const PageCollection& doc, QSize size, int dpi, QSize common) {
    QImage image(size, QImage::Format_RGB32);
    image.setDotsPerMeterX(int(dpi / 0.0254));
    image.setDotsPerMeterY(int(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter p(&image);
    paintPage(p, doc, 0, QRectF(QPointF(), QSizeF(size)));
    p.end();
    return image.scaled(common, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

using tallyrow::test::meanDifference;

} // namespace

TEST(PagePainter, ChartOnAPageScalesWithTheSheetOnEveryDevice) {
    // The chart belongs to the page: at any size of the sheet and on a device of any resolution
    // its text keeps its size relative to the page, as the page's own text does.
    const PageCollection doc = samplePages();
    const QSize base(595, 842);
    const QImage reference = pageImage(doc, base, 72, base);
    EXPECT_LT(meanDifference(reference, pageImage(doc, base, 300, base)), 0.01)
        << "same pixels, other resolution: the same picture";
    EXPECT_LT(meanDifference(reference, pageImage(doc, base * 2, 72, base)), 1.5) << "twice the size";
    EXPECT_LT(meanDifference(reference, pageImage(doc, base / 2, 144, base)), 3.0) << "half the size";
}

namespace {

/// One page with a chart of `points` values that swing up and down from one day to the next.
PageCollection denseChartPage(int chartType, int points) {
    PageCollection doc = samplePages();
    ChartDefinition chart;
    chart.chartType = chartType;
    ChartSeries s{u"Total"_s, {}};
    for (int i = 0; i < points; ++i) {
        chart.categories << QString::number(i);
        s.values << 300 + 200 * std::sin(i / 40.0) + ((i * 7919) % 101);
    }
    chart.series << s;
    doc.pages[0].items = {ChartItem{QRectF(0, 0, 8930, 6000), chart}};
    return doc;
}

QImage drawn(const PageCollection& doc, PaintDetail detail, double pixelsWide) {
    const double scale = pixelsWide / doc.paperSize.width();
    QImage image(QSize(int(pixelsWide), int(doc.paperSize.height() * scale)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    paintPage(p, doc, 0, QRectF(QPointF(0, 0), QSizeF(image.size())), detail);
    return image;
}

/// Clearly inked pixels of `a` with no ink in `b` within one pixel of the same place (the
/// strength of antialiased edges differs between drawings; where ink lies must not).
int unmatchedPixels(const QImage& a, const QImage& b) {
    int unmatched = 0;
    for (int y = 1; y + 1 < a.height(); ++y) {
        for (int x = 1; x + 1 < a.width(); ++x) {
            if (qGray(a.pixel(x, y)) > 200)
                continue;
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx)
                    found = qGray(b.pixel(x + dx, y + dy)) < 245;
            unmatched += found ? 0 : 1;
        }
    }
    return unmatched;
}

} // namespace

TEST(PagePainter, DenseSeriesOnScreenLookLikeTheirFullDrawing) {
    for (int type : {ChartType::Line2D, ChartType::Area2D, ChartType::XY2D, ChartType::Line3D}) {
        SCOPED_TRACE(type);
        const PageCollection doc = denseChartPage(type, 6000);
        const QImage full = drawn(doc, PaintDetail::Full, 700);
        const QImage screen = drawn(doc, PaintDetail::Screen, 700);
        const int area = full.width() * full.height();
        if (qEnvironmentVariableIsSet("TALLYROW_KEEP_IMAGES")) {
            full.save(u"/tmp/dense-%1-full.png"_s.arg(type));
            screen.save(u"/tmp/dense-%1-screen.png"_s.arg(type));
        }
        EXPECT_LT(unmatchedPixels(screen, full), area / 2000) << "nothing drawn that the full drawing lacks";
        EXPECT_LT(unmatchedPixels(full, screen), area / 2000) << "nothing of the full drawing left out";
    }
    // A series with room for every point is drawn as it is.
    const PageCollection sparse = denseChartPage(ChartType::Line2D, 60);
    EXPECT_EQ(drawn(sparse, PaintDetail::Screen, 700), drawn(sparse, PaintDetail::Full, 700));
}

TEST(PagePainter, AreaSeriesAreFilledInTheirLegendColours) {
    // Eight series of one shape, each a tenth lower than the one before: each shows as a band.
    for (int type : {ChartType::Area2D, ChartType::Area3D}) {
        SCOPED_TRACE(type);
        ChartDefinition chart;
        chart.chartType = type;
        for (int h = 0; h < 24; ++h)
            chart.categories << u"%1:00"_s.arg(h);
        for (int s = 0; s < 8; ++s) {
            ChartSeries series{u"Series %1"_s.arg(s), {}};
            for (int h = 0; h < 24; ++h)
                series.values << (30 + (h * 7) % 20) * (1.0 - 0.1 * s);
            chart.series << series;
        }
        const QRectF bounds(0, 0, 8925, 6795);
        const double scale = 96.0 / 1440.0;
        QImage image((bounds.size() * scale).toSize(), QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            paintChartScaled(p, QRectF(QPointF(), QSizeF(image.size())), chart, scale);
        }
        const ChartLayout l = layoutChart(chart, bounds);
        const QRect plot =
            QRectF(l.plotRect.topLeft() * scale, l.plotRect.bottomRight() * scale).toRect() & image.rect();
        for (int s = 0; s < 8; ++s) {
            const QRgb legend = l.legend.at(s).color.rgb();
            int pixels = 0;
            for (int y = plot.top(); y <= plot.bottom(); ++y)
                for (int x = plot.left(); x <= plot.right(); ++x)
                    pixels += image.pixel(x, y) == legend ? 1 : 0;
            EXPECT_GT(pixels, 300) << "series " << s << " shows its legend colour, not a blend";
        }
    }
}
