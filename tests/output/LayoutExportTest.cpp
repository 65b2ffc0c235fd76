// Reading order, columns and numbers as the text and spreadsheet exports see a page, and the
// plain-text export itself.
#include "output/ExportFilters.h"
#include "output/PageGrid.h"

#include "TestPages.h"
#include "Tools.h"

#include <gtest/gtest.h>

using namespace tallyrow;
using namespace tallyrow::engine;

namespace {

TextItem at(double x, double y, double w, double h, const QString& s, int alignment = Qt::AlignLeft) {
    TextItem t;
    t.rect = QRectF(x, y, w, h);
    t.text = s;
    t.alignment = alignment;
    return t;
}

QString expectedPath(const QString& name) {
    return QStringLiteral(TALLYROW_OUTPUT_TEST_DIR "/expected/") + name;
}

} // namespace

TEST(PageBands, TextsOfOneRowShareABandInLeftToRightOrder) {
    Page page;
    page.items = {
        at(1276, 405, 708, 283, QStringLiteral("Mon 2")), at(142, 405, 992, 283, QStringLiteral("1:00 AM")),
        at(142, 71, 992, 495, QStringLiteral("Totals")),  at(1276, 90, 708, 283, QStringLiteral("12")),
        at(3000, 405, 500, 283, QStringLiteral("  ")),    at(142, 810, 992, 283, QStringLiteral("2:00 AM"))};
    ChartItem chart;
    chart.rect = QRectF(0, 300, 100, 50);
    page.items.push_back(chart);

    const QVector<PageBand> bands = pageBands(page);
    ASSERT_EQ(bands.size(), 4);
    ASSERT_EQ(bands[0].texts.size(), 2); // a tall label and a field 19 twips lower: one row
    EXPECT_EQ(bands[0].texts[0]->text, QStringLiteral("Totals"));
    EXPECT_EQ(bands[0].texts[1]->text, QStringLiteral("12"));
    EXPECT_NE(bands[1].chart, nullptr);
    ASSERT_EQ(bands[2].texts.size(), 2); // the blank text is left out
    EXPECT_EQ(bands[2].texts[0]->text, QStringLiteral("1:00 AM"));
    EXPECT_EQ(bands[3].texts[0]->text, QStringLiteral("2:00 AM"));
}

TEST(PageBands, ColumnsFollowAlignmentAndMergeNearbyPositions) {
    EXPECT_EQ(columnAnchor(at(1701, 0, 1063, 283, QStringLiteral("9"), Qt::AlignRight)), 2764);
    EXPECT_EQ(columnAnchor(at(8079, 0, 250, 200, QStringLiteral("of"), Qt::AlignHCenter)), 8204);
    const QVector<double> columns = clusterPositions({75, 142, 71, 1276, 2055, 2060, 7795}, 100);
    EXPECT_EQ(columns, (QVector<double>{71, 1276, 2055, 7795}));
    EXPECT_EQ(columnIndex(columns, 142), 0);
    EXPECT_EQ(columnIndex(columns, 2060), 2);
}

TEST(PageBands, OnlyPlainDecimalNumbersCountAsNumbers) {
    const struct {
        const char* text;
        bool number;
        double value;
    } cases[] = {{"12", true, 12},   {"-3.5", true, -3.5}, {" 7 ", true, 7},    {"0.25", true, 0.25},
                 {"+4", true, 4},    {"1,234", false, 0},  {"1e5", false, 0},   {"12:00 AM", false, 0},
                 {"", false, 0},     {".", false, 0},      {"Total", false, 0}, {"3 of 4", false, 0},
                 {"0x10", false, 0}, {"nan", false, 0},    {"inf", false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        double v = -1;
        EXPECT_EQ(isPlainNumber(QString::fromLatin1(c.text), &v), c.number);
        if (c.number) {
            EXPECT_EQ(v, c.value);
        }
    }
}

TEST(PlainTextExport, DayReportMatchesItsExpectation) {
    const QByteArray text = plainTextExport(testpages::dayReport(24, 12));
    const QString expected = expectedPath(QStringLiteral("day-report.txt"));
    if (qEnvironmentVariableIsSet("TALLYROW_WRITE_EXPECTED"))
        testtools::writeFile(expected, text);
    EXPECT_EQ(QString::fromUtf8(text), QString::fromUtf8(testtools::readFile(expected)));
    EXPECT_EQ(text.count('\f'), 2); // three pages
}

TEST(PlainTextExport, CrowdedTextsArePushedApartNeverCut) {
    PageCollection doc;
    Page page;
    page.items = {at(0, 0, 200, 200, QStringLiteral("Wednesday")),
                  at(240, 0, 200, 200, QStringLiteral("Thursday")),
                  at(0, 300, 480, 200, QStringLiteral("42"), Qt::AlignRight),
                  at(0, 300, 240, 200, QStringLiteral("line\nbreak"))};
    doc.pages = {page};
    EXPECT_EQ(QString::fromUtf8(plainTextExport(doc)), QStringLiteral("Wednesday Thursday\nline break 42\n"));
}

// A table column keeps one edge in the file: a heading a few twips off its numbers, and
// numbers centred under their heading, end on the same character; a page number centred in a
// box of another width stays centred on its own.
TEST(PlainTextExport, TheTextsOfATableColumnEndTogether) {
    PageCollection doc;
    Page page;
    const int right = Qt::AlignRight;
    const int centre = Qt::AlignHCenter;
    page.items = {at(0, 0, 1000, 200, QStringLiteral("Name")),
                  at(1000, 0, 560, 200, QStringLiteral("Total"), right),
                  at(2000, 0, 700, 200, QStringLiteral("Mon"), centre),
                  at(0, 300, 1000, 200, QStringLiteral("anna")),
                  at(1000, 300, 700, 200, QStringLiteral("7"), right),
                  at(2010, 300, 700, 200, QStringLiteral("5"), centre),
                  at(0, 600, 1000, 200, QStringLiteral("bob")),
                  at(1000, 600, 700, 200, QStringLiteral("1234"), right),
                  at(2010, 600, 700, 200, QStringLiteral("318"), centre),
                  at(1800, 900, 1500, 200, QStringLiteral("1"), centre)};
    doc.pages = {page};
    EXPECT_EQ(plainTextExport(doc).toStdString(), std::string("Name     Total     Mon\n"
                                                              "anna         7       5\n"
                                                              "bob       1234     318\n"
                                                              "                     1\n"));
}
