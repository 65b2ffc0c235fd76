// The web page export: nothing on the page runs or is fetched, tables keep their columns, and a
// browser shows chart and shading. (What a reader sees of real reports: tests/golden.)
#include "output/ExportFilters.h"

#include "TestPages.h"
#include "Tools.h"

#include <QImage>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using namespace tallyrow;
using namespace tallyrow::engine;
using namespace Qt::StringLiterals;

namespace {

TextItem text(double x, double y, double w, const QString& s, int alignment = Qt::AlignRight) {
    TextItem t;
    t.rect = QRectF(x, y, w, 283);
    t.text = s;
    t.alignment = alignment;
    return t;
}

// The cells of a page's tables by their text: the column each starts in (spans counted) and
// its style.
QHash<QString, std::pair<int, QString>> tableCells(const QByteArray& html) {
    QHash<QString, std::pair<int, QString>> cells;
    QXmlStreamReader xml(html);
    int column = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"tr") {
            column = 0;
        } else if (xml.name() == u"td") {
            const int span = std::max(1, xml.attributes().value(u"colspan"_s).toInt());
            const QString style = xml.attributes().value(u"style"_s).toString();
            cells[xml.readElementText()] = {column, style};
            column += span;
        }
    }
    return cells;
}

} // namespace

TEST(WebPageExport, TextFromTheDataStaysTextAndNothingIsFetchedOrRun) {
    PageCollection doc = testpages::dayReport(3, 3);
    doc.title = u"</title><script>alert(1)</script>"_s;
    const QString hostile = u"<script src=\"https://x.example/a.js\"></script> & 'q' <a href=//x.example>"_s;
    auto& name = std::get<TextItem>(doc.pages[0].items[2]);
    name.text = hostile;
    name.font.face = u"Evil'); background:url(http://x.example/a.png); x:('"_s;
    auto& chart = std::get<ChartItem>(doc.pages[0].items[4]).chart;
    chart.series[0].name = u"<img src=http://x.example/p.png>"_s;

    const QByteArray html = webPageExport(doc);
    QXmlStreamReader xml(html);
    int charts = 0;
    bool shownAsText = false;
    while (!xml.atEnd()) {
        xml.readNext();
        shownAsText = shownAsText || (xml.isCharacters() && xml.text() == hostile);
        if (!xml.isStartElement())
            continue;
        SCOPED_TRACE(xml.name().toString().toStdString());
        EXPECT_FALSE(xml.name() == u"script" || xml.name() == u"img" || xml.name() == u"a" ||
                     xml.name() == u"link" || xml.name() == u"style");
        for (const QXmlStreamAttribute& a : xml.attributes()) {
            EXPECT_FALSE(a.name() == u"src" || a.name() == u"href")
                << a.qualifiedName().toString().toStdString();
            EXPECT_FALSE(a.value().contains(u"url(")) << a.value().toString().toStdString();
        }
        charts += xml.name() == u"svg";
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(charts, 1);
    EXPECT_TRUE(shownAsText);
}

TEST(WebPageExport, TableCellsStayUnderTheirHeadingsWithTheirShadingAndRules) {
    PageCollection doc;
    Page page;
    page.items = {text(0, 0, 900, u"Time"_s, Qt::AlignLeft),
                  text(1000, 0, 700, u"Mon"_s),
                  text(1700, 0, 700, u"Tue"_s),
                  text(2600, 0, 700, u"Wed"_s),
                  LineItem{{0, 290}, {3300, 290}, 30, Qt::darkRed},
                  FillItem{QRectF(2600, 400, 700, 405), QColor(0x12, 0x34, 0x56)},
                  text(0, 400, 900, u"1 AM"_s, Qt::AlignLeft),
                  text(1000, 400, 700, QString()),
                  text(2600, 400, 700, u"7"_s),
                  text(0, 805, 900, u"2 AM"_s, Qt::AlignLeft),
                  text(1700, 805, 700, u"5"_s)};
    doc.pages = {page};
    const auto cells = tableCells(webPageExport(doc));
    EXPECT_EQ(cells[u"7"_s].first, cells[u"Wed"_s].first); // a row that leaves Tue empty
    EXPECT_EQ(cells[u"5"_s].first, cells[u"Tue"_s].first); // Tue starts where Mon ends
    EXPECT_TRUE(cells[u"7"_s].second.contains(u"background-color:#123456"));
    EXPECT_FALSE(cells[u"5"_s].second.contains(u"background"));
    for (const QString& heading : {u"Time"_s, u"Mon"_s, u"Tue"_s, u"Wed"_s})
        EXPECT_TRUE(cells[heading].second.contains(u"border-bottom:2px solid #800000"))
            << heading.toStdString();
    EXPECT_FALSE(cells[u"1 AM"_s].second.contains(u"border"));
}

TEST(WebPageExport, ABrowserShowsTheChartAndTheShading) {
    const QString browser = u"chromium"_s;
    if (!testtools::haveTool(browser))
        GTEST_SKIP() << "chromium is not installed; the page cannot be shown in a browser here";
    PageCollection doc = testpages::dayReport(24, 12);
    const QColor shade(0xc0, 0x30, 0x30);
    doc.pages[0].items.insert(6, FillItem{QRectF(1276, 9800, 708, 405), shade}); // behind Monday, first row
    QTemporaryDir dir;
    const QString page = dir.filePath(u"day.html"_s), shot = dir.filePath(u"day.png"_s);
    testtools::writeFile(page, webPageExport(doc));
    const testtools::ToolRun run =
        testtools::runTool(browser,
                           {u"--headless"_s, u"--no-sandbox"_s, u"--disable-gpu"_s, u"--hide-scrollbars"_s,
                            u"--user-data-dir="_s + dir.filePath(u"profile"_s), u"--window-size=800,1400"_s,
                            u"--screenshot="_s + shot, u"file://"_s + page},
                           120000);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QImage image(shot);
    ASSERT_FALSE(image.isNull());
    auto pixelsLike = [&](const QColor& c) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                n += std::abs(qRed(p) - c.red()) + std::abs(qGreen(p) - c.green()) +
                         std::abs(qBlue(p) - c.blue()) <
                     12;
            }
        return n;
    };
    EXPECT_GT(pixelsLike(shade), 500) << "the shaded cell";
    EXPECT_GT(pixelsLike(QColor(0x1f, 0x5f, 0xb4)), 50) << "the chart's first series";
}
