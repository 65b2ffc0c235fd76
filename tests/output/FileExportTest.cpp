// Each export read back by a program we did not write: poppler for PDF, xlrd and LibreOffice for
// the spreadsheet, LibreOffice Writer for rich text.
#include "output/ExportFilters.h"
#include "output/ReportDocument.h"
#include "output/SaveReport.h"

#include "TestPages.h"
#include "Tools.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

using namespace tallyrow;
using namespace tallyrow::engine;
using namespace tallyrow::testtools;
using namespace Qt::StringLiterals;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

#define REQUIRE_TOOL(name)                                                                                   \
    if (!haveTool(name))                                                                                     \
    GTEST_SKIP() << (name).toStdString() << " is not installed; this reader check cannot run"

// Set TALLYROW_KEEP_TEST_FILES to keep the written files for a look.
QString saved(QTemporaryDir& dir, const PageCollection& doc, const QString& name, ReportFormat format) {
    const QString path = dir.filePath(name);
    if (qEnvironmentVariableIsSet("TALLYROW_KEEP_TEST_FILES")) {
        dir.setAutoRemove(false);
        std::cout << "keeping " << path.toStdString() << '\n';
    }
    EXPECT_TRUE(saveReport(doc, path, format)) << name.toStdString();
    return path;
}

QString squeezed(QString s) {
    return s.simplified();
}

// Cells as xlrd sees them, keyed "row,col".
struct XlsCells {
    QJsonObject sheet;
    QMap<QString, QJsonObject> cells;
    QJsonObject at(int row, int col) const { return cells.value(QStringLiteral("%1,%2").arg(row).arg(col)); }
    // The first row holding `text`, or -1.
    int rowOf(const QString& text) const {
        int row = -1;
        for (const QJsonObject& c : cells)
            if (c[u"value"_s].toString() == text && (row < 0 || c[u"row"_s].toInt() < row))
                row = c[u"row"_s].toInt();
        return row;
    }
    int colOf(int row, const QString& text) const {
        for (const QJsonObject& c : cells)
            if (c[u"row"_s].toInt() == row && c[u"value"_s].toString() == text)
                return c[u"col"_s].toInt();
        return -1;
    }
};

XlsCells readXls(const QString& path) {
    XlsCells out;
    const ToolRun run = runTool(kPython, {QStringLiteral(TALLYROW_OUTPUT_TEST_DIR "/read_xls.py"), path});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonArray sheets = QJsonDocument::fromJson(run.out).object()[u"sheets"_s].toArray();
    EXPECT_EQ(sheets.size(), 1);
    if (sheets.isEmpty())
        return out;
    out.sheet = sheets[0].toObject();
    for (const QJsonValue& v : out.sheet[u"cells"_s].toArray()) {
        const QJsonObject c = v.toObject();
        out.cells.insert(QStringLiteral("%1,%2").arg(c[u"row"_s].toInt()).arg(c[u"col"_s].toInt()), c);
    }
    return out;
}

bool haveXlrd() {
    return haveTool(kPython) &&
           runTool(kPython, {QStringLiteral("-c"), QStringLiteral("import xlrd")}).exitCode == 0;
}

} // namespace

TEST(PdfExport, OnePdfPagePerReportPageWithTitleTextsAndEmbeddedFonts) {
    REQUIRE_TOOL(QStringLiteral("pdftotext"));
    QTemporaryDir dir;
    const PageCollection doc = testpages::dayReport(24, 12);
    const QString pdf = saved(dir, doc, QStringLiteral("day.pdf"), ReportFormat::Pdf);
    EXPECT_EQ(pdfInfo(pdf, QStringLiteral("Pages")), QString::number(doc.pages.size()));
    EXPECT_EQ(pdfInfo(pdf, QStringLiteral("Title")), QStringLiteral("Tallyrow Day Report"));
    EXPECT_EQ(pdfInfo(pdf, QStringLiteral("Page size")).section(u' ', 0, 2), QStringLiteral("612 x 792"));
    const QStringList pages = pdfPageTexts(pdf);
    ASSERT_EQ(pages.size(), doc.pages.size());
    for (int p = 0; p < pages.size(); ++p) {
        SCOPED_TRACE(p);
        const QString text = squeezed(pages[p]);
        for (const QString& t : testpages::pageTexts(doc, p))
            EXPECT_TRUE(text.contains(t)) << t.toStdString() << " missing from: " << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("%1 of 3").arg(p + 1)));
    }
    // Every font the PDF uses is embedded.
    const ToolRun fonts = runTool(QStringLiteral("pdffonts"), {pdf});
    const QStringList lines = QString::fromUtf8(fonts.out).split(u'\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_FALSE(lines.isEmpty());
    for (const QString& line : lines)
        EXPECT_TRUE(
            line.contains(QRegularExpression(QStringLiteral("\\byes\\s+(yes|no)\\s+(yes|no)\\s+\\d+"))))
            << line.toStdString();
}

TEST(PdfExport, ReopenedReportDocumentExportsTheSamePages) {
    REQUIRE_TOOL(QStringLiteral("pdftotext"));
    QTemporaryDir dir;
    const PageCollection doc = testpages::dayReport(30, 12);
    const QString rdf = saved(dir, doc, QStringLiteral("day.rdf"), ReportFormat::Rdf);
    const QString direct = saved(dir, doc, QStringLiteral("direct.pdf"), ReportFormat::Pdf);
    const QString reopened =
        saved(dir, loadReportDocument(rdf), QStringLiteral("reopened.pdf"), ReportFormat::Pdf);
    const QStringList a = pdfPageTexts(direct);
    EXPECT_EQ(a.size(), doc.pages.size());
    EXPECT_EQ(a, pdfPageTexts(reopened));
}

TEST(SpreadsheetExport, XlrdReadsCellsByRowAndColumnWithNumbersAsNumbers) {
    if (!haveXlrd())
        GTEST_SKIP() << "/usr/bin/python3 with xlrd is not installed";
    QTemporaryDir dir;
    const PageCollection doc = testpages::dayReport(24, 12);
    const XlsCells xls = readXls(saved(dir, doc, QStringLiteral("day.xls"), ReportFormat::Xls));

    EXPECT_EQ(xls.at(0, 0)[u"value"_s].toString(), QStringLiteral("Tallyrow Day Report"));
    EXPECT_EQ(xls.at(0, 0)[u"colour"_s].toArray(), (QJsonArray{0, 0, 128}));
    EXPECT_EQ(xls.at(2, 0)[u"value"_s].toString(),
              QString::fromUtf8("For user <Zoë Ångström> on computer <Büro-PC>"));

    // The heading row: one column per heading, in page order, bold.
    const int headings = xls.rowOf(QStringLiteral("Time"));
    ASSERT_GE(headings, 0);
    const QStringList names{u"Time"_s, u"Mon"_s, u"Tue"_s, u"Wed"_s, u"Thu"_s,
                            u"Fri"_s,  u"Sat"_s, u"Sun"_s, u"Avg"_s, u"Total"_s};
    QMap<QString, int> col;
    for (const QString& name : names) {
        col[name] = xls.colOf(headings, name);
        EXPECT_TRUE(xls.at(headings, col[name])[u"bold"_s].toBool()) << name.toStdString();
    }
    EXPECT_EQ(col[u"Time"_s], 0);
    for (qsizetype i = 1; i < names.size(); ++i)
        EXPECT_GT(col[names[i]], col[names[i - 1]]) << names[i].toStdString();
    // The first hour row: its time as text, its values as numbers under their headings, the
    // unselected Wednesday and Sunday empty.
    const int first = headings + 1;
    EXPECT_EQ(xls.at(first, 0)[u"value"_s].toString(), QStringLiteral("12:00 AM"));
    EXPECT_FALSE(xls.at(first, 0)[u"number"_s].toBool());
    EXPECT_TRUE(xls.at(first, col[u"Mon"_s])[u"number"_s].toBool());
    EXPECT_EQ(xls.at(first, col[u"Mon"_s])[u"value"_s].toDouble(), 0.0);
    EXPECT_EQ(xls.at(first, col[u"Tue"_s])[u"value"_s].toDouble(), 13.0);
    EXPECT_EQ(xls.at(first, col[u"Avg"_s])[u"value"_s].toDouble(), 21.6);
    EXPECT_EQ(xls.at(first, col[u"Total"_s])[u"value"_s].toDouble(), 108.0);
    EXPECT_TRUE(xls.at(first, col[u"Wed"_s]).isEmpty());
    EXPECT_TRUE(xls.at(first, col[u"Sun"_s]).isEmpty());
    EXPECT_EQ(xls.at(first + 1, col[u"Fri"_s])[u"value"_s].toDouble(), 59.5); // a fraction stays a fraction
    // Every hour appears, on consecutive rows within a page.
    for (int h = 0; h < 24; ++h)
        EXPECT_GE(xls.rowOf(testpages::hourLabel(h)), 0) << h;
    EXPECT_EQ(xls.rowOf(QStringLiteral("1:00 AM")), first + 1);
    const int totals = xls.rowOf(QStringLiteral("Totals"));
    ASSERT_GE(totals, 0);
    EXPECT_EQ(xls.at(totals, col[u"Total"_s])[u"value"_s].toDouble(), 2400.0);
}

TEST(SpreadsheetExport, LongTextsAndSmallWorkbooksSurviveTheContainer) {
    if (!haveXlrd())
        GTEST_SKIP() << "/usr/bin/python3 with xlrd is not installed";
    QTemporaryDir dir;
    // Thousands of distinct long texts overflow one string-table record many times over and
    // split texts across records; a single text makes a workbook small enough for the mini stream.
    PageCollection big;
    Page page;
    for (int i = 0; i < 3000; ++i) {
        TextItem t;
        t.rect = QRectF((i % 2) * 4000, (i / 2) * 300, 3000, 283);
        t.text = QStringLiteral("%1 %2 ü").arg(i).arg(QString(150 + i % 7, QChar(u'a' + i % 26)));
        page.items.push_back(t);
    }
    big.pages = {page};
    PageCollection small;
    small.pages = {Page{{TextItem{QRectF(0, 0, 100, 100), QStringLiteral("only"), {}, Qt::black, 0, {}}}}};

    const XlsCells a = readXls(saved(dir, big, QStringLiteral("big.xls"), ReportFormat::Xls));
    ASSERT_EQ(a.cells.size(), 3000);
    for (int i = 0; i < 3000; i += 7)
        EXPECT_EQ(a.at(i / 2, i % 2)[u"value"_s].toString(),
                  QStringLiteral("%1 %2 ü").arg(i).arg(QString(150 + i % 7, QChar(u'a' + i % 26))))
            << i;
    const XlsCells b = readXls(saved(dir, small, QStringLiteral("small.xls"), ReportFormat::Xls));
    EXPECT_EQ(b.at(0, 0)[u"value"_s].toString(), QStringLiteral("only"));
}

TEST(SpreadsheetExport, LibreOfficeCalcOpensItWithNumbersAsNumbers) {
    REQUIRE_TOOL(QStringLiteral("soffice"));
    QTemporaryDir dir;
    const QString xls =
        saved(dir, testpages::dayReport(24, 12), QStringLiteral("day.xls"), ReportFormat::Xls);
    QString error;
    // Quote all text cells, so the CSV tells text from numbers.
    const QString csv = sofficeConvert(
        xls, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true"), dir.path(), &error);
    ASSERT_FALSE(csv.isEmpty()) << error.toStdString();
    const QStringList lines = QString::fromUtf8(readFile(csv)).split(u'\n');
    EXPECT_TRUE(lines.value(0).startsWith(QStringLiteral("\"Tallyrow Day Report\"")))
        << lines.value(0).toStdString();
    // The page footer's "n of m" sits between "Avg" and "Total" on the page, so it has columns
    // of its own there.
    const auto lineStarting = [&](const QString& start) {
        for (const QString& line : lines)
            if (line.startsWith(start))
                return line;
        return QString();
    };
    const QString headings = lineStarting(
        QStringLiteral("\"Time\",\"Mon\",\"Tue\",\"Wed\",\"Thu\",\"Fri\",\"Sat\",\"Sun\",\"Avg\","));
    EXPECT_TRUE(headings.endsWith(QStringLiteral(",\"Total\""))) << lines.join(u'\n').toStdString();
    const QString first = lineStarting(QStringLiteral("\"12:00 AM\",0,13,,39,52,4,,21.6,"));
    EXPECT_TRUE(first.endsWith(QStringLiteral(",108"))) << lines.join(u'\n').toStdString();
    EXPECT_EQ(first.count(u','), headings.count(u','));
}

TEST(RichTextExport, LibreOfficeWriterShowsTheSameTextsOnTheSamePages) {
    REQUIRE_TOOL(QStringLiteral("soffice"));
    REQUIRE_TOOL(QStringLiteral("pdftotext"));
    QTemporaryDir dir;
    PageCollection doc = testpages::dayReport(24, 12);
    TextItem odd;
    odd.rect = QRectF(71, 1843, 8858, 283);
    odd.text = QStringLiteral("Braces {kept} and back\\slash, \u20AC and \U0001F600");
    doc.pages[0].items.push_back(odd);
    const QString rtf = saved(dir, doc, QStringLiteral("day.rtf"), ReportFormat::Rtf);
    QString error;
    const QString pdf = sofficeConvert(rtf, QStringLiteral("pdf"), dir.path(), &error);
    ASSERT_FALSE(pdf.isEmpty()) << error.toStdString();
    EXPECT_EQ(pdfInfo(pdf, QStringLiteral("Pages")), QString::number(doc.pages.size()));
    const QStringList pages = pdfPageTexts(pdf);
    ASSERT_EQ(pages.size(), doc.pages.size());
    for (int p = 0; p < pages.size(); ++p) {
        SCOPED_TRACE(p);
        const QString text = squeezed(pages[p]);
        for (const QString& t : testpages::pageTexts(doc, p))
            EXPECT_TRUE(text.contains(t)) << t.toStdString() << " missing from: " << text.toStdString();
    }
}

TEST(RichTextExport, TableRowsStayRowsAndTheChartIsAPicture) {
    REQUIRE_TOOL(QStringLiteral("soffice"));
    QTemporaryDir dir;
    const QString rtf =
        saved(dir, testpages::dayReport(24, 12), QStringLiteral("day.rtf"), ReportFormat::Rtf);
    QString error;
    const QString html = sofficeConvert(rtf, QStringLiteral("html"), dir.path(), &error);
    ASSERT_FALSE(html.isEmpty()) << error.toStdString();
    const QString text = QString::fromUtf8(readFile(html));
    // A row of the table keeps its cells side by side.
    const QRegularExpression row(
        QStringLiteral("<tr[^>]*>(?:(?!</tr>).)*12:00\\s+AM(?:(?!</tr>).)*>\\s*108\\s*<"),
        QRegularExpression::DotMatchesEverythingOption);
    EXPECT_TRUE(row.match(text).hasMatch());
    EXPECT_GE(text.count(QStringLiteral("<tr")), 24 + 3 * 2);
    EXPECT_TRUE(text.contains(QStringLiteral("<img"))) << "the chart picture is missing";
}

// A report document may lay charts out as large as it likes: each picture in the rich text has
// no more pixels than a letter page at print resolution, whatever the chart's size.
TEST(RichTextExport, AChartLaidOutHugeCostsNoMoreThanAPage) {
    PageCollection doc = testpages::dayReport(24, 12);
    auto& items = doc.pages.front().items;
    for (auto& item : items) {
        if (auto* chart = std::get_if<ChartItem>(&item)) {
            chart->rect = QRectF(0, 0, 200 * kTwipsPerInch, 150 * kTwipsPerInch);
            for (auto& series : chart->chart.series)
                series.values.resize(20000, 30.0);
        }
    }
    QTemporaryDir dir;
    const QByteArray rtf = readFile(saved(dir, doc, QStringLiteral("huge.rtf"), ReportFormat::Rtf));
    const QRegularExpression picture(QStringLiteral("\\\\picw(\\d+)\\\\pich(\\d+)"));
    int pictures = 0;
    for (auto m = picture.globalMatch(QString::fromLatin1(rtf)); m.hasNext(); ++pictures) {
        const auto match = m.next();
        EXPECT_LE(match.captured(1).toLongLong() * match.captured(2).toLongLong(),
                  8.5 * 11 * 150 * 150 + 4000);
    }
    EXPECT_EQ(pictures, 1);
}

namespace {

// The test report with a shaded table: the first row's Tuesday in dark blue under white text,
// its Thursday a wide number on a light shade, and a legend of shaded swatches under the rows
// whose positions fall between the table's columns, as the Day report's legend does.
const QColor kDarkShade(0, 0, 128);
const QColor kLightShade(128, 128, 192);

PageCollection shadedDayReport() {
    PageCollection doc = testpages::dayReport(24, 12);
    Page& page = doc.pages.first();
    auto shade = [&](TextItem* cell, const QString& text, const QColor& fill) {
        cell->text = text;
        cell->color = fill == kDarkShade ? QColor(Qt::white) : QColor(Qt::black);
        page.items.push_back(FillItem{cell->rect.adjusted(-35, 0, 35, 122), fill});
        page.items.push_back(*cell); // drawn over its fill
        cell->text.clear();
    };
    TextItem* tuesday = nullptr;
    TextItem* thursday = nullptr;
    for (PageItem& item : page.items) {
        auto* t = std::get_if<TextItem>(&item);
        if (t && !tuesday && t->name == u"txtDay2"_s)
            tuesday = t;
        else if (t && !thursday && t->name == u"txtDay4"_s)
            thursday = t;
    }
    TextItem tue = *tuesday, thu = *thursday;
    tuesday->text.clear();
    thursday->text.clear();
    shade(&tue, u"901"_s, kDarkShade);
    shade(&thu, u"123456"_s, kLightShade);
    TextItem caption;
    caption.rect = QRectF(142, 13700, 2400, 283);
    caption.text = u"Shading (minutes):"_s;
    caption.font.pointSize = 9;
    page.items.push_back(caption);
    for (int i = 0; i < 3; ++i) {
        TextItem swatch = caption;
        swatch.rect = QRectF(2835 + 560 * i, 13660, 540, 320);
        swatch.alignment = Qt::AlignHCenter | Qt::AlignTop;
        shade(&swatch, QString::number(910 + i), i == 2 ? kDarkShade : kLightShade);
    }
    return doc;
}

// The background colour of the table cell showing `text` in LibreOffice's HTML of a file.
QString cellBackground(const QString& html, const QString& text) {
    const QRegularExpression cell(u"<td[^>]*bgcolor=\"(#[0-9a-fA-F]{6})\"[^>]*>((?:(?!</td>).)*)</td>"_s,
                                  QRegularExpression::DotMatchesEverythingOption);
    for (auto m = cell.globalMatch(html); m.hasNext();) {
        const auto match = m.next();
        QString inner = match.captured(2);
        if (inner.remove(QRegularExpression(u"<[^>]*>"_s)).simplified() == text)
            return match.captured(1).toLower();
    }
    return {};
}

} // namespace

class ShadedExport : public ::testing::TestWithParam<ReportFormat> {};

TEST_P(ShadedExport, ShadedCellsAndLegendSwatchesKeepTheirShadingInAWordProcessorOrSpreadsheet) {
    REQUIRE_TOOL(QStringLiteral("soffice"));
    QTemporaryDir dir;
    const QString name = GetParam() == ReportFormat::Rtf ? u"shaded.rtf"_s : u"shaded.xls"_s;
    QString error;
    const QString html =
        sofficeConvert(saved(dir, shadedDayReport(), name, GetParam()), u"html"_s, dir.path(), &error);
    ASSERT_FALSE(html.isEmpty()) << error.toStdString();
    const QString text = QString::fromUtf8(readFile(html));
    EXPECT_EQ(cellBackground(text, u"901"_s), kDarkShade.name());
    EXPECT_EQ(cellBackground(text, u"123456"_s), kLightShade.name());
    EXPECT_EQ(cellBackground(text, u"910"_s), kLightShade.name()) << "a legend swatch";
    EXPECT_EQ(cellBackground(text, u"912"_s), kDarkShade.name()) << "a legend swatch";
}

INSTANTIATE_TEST_SUITE_P(RtfAndXls, ShadedExport, ::testing::Values(ReportFormat::Rtf, ReportFormat::Xls));

TEST(SpreadsheetExport, EveryNumberFitsItsColumnAndTheTotalsStayOnThePage) {
    REQUIRE_TOOL(QStringLiteral("soffice"));
    REQUIRE_TOOL(QStringLiteral("pdftotext"));
    QTemporaryDir dir;
    QString error;
    const QString pdf = sofficeConvert(saved(dir, shadedDayReport(), u"shaded.xls"_s, ReportFormat::Xls),
                                       u"pdf"_s, dir.path(), &error);
    ASSERT_FALSE(pdf.isEmpty()) << error.toStdString();
    for (const QString& page : pdfPageTexts(pdf)) {
        EXPECT_FALSE(page.contains(u"###"_s)) << page.toStdString();
        EXPECT_TRUE(!page.contains(u"Mon"_s) || page.contains(u"Total"_s))
            << "the Total column went onto a page of its own";
    }
}

TEST(RichTextExport, ALineBeforeAWideGapStaysAtItsPlace) {
    REQUIRE_TOOL(QStringLiteral("soffice"));
    REQUIRE_TOOL(QStringLiteral("pdftotext"));
    // Key figures under the chart, then nothing until the page footer.
    PageCollection doc;
    doc.paperSize = QSizeF(12240, 15840);
    doc.printableRect = QRectF(1440, 720, 9360, 14400);
    Page page;
    for (int i = 0; i < 4; ++i)
        page.items.push_back(TextItem{QRectF(71, 9900 + 340 * i, 8858, 284),
                                      u"Figure %1"_s.arg(i + 1),
                                      FontStyle{u"Tahoma"_s, 10},
                                      Qt::black,
                                      Qt::AlignLeft | Qt::AlignTop,
                                      {}});
    page.items.push_back(TextItem{QRectF(7441, 14088, 600, 200),
                                  u"1"_s,
                                  FontStyle{u"Tahoma"_s, 8.5},
                                  Qt::black,
                                  Qt::AlignRight | Qt::AlignTop,
                                  {}});
    doc.pages = {page};
    QTemporaryDir dir;
    QString error;
    const QString pdf =
        sofficeConvert(saved(dir, doc, u"figures.rtf"_s, ReportFormat::Rtf), u"pdf"_s, dir.path(), &error);
    ASSERT_FALSE(pdf.isEmpty()) << error.toStdString();
    const ToolRun boxes = runTool(u"pdftotext"_s, {u"-bbox"_s, pdf, u"-"_s});
    const QRegularExpression word(u"yMin=\"([0-9.]+)\"[^>]*>4</word>"_s);
    const auto match = word.match(QString::fromUtf8(boxes.out));
    ASSERT_TRUE(match.hasMatch()) << boxes.out.toStdString();
    const double expectedTop = (720 + 9900 + 340 * 3) / 20.0; // points from the top of the sheet
    EXPECT_NEAR(match.captured(1).toDouble(), expectedTop, 12.0) << "the fourth figure sank down the page";
}
