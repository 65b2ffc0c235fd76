#include "engine/PagePainter.h"
#include "engine/Report.h"
#include "testsupport/ImageCompare.h"
#include "testsupport/PrintQueue.h"
#include "testsupport/SystemTools.h"
#include "engine/ChartLayout.h"
#include "engine/ui/ReportViewer.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace tallyrow::engine;
using namespace Qt::StringLiterals;

namespace {

/// A report of `rows` Detail rows of 1000 twips: about 14 rows a page.
class CountingReport : public Report {
public:
    explicit CountingReport(int rows) : m_rows(rows) {
        Detail().height = 1000;
        auto* f = Detail().add<Field>(u"txtTotal"_s);
        f->dataField = u"Total"_s;
        f->rect = QRectF(0, 0, 2000, 300);
        PageFooter().height = 300;
    }
    int runs = 0;
    bool failInDetail = false;

protected:
    void onReportStart() override {
        ++runs;
        RowSet data;
        data.appendColumn(u"Total"_s, RowSet::Type::Int32);
        for (int i = 0; i < m_rows; ++i)
            data.appendRow({i});
        setDataSource(data);
    }
    void onDetailFormat() override {
        if (failInDetail)
            throw std::runtime_error("cannot format");
    }

private:
    int m_rows;
};

class ReportViewerTest : public ::testing::Test {
protected:
    ReportViewerTest() {
        viewer.setObjectName(u"arvPreview"_s);
        viewer.resize(800, 600);
    }
    template <typename T> T* child(const QString& name) { return viewer.findChild<T*>(name); }
    ReportViewer viewer;
};

} // namespace

TEST_F(ReportViewerTest, SettingAReportRunsItOnceAndSignalsLoadCompletedOnce) {
    CountingReport report(40);
    QSignalSpy loaded(&viewer, &ReportViewer::LoadCompleted);
    viewer.setReportSource(&report);
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(report.runs, 1);
    EXPECT_EQ(viewer.reportSource(), &report);
    EXPECT_GE(viewer.pageCount(), 3);
    EXPECT_EQ(viewer.currentPage(), 0);
    EXPECT_EQ(child<QLabel>(u"lblPageOf"_s)->text(), u"of %1"_s.arg(viewer.pageCount()));
}

TEST_F(ReportViewerTest, NoReportEmptiesTheViewer) {
    CountingReport report(5);
    viewer.setReportSource(&report);
    QSignalSpy loaded(&viewer, &ReportViewer::LoadCompleted);
    viewer.setReportSource(nullptr);
    EXPECT_EQ(viewer.reportSource(), nullptr);
    EXPECT_EQ(viewer.pageCount(), 0);
    EXPECT_EQ(viewer.currentPage(), -1);
    EXPECT_FALSE(child<QToolButton>(u"cmdViewerPrint"_s)->isEnabled());
    EXPECT_FALSE(viewer.PrintReport(false)) << "nothing to print";
    EXPECT_EQ(loaded.count(), 0);
}

TEST_F(ReportViewerTest, ForgetsAReportThatIsDeleted) {
    auto* report = new CountingReport(1);
    viewer.setReportSource(report);
    delete report;
    EXPECT_EQ(viewer.reportSource(), nullptr);
    EXPECT_EQ(viewer.pageCount(), 1) << "the pages stay on screen";
}

TEST_F(ReportViewerTest, NavigatesPagesWithButtonsAndStopsAtTheEnds) {
    CountingReport report(40);
    viewer.setReportSource(&report);
    const int last = viewer.pageCount() - 1;
    EXPECT_FALSE(child<QToolButton>(u"cmdPreviousPage"_s)->isEnabled());
    QTest::mouseClick(child<QToolButton>(u"cmdNextPage"_s), Qt::LeftButton);
    EXPECT_EQ(viewer.currentPage(), 1);
    EXPECT_EQ(child<QSpinBox>(u"spnPage"_s)->value(), 2);
    QTest::mouseClick(child<QToolButton>(u"cmdLastPage"_s), Qt::LeftButton);
    EXPECT_EQ(viewer.currentPage(), last);
    EXPECT_FALSE(child<QToolButton>(u"cmdNextPage"_s)->isEnabled());
    viewer.nextPage();
    EXPECT_EQ(viewer.currentPage(), last);
    child<QSpinBox>(u"spnPage"_s)->setValue(2);
    EXPECT_EQ(viewer.currentPage(), 1);
    QTest::mouseClick(child<QToolButton>(u"cmdFirstPage"_s), Qt::LeftButton);
    EXPECT_EQ(viewer.currentPage(), 0);
}

TEST_F(ReportViewerTest, ZoomsByPercentAndFitsWidthOrPage) {
    CountingReport report(3);
    viewer.setReportSource(&report);
    viewer.setZoomPercent(150);
    EXPECT_EQ(viewer.zoomPercent(), 150);
    EXPECT_EQ(child<QComboBox>(u"cboZoom"_s)->currentText(), u"150%"_s);
    viewer.setZoomPercent(500);
    EXPECT_EQ(viewer.zoomPercent(), 200);
    viewer.setZoomMode(ReportViewer::ZoomMode::FitPage);
    const int fitPage = viewer.zoomPercent();
    viewer.setZoomMode(ReportViewer::ZoomMode::FitWidth);
    EXPECT_GT(viewer.zoomPercent(), fitPage) << "a portrait page in a landscape window";
    viewer.resize(1200, 600);
    EXPECT_GT(viewer.zoomPercent(), fitPage) << "fit width follows the window";

    // A fitted page needs no horizontal scroll bar, before or after the vertical one shows.
    viewer.show();
    QTest::qWait(20);
    for (const auto mode : {ReportViewer::ZoomMode::FitWidth, ReportViewer::ZoomMode::FitPage}) {
        viewer.setZoomMode(mode);
        QApplication::processEvents();
        const auto* scroll = child<QScrollArea>(u"scrPages"_s);
        EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << int(mode);
        if (mode == ReportViewer::ZoomMode::FitWidth) {
            EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
            EXPECT_GT(scroll->widget()->width(), scroll->viewport()->width() - 10) << "the width is used";
        }
    }
}

namespace {

void wheel(QWidget* target, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST_F(ReportViewerTest, CtrlWheelAndCtrlPlusMinusZoomInSteps) {
    CountingReport report(3);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    viewer.setReportSource(&report);
    viewer.setZoomPercent(100);
    QWidget* pages = child<QScrollArea>(u"scrPages"_s)->viewport();
    wheel(pages, 120, Qt::ControlModifier);
    EXPECT_EQ(viewer.zoomPercent(), 125);
    wheel(pages, -240, Qt::ControlModifier);
    EXPECT_EQ(viewer.zoomPercent(), 75);
    wheel(pages, -120, Qt::ControlModifier);
    wheel(pages, -120, Qt::ControlModifier);
    EXPECT_EQ(viewer.zoomPercent(), 50) << "stays at the smallest step";

    viewer.activateWindow();
    viewer.setFocus();
    QTest::keyClick(&viewer, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(viewer.zoomPercent(), 75);
    QTest::keyClick(&viewer, Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(viewer.zoomPercent(), 100);
    QTest::keyClick(&viewer, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(viewer.zoomPercent(), 75);
    QTest::keyClick(&viewer, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(viewer.zoomPercent(), 100) << "Ctrl+0 is the real size";
    EXPECT_EQ(viewer.currentPage(), 0) << "zooming never turns the page";
}

TEST_F(ReportViewerTest, PageKeysAndTheWheelPastAPagesEndTurnPages) {
    CountingReport report(40);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    viewer.setReportSource(&report);
    viewer.setZoomPercent(200);
    QTest::keyClick(&viewer, Qt::Key_PageDown);
    EXPECT_EQ(viewer.currentPage(), 1);
    QTest::keyClick(&viewer, Qt::Key_PageUp);
    EXPECT_EQ(viewer.currentPage(), 0);

    auto* area = child<QScrollArea>(u"scrPages"_s);
    QScrollBar* bar = area->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "a page taller than the window";
    wheel(area->viewport(), -120);
    EXPECT_EQ(viewer.currentPage(), 0) << "the wheel scrolls within the page first";
    bar->setValue(bar->maximum());
    wheel(area->viewport(), -120);
    EXPECT_EQ(viewer.currentPage(), 1);
    EXPECT_EQ(bar->value(), 0) << "the next page starts at its top";
    wheel(area->viewport(), 120);
    EXPECT_EQ(viewer.currentPage(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "back at the end of the page before";
    wheel(area->viewport(), 120);
    bar->setValue(0);
    wheel(area->viewport(), 120);
    EXPECT_EQ(viewer.currentPage(), 0) << "nothing before the first page";

    // With the focus on the pages themselves, Page Down scrolls through page 1 into page 2.
    area->setFocus();
    for (int i = 0; i < 20 && viewer.currentPage() == 0; ++i)
        QTest::keyClick(area, Qt::Key_PageDown);
    EXPECT_EQ(viewer.currentPage(), 1);
    EXPECT_EQ(bar->value(), 0);
    QTest::keyClick(area, Qt::Key_PageUp);
    EXPECT_EQ(viewer.currentPage(), 0);
}

TEST_F(ReportViewerTest, ANoticeShowsAboveThePagesUntilOthersAreShown) {
    CountingReport report(3);
    viewer.setReportSource(&report);
    viewer.setNotice(u"No activity recorded for these options"_s);
    EXPECT_FALSE(child<QLabel>(u"lblViewerNotice"_s)->isHidden());
    EXPECT_EQ(viewer.currentPage(), 0);
    EXPECT_EQ(viewer.pageCount(), 1) << "the page itself is untouched";
    viewer.setReportSource(&report);
    EXPECT_TRUE(viewer.notice().isEmpty());
    EXPECT_TRUE(child<QLabel>(u"lblViewerNotice"_s)->isHidden());
}

TEST_F(ReportViewerTest, ShowsAPageCollectionWithoutAReport) {
    CountingReport report(20);
    report.Run();
    QSignalSpy loaded(&viewer, &ReportViewer::LoadCompleted);
    viewer.setPages(report.pages());
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(viewer.reportSource(), nullptr);
    EXPECT_EQ(viewer.pageCount(), report.pages().pages.size());
}

TEST_F(ReportViewerTest, ShowsAnErrorTheReportDidNotShowItself) {
    CountingReport report(3);
    report.failInDetail = true;
    QSignalSpy loaded(&viewer, &ReportViewer::LoadCompleted);
    viewer.setReportSource(&report);
    EXPECT_EQ(loaded.count(), 1) << "the load still completes";
    EXPECT_TRUE(viewer.statusText().contains(u"cannot format"_s));
}

TEST_F(ReportViewerTest, PrintsEveryPageAndACancelledDialogPrintsNothing) {
    CountingReport report(40);
    viewer.setReportSource(&report);
    QTemporaryDir dir;
    const QString file = dir.filePath(u"printed.pdf"_s);

    int dialogs = 0;
    viewer.setPrintDialogRunner([&](QPrinter& printer, QWidget*) {
        ++dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        return false;
    });
    EXPECT_FALSE(viewer.PrintReport(true));
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(QFile::exists(file));

    viewer.setPrintDialogRunner([&](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        return true;
    });
    EXPECT_TRUE(viewer.PrintReport(true));
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page "), viewer.pageCount());
}

// What the print dialog was left at comes back the next time in the session; the job carries
// its title; a portrait report printed in Landscape comes out as a landscape page with the report
// upright on it (never turned a quarter, which the print system would turn back).
TEST_F(ReportViewerTest, PrintChoicesLastTheSessionAndLandscapeGivesALandscapePage) {
    ReportViewer::forgetPrintChoices();
    CountingReport report(40);
    viewer.setReportSource(&report);
    viewer.setJobTitle(u"Total activity, 2024-05-06 to 2024-05-12, anna on PC1"_s);
    QTemporaryDir dir;
    const QString file = dir.filePath(u"landscape.pdf"_s);
    QString docName;
    viewer.setPrintDialogRunner([&](QPrinter& printer, QWidget*) {
        docName = printer.docName();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 2);
        printer.setCopyCount(2);
        return true;
    });
    ASSERT_TRUE(viewer.PrintReport(true));
    EXPECT_EQ(docName, u"Total activity, 2024-05-06 to 2024-05-12, anna on PC1"_s);

    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    int from = 0;
    int copies = 0;
    viewer.setPrintDialogRunner([&](QPrinter& printer, QWidget*) {
        orientation = printer.pageLayout().orientation();
        from = printer.fromPage();
        copies = printer.copyCount();
        return false;
    });
    viewer.PrintReport(true);
    EXPECT_EQ(orientation, QPageLayout::Landscape);
    EXPECT_EQ(from, 2);
    EXPECT_EQ(copies, 2);
    ReportViewer::forgetPrintChoices();

    // The printed sheet, read back by poppler: a landscape page whose ink stands upright.
    QProcess render;
    render.start(u"pdftoppm"_s,
                 {u"-r"_s, u"20"_s, u"-png"_s, u"-singlefile"_s, file, dir.filePath(u"sheet"_s)});
    if (!render.waitForFinished(30000) || render.exitCode() != 0)
        GTEST_SKIP() << "pdftoppm (poppler-utils) is needed to look at the printed sheet";
    const QImage sheet(dir.filePath(u"sheet.png"_s));
    ASSERT_GT(sheet.width(), sheet.height());
    QRect ink;
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x)
            if (qGray(sheet.pixel(x, y)) < 200)
                ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GT(ink.height(), sheet.height() / 2) << "the page fills the sheet's height";
    EXPECT_LE(ink.width(), sheet.width() / 2 + 1) << "the page stands upright, not turned";
}

// A click on a row of the table names the row's field and its place from the first page on, so
// the window can offer what lies behind it.
TEST_F(ReportViewerTest, AClickOnATextNamesItsFieldAndRow) {
    CountingReport report(40);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    viewer.setReportSource(&report);
    viewer.setZoomPercent(100);
    const double scale = viewer.logicalDpiX() / kTwipsPerInch;
    const auto pointOf = [&](int page, int nth) {
        int seen = 0;
        for (const PageItem& item : viewer.pages().pages[page].items) {
            const auto* text = std::get_if<TextItem>(&item);
            if (text && text->name == u"txtTotal"_s && seen++ == nth)
                return ((text->rect.center() + viewer.pages().printableRect.topLeft()) * scale +
                        QPointF(12, 12))
                    .toPoint();
        }
        return QPoint(-100, -100);
    };
    EXPECT_EQ(viewer.textItemAt(pointOf(0, 2)), std::make_pair(u"txtTotal"_s, 2));
    int onFirst = 0;
    for (const PageItem& item : viewer.pages().pages[0].items)
        onFirst += std::holds_alternative<TextItem>(item) && std::get<TextItem>(item).name == u"txtTotal"_s;
    viewer.setCurrentPage(1);
    EXPECT_EQ(viewer.textItemAt(pointOf(1, 0)), std::make_pair(u"txtTotal"_s, onFirst));
    EXPECT_EQ(viewer.textItemAt(QPoint(1, 1)).second, -1) << "the desk around the sheet holds nothing";
}

namespace {

/// One A4 page holding a chart of `type` with axis titles, as the reports' title pages do.
PageCollection chartPage(int type) {
    PageCollection doc;
    const PageSetup setup = PageSetup::forPageSize(QPageSize(QPageSize::A4));
    doc.paperSize = setup.paperSize;
    doc.printableRect = setup.printableRect;
    ChartDefinition chart;
    chart.chartType = type;
    chart.axes[AxisId::Value].title = u"Active minutes per hour"_s;
    chart.axes[AxisId::Category].title = u"Time"_s;
    ChartSeries s{u"All Days"_s, {}};
    for (int h = 0; h < 24; ++h) {
        chart.categories << u"%1:00"_s.arg(h);
        s.values << (h * 7) % 60;
    }
    chart.series << s;
    Page page;
    page.items.append(ChartItem{QRectF(75, 0, 8925, 6795), chart});
    doc.pages << page;
    return doc;
}

} // namespace

// A click on a chart of categories names the category under it (a period, a line of the
// report), so the window can offer what lies behind it: a column of a chart that runs across,
// a row of horizontal bars.
TEST_F(ReportViewerTest, AClickOnAChartNamesTheCategoryUnderIt) {
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    for (int type : {ChartType::Line2D, ChartType::HorizontalBar2D}) {
        SCOPED_TRACE(type);
        viewer.setPages(chartPage(type));
        viewer.setZoomPercent(100);
        const ChartItem& item = std::get<ChartItem>(viewer.pages().pages[0].items[0]);
        const ChartLayout layout = layoutChart(item.chart, item.rect);
        const double scale = viewer.logicalDpiX() / kTwipsPerInch;
        const QRectF& plot = layout.plotRect;
        const QPointF inFifth = type == ChartType::Line2D
                                    ? QPointF(plot.left() + plot.width() / 24 * 5.5, plot.center().y())
                                    : QPointF(plot.left() + 10, plot.top() + plot.height() / 24 * 5.5);
        const QPoint at =
            ((inFifth + viewer.pages().printableRect.topLeft()) * scale + QPointF(12, 12)).toPoint();
        EXPECT_EQ(viewer.textItemAt(at), std::make_pair(u"chart"_s, 5));
    }
}

namespace {

/// The sheet as the viewer shows it at its current zoom, brought to `common` pixels.
QImage shownSheet(QWidget* view, QSize common) {
    const QImage shot = view->grab().toImage();
    const QRect sheet = QRect(QPoint(0, 0), shot.size()).adjusted(12, 12, -12, -12); // the desk around it
    return shot.copy(sheet).scaled(common, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

using tallyrow::test::meanDifference;

} // namespace

TEST_F(ReportViewerTest, ChartTextScalesWithTheZoomAsOnPaper) {
    const PageCollection doc = chartPage(ChartType::Line2D);
    viewer.setPages(doc);
    auto* view = child<QWidget>(u"pageView"_s);
    ASSERT_NE(view, nullptr);
    const QSize common(298, 421);
    QImage paper(common * 2, QImage::Format_RGB32);
    paper.fill(Qt::white);
    {
        QPainter p(&paper);
        paintPage(p, doc, 0, QRectF(QPointF(), QSizeF(paper.size())));
    }
    paper = paper.scaled(common, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (int zoom : {50, 100, 200}) {
        SCOPED_TRACE(zoom);
        viewer.setZoomPercent(zoom);
        EXPECT_LT(meanDifference(paper, shownSheet(view, common)), 1.5);
    }
    viewer.setZoomMode(ReportViewer::ZoomMode::FitPage);
    EXPECT_LT(meanDifference(paper, shownSheet(view, common)), 1.5) << "fit page";
}

namespace {

/// Runs `act` on the modal dialog of class `className` once it is open (ten seconds at most).
void whenOpen(const char* className, const std::function<void(QDialog*)>& act, int tries = 500) {
    QTimer::singleShot(20, qApp, [=] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->inherits(className) && dialog->isVisible())
            act(dialog);
        else if (tries > 0)
            whenOpen(className, act, tries - 1);
    });
}

/// In the print dialog, opens Properties as a user does and hands `act` its Landscape button;
/// `act` says whether to leave Properties with OK.
void onLandscapeButton(QDialog* printDialog, const std::function<bool(QRadioButton*)>& act) {
    whenOpen("QPrintPropertiesDialog", [act](QDialog* properties) {
        QRadioButton* landscape = nullptr;
        for (auto* button : properties->findChildren<QRadioButton*>())
            if (button->text().remove(u'&') == u"Landscape")
                landscape = button;
        act(landscape) ? properties->accept() : properties->reject();
    });
    printDialog->findChild<QPushButton*>(u"properties"_s)->click();
}

/// Each page of `pdf` as it is shown (its rotation applied), in points, read by pdfinfo.
QList<QSizeF> shownPageSizes(const QString& pdf) {
    QProcess info;
    info.start(u"pdfinfo"_s, {u"-f"_s, u"1"_s, u"-l"_s, u"999"_s, pdf});
    info.waitForFinished(30000);
    const QString text = QString::fromLocal8Bit(info.readAllStandardOutput());
    const QRegularExpression page(
        uR"(^Page\s+\d+\s+size:\s+([\d.]+) x ([\d.]+).*\n^Page\s+\d+\s+rot:\s+(\d+))"_s,
        QRegularExpression::MultilineOption);
    QList<QSizeF> sizes;
    for (auto m = page.globalMatch(text); m.hasNext();) {
        const auto found = m.next();
        QSizeF size(found.captured(1).toDouble(), found.captured(2).toDouble());
        if (found.captured(3).toInt() % 180 == 90)
            size.transpose();
        sizes << size;
    }
    return sizes;
}

} // namespace

// Printed in Landscape through a real queue (a CUPS server with the PDF printer, set up by the
// test), every page of the file is landscape, A4 across (842 x 595 points as shown), and the next
// print dialog shows Landscape.
TEST_F(ReportViewerTest, LandscapeThroughARealQueueGivesLandscapePagesAndIsKept) {
    tallyrow::test::PrintQueue queue;
    if (!queue.running())
        TALLYROW_SKIP_UNLESS_CI(queue.whyNotRunning().toStdString());
    // Qt's printing asks the CUPS server it first found, for the life of the process.
    if (!QPrinterInfo::availablePrinterNames().contains(queue.printerName()))
        GTEST_SKIP() << "this process looked for printers before the queue ran: run the test on its own, as "
                        "ctest does";
    ReportViewer::forgetPrintChoices();
    CountingReport report(40);
    viewer.setReportSource(&report);
    const QString title = u"TallyrowLandscape%1"_s.arg(QCoreApplication::applicationPid());
    viewer.setJobTitle(title);

    whenOpen("QPrintDialog", [](QDialog* dialog) {
        onLandscapeButton(dialog, [](QRadioButton* landscape) {
            if (landscape)
                landscape->click();
            return landscape != nullptr;
        });
        dialog->accept();
    });
    ASSERT_TRUE(viewer.PrintReport(true));
    ASSERT_TRUE(queue.waitUntilIdle()) << queue.log().toStdString();
    const QStringList printed = queue.printedFiles(title);
    ASSERT_EQ(printed.size(), 1) << queue.log().toStdString();
    const QList<QSizeF> pages = shownPageSizes(printed.first());
    QFile::remove(printed.first());
    ASSERT_EQ(pages.size(), viewer.pageCount());
    for (const QSizeF& page : pages) {
        EXPECT_NEAR(page.width(), 842, 2) << queue.log().toStdString();
        EXPECT_NEAR(page.height(), 595, 2);
    }

    bool shownLandscape = false;
    whenOpen("QPrintDialog", [&](QDialog* dialog) {
        onLandscapeButton(dialog, [&](QRadioButton* landscape) {
            shownLandscape = landscape && landscape->isChecked();
            return false;
        });
        dialog->reject();
    });
    EXPECT_FALSE(viewer.PrintReport(true));
    EXPECT_TRUE(shownLandscape) << "the next print dialog shows Portrait";
    ReportViewer::forgetPrintChoices();
}
