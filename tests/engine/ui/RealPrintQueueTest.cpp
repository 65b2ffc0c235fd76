#include "engine/Report.h"
#include "engine/ui/ReportViewer.h"
#include "testsupport/PrintQueue.h"
#include "testsupport/SystemTools.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace tallyrow::engine;
using namespace tallyrow::test;
using namespace Qt::StringLiterals;

namespace {

/// Three pages of text: a title and numbered rows.
class TextReport : public Report {
public:
    TextReport() {
        auto* title = ReportHeader().add<Label>(u"lblTitle"_s);
        title->caption = u"Activity by period, printed across the page"_s;
        title->rect = QRectF(0, 0, 9000, 400);
        ReportHeader().height = 500;
        Detail().height = 1000;
        auto* f = Detail().add<Field>(u"txtRow"_s);
        f->dataField = u"Row"_s;
        f->rect = QRectF(0, 0, 6000, 300);
    }

protected:
    void onReportStart() override {
        RowSet data;
        data.appendColumn(u"Row"_s, RowSet::Type::Text);
        for (int i = 1; i <= 30; ++i)
            data.appendRow({u"Row %1 of the printed report"_s.arg(i)});
        setDataSource(data);
    }
};

/// Runs `act` on the next modal dialog whose class is `className` once it is open, ten seconds at
/// most; the dialog's own exec() keeps the events going meanwhile.
void whenOpen(const char* className, std::function<void(QDialog*)> act) {
    auto tries = std::make_shared<int>(0);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [=] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->inherits(className) && dialog->isVisible()) {
            act(dialog);
            *poll = nullptr;
            return;
        }
        if (++*tries < 500)
            QTimer::singleShot(20, qApp, [poll] {
                if (*poll)
                    (*poll)();
            });
    };
    QTimer::singleShot(0, qApp, [poll] { (*poll)(); });
}

QRadioButton* orientationButton(QDialog* properties, const QString& caption) {
    for (auto* button : properties->findChildren<QRadioButton*>()) {
        if (button->text().remove(u'&') == caption)
            return button;
    }
    return nullptr;
}

/// Opens the print dialog's Properties as a user does and hands the Landscape button to
/// `act`, which says whether to keep what it did (OK) or not (Cancel).
void throughProperties(QDialog* printDialog, std::function<bool(QRadioButton*)> act) {
    whenOpen("QPrintPropertiesDialog", [act](QDialog* properties) {
        QRadioButton* landscape = orientationButton(properties, u"Landscape"_s);
        if (act(landscape))
            properties->accept();
        else
            properties->reject();
    });
    if (auto* button = printDialog->findChild<QPushButton*>(u"properties"_s))
        button->click();
}

/// Each page of `pdf` as it is shown: width and height in points, its page rotation applied.
QList<QSizeF> shownPageSizes(const QString& pdf) {
    QProcess info;
    info.start(u"pdfinfo"_s, {u"-f"_s, u"1"_s, u"-l"_s, u"999"_s, pdf});
    info.waitForFinished(30000);
    const QString text = QString::fromLocal8Bit(info.readAllStandardOutput());
    QList<QSizeF> sizes;
    const QRegularExpression sizeLine(uR"(^Page\s+\d+\s+size:\s+([\d.]+) x ([\d.]+))"_s,
                                      QRegularExpression::MultilineOption);
    const QRegularExpression rotLine(uR"(^Page\s+\d+\s+rot:\s+(\d+))"_s, QRegularExpression::MultilineOption);
    auto rot = rotLine.globalMatch(text);
    for (auto size = sizeLine.globalMatch(text); size.hasNext();) {
        const auto m = size.next();
        QSizeF page(m.captured(1).toDouble(), m.captured(2).toDouble());
        if (rot.hasNext() && rot.next().captured(1).toInt() % 180 == 90)
            page.transpose();
        sizes << page;
    }
    return sizes;
}

} // namespace

// Printed in Landscape through a real queue (CUPS with its PDF printer), every page comes out
// landscape, A4 across (842 x 595 points as shown), and the next print dialog shows Landscape.
TEST(RealPrintQueue, LandscapeComesOutOnLandscapePagesAndTheNextDialogShowsIt) {
    PrintQueue queue;
    if (!queue.running())
        TALLYROW_SKIP_UNLESS_CI(queue.whyNotRunning().toStdString());
    // Qt's printing asks the CUPS server it first found, for the life of the process.
    if (!QPrinterInfo::availablePrinterNames().contains(queue.printerName()))
        GTEST_SKIP() << "this process looked for printers before the test's queue ran: run the test on its "
                        "own, as ctest does";
    ReportViewer::forgetPrintChoices();
    TextReport report;
    ReportViewer viewer;
    viewer.setReportSource(&report);
    ASSERT_GE(viewer.pageCount(), 2);
    const QString title = u"TallyrowLandscape%1"_s.arg(QCoreApplication::applicationPid());
    viewer.setJobTitle(title);

    whenOpen("QPrintDialog", [](QDialog* dialog) {
        throughProperties(dialog, [](QRadioButton* landscape) {
            if (landscape)
                landscape->click();
            return landscape != nullptr;
        });
        dialog->accept();
    });
    ASSERT_TRUE(viewer.PrintReport(true)) << "the print dialog was not answered";
    ASSERT_TRUE(queue.waitUntilIdle()) << queue.log().toStdString();
    const QStringList printed = queue.printedFiles(title);
    ASSERT_EQ(printed.size(), 1) << queue.log().toStdString();
    const QList<QSizeF> pages = shownPageSizes(printed.first());
    for (const QString& file : printed)
        QFile::remove(file);
    ASSERT_EQ(pages.size(), viewer.pageCount());
    for (const QSizeF& page : pages) {
        EXPECT_NEAR(page.width(), 842, 2) << queue.log().toStdString();
        EXPECT_NEAR(page.height(), 595, 2);
    }

    bool shownLandscape = false;
    whenOpen("QPrintDialog", [&](QDialog* dialog) {
        throughProperties(dialog, [&](QRadioButton* landscape) {
            shownLandscape = landscape && landscape->isChecked();
            return false;
        });
        dialog->reject();
    });
    EXPECT_FALSE(viewer.PrintReport(true));
    EXPECT_TRUE(shownLandscape) << "the next print dialog shows Portrait";
    ReportViewer::forgetPrintChoices();
}
