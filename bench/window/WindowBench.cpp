// tallyrow-bench-window DATAFILE FROM TO [RUNS]
// Times the main window as a user meets it: from start to a usable user list (reading the data
// file, then with its saved copy), and from a Preview click to the shown page for the Day report
// and the Totals report by days over FROM … TO, all users. Prints medians of RUNS (default 5).
// Also times a Preview of the last seven days right after the monitoring product committed (a
// commit made here before each click), and drawing the Totals page on screen against drawing it
// with every point.
#include "datafile/DataPath.h"
#include "engine/PagePainter.h"
#include "engine/ui/ReportViewer.h"
#include "shell/ui/MainWindow.h"
#include "support/CommandLine.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace tallyrow;
using namespace Qt::StringLiterals;

namespace {

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double timed(const std::function<void()>& fn) {
    QElapsedTimer t;
    t.start();
    fn();
    return double(t.nsecsElapsed()) / 1e9;
}

// Runs the event loop as the desktop does, asleep between events, until `done`: a loop of
// processEvents() would take a core from the reading threads.
void waitUntil(const std::function<bool()>& done) {
    if (done())
        return;
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    look.start(2);
    loop.exec();
}

// The run's data file, named on the command line.
Session g_session;

// Start to a usable list: the window shown, loaded, and its list filled.
std::unique_ptr<MainWindow> startWindow(double& elapsed) {
    std::unique_ptr<MainWindow> window;
    elapsed = timed([&] {
        window = std::make_unique<MainWindow>(g_session);
        window->show();
        window->load();
        waitUntil([&] { return !window->isLoadingData(); });
    });
    return window;
}

// A Preview click to the page drawn in the viewer.
double preview(MainWindow& window) {
    auto* viewer = window.findChild<engine::ReportViewer*>(u"arvPreview"_s);
    auto* button = window.findChild<QPushButton*>(u"cmdPreviewReport"_s);
    bool shown = false;
    const auto c = QObject::connect(viewer, &engine::ReportViewer::LoadCompleted, [&] { shown = true; });
    const double t = timed([&] {
        button->click();
        waitUntil([&] { return shown; });
        viewer->grab(); // paints the page as the screen shows it
    });
    QObject::disconnect(c);
    return t;
}

void setOptions(MainWindow& window, bool day, const QDate& from, const QDate& to) {
    window.findChild<QAction*>(day ? u"mnuReportsDay"_s : u"mnuReportsTotals"_s)->trigger();
    window.findChild<QDateEdit*>(u"dtpStartDate"_s)->setDate(from);
    window.findChild<QDateEdit*>(u"dtpEndDate"_s)->setDate(to);
    auto* users = window.findChild<QComboBox*>(u"cboUserName"_s);
    users->setCurrentIndex(users->findText(u"<All Users> -|- <All Computers>"_s));
    if (!day)
        window.findChild<QComboBox*>(u"cboTotalsReportPeriod"_s)->setCurrentText(u"Days"_s);
}

// One commit to the data file, as the monitoring product makes them: one hour of one row.
void commit(const char* path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path, &db) == SQLITE_OK)
        sqlite3_exec(db,
                     "UPDATE Activity SET H3 = (coalesce(H3, 0) + 1) % 2 WHERE rowid = (SELECT max(rowid) "
                     "FROM Activity)",
                     nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

double drawPage(const engine::PageCollection& pages, engine::PaintDetail detail) {
    QImage image(900, 1270, QImage::Format_RGB32);
    return timed([&] {
        image.fill(Qt::white);
        QPainter p(&image);
        engine::paintPage(p, pages, 0, QRectF(image.rect()), detail);
    });
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: tallyrow-bench-window DATAFILE FROM TO [RUNS]\n");
        return 2;
    }
    g_session.commandLineDataPath = QString::fromLocal8Bit(argv[1]);
    const QDate from = QDate::fromString(QString::fromLatin1(argv[2]), Qt::ISODate);
    const QDate to = QDate::fromString(QString::fromLatin1(argv[3]), Qt::ISODate);
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    QTemporaryDir cache;

    std::vector<double> cold, saved, day, totals, committed, screen, full;
    for (int i = 0; i < runs; ++i) {
        QTemporaryDir empty; // nothing saved: every row is read from the file
        MainWindow::setStoreCacheFolder(empty.path());
        double t = 0;
        startWindow(t);
        cold.push_back(t);
    }
    MainWindow::setStoreCacheFolder(cache.path());
    double first = 0;
    startWindow(first).reset(); // leaves the saved copy
    std::unique_ptr<MainWindow> window;
    for (int i = 0; i < runs; ++i) {
        double t = 0;
        window = startWindow(t);
        saved.push_back(t);
    }
    setOptions(*window, true, from, to);
    for (int i = 0; i < runs; ++i)
        day.push_back(preview(*window));
    setOptions(*window, false, from, to);
    for (int i = 0; i < runs; ++i)
        totals.push_back(preview(*window));
    setOptions(*window, true, to.addDays(-6), to);
    for (int i = 0; i < runs; ++i) {
        waitUntil([&] { return !window->isLoadingData(); }); // the read behind the last one
        commit(argv[1]);
        committed.push_back(preview(*window));
    }
    waitUntil([&] { return !window->isLoadingData(); });
    setOptions(*window, false, from, to);
    preview(*window);
    const auto& pages = window->findChild<engine::ReportViewer*>(u"arvPreview"_s)->pages();
    for (int i = 0; i < runs; ++i) {
        screen.push_back(drawPage(pages, engine::PaintDetail::Screen));
        full.push_back(drawPage(pages, engine::PaintDetail::Full));
    }

    std::printf("window on %s, %s .. %s, medians of %d runs (seconds)\n", argv[1], argv[2], argv[3], runs);
    std::printf("  %-44s %8.3f\n", "start to usable list, reading the file", median(cold));
    std::printf("  %-44s %8.3f\n", "start to usable list, with the saved copy", median(saved));
    std::printf("  %-44s %8.3f\n", "Preview click to page, Day all users", median(day));
    std::printf("  %-44s %8.3f\n", "Preview click to page, Totals by days", median(totals));
    std::printf("  %-44s %8.3f\n", "Preview after a commit, Day, last 7 days", median(committed));
    std::printf("  %-44s %8.3f\n", "Totals page drawn as on screen (900 px)", median(screen));
    std::printf("  %-44s %8.3f\n", "Totals page drawn with every point", median(full));
    window.reset();
    return 0;
}
