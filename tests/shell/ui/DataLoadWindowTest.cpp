#include "MainWindowFixture.h"

#include "activity/StoreCache.h"
#include "reports/TotalsReport.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <thread>
#include <future>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

// The window reads its data file off the GUI thread: these tests watch it while it does.
class DataLoadWindow : public test::MainWindowFixture {
protected:
    /// A file big enough that reading it takes a noticeable while: 200 people over a year.
    void writeLargeFile() {
        QVector<test::ActivityRow> rows = office();
        rows.reserve(80000);
        for (int d = 0; d < 400; ++d)
            for (int u = 0; u < 200; ++u)
                rows.append(test::uniformRow(8000 + d, u"user%1"_s.arg(u), u"PC%1"_s.arg(u % 40), 90));
        test::writeSqliteDataFile(dataPath, rows);
    }
    /// Starts the window without waiting for its data.
    void start() {
        window = std::make_unique<MainWindow>(session());
        ASSERT_TRUE(window->load());
    }
    QList<MessageRequest> boxes() const { return messageBox()->requests(); }
    QPushButton* cancelButton() const { return child<QPushButton>(u"cmdCancelLoad"_s); }
    QPushButton* previewButton() const { return child<QPushButton>(u"cmdPreviewReport"_s); }
    /// Commits `sql` to the data file from a connection of its own, as the monitoring product does.
    bool commit(const QString& sql) const {
        bool done = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"writer"_s);
            db.setDatabaseName(dataPath);
            done = db.open() && QSqlQuery(db).exec(sql);
            db.close();
        }
        QSqlDatabase::removeDatabase(u"writer"_s);
        return done;
    }
    double shownTotal() const {
        auto* report = qobject_cast<TotalsReport*>(viewer()->reportSource());
        double sum = 0;
        if (report)
            for (const auto& t : report->periodTotals())
                sum += t.total;
        return sum;
    }
};

} // namespace

TEST_F(DataLoadWindow, CancelStopsTheReadAndLeavesTheWindowUsable) {
    writeLargeFile();
    start();
    ASSERT_TRUE(window->isLoadingData());
    EXPECT_TRUE(cancelButton()->isVisibleTo(window.get()));
    EXPECT_TRUE(child<QLabel>(u"lblLoadProgress"_s)->text().startsWith(u"Reading data file"_s));
    cancelButton()->click();
    ASSERT_TRUE(waitForData());
    EXPECT_EQ(window->storeCache().fresh(dataPath), nullptr);
    EXPECT_FALSE(QFile::exists(window->storeCache().savedCopyPath(dataPath))) << "no partial saved copy";
    EXPECT_FALSE(cancelButton()->isVisibleTo(window.get()));
    EXPECT_TRUE(boxes().isEmpty());
    EXPECT_EQ(window->statusBar()->currentMessage(),
              u"Reading the data file was cancelled. Preview or F5 reads the file again."_s);
    ASSERT_EQ(child<QComboBox>(u"cboUserName"_s)->count(), 0);

    // Still usable: a preview shows the report at once (a short range is asked of the file by
    // SQL), and the file is read again behind it; the list fills then, naming the report's
    // everybody, and the report stays.
    EXPECT_TRUE(previewAndWait());
    EXPECT_GT(shownTotal(), 0);
    ASSERT_TRUE(waitForData());
    EXPECT_NE(window->storeCache().fresh(dataPath), nullptr);
    EXPECT_GT(child<QComboBox>(u"cboUserName"_s)->count(), 1);
    EXPECT_EQ(child<QComboBox>(u"cboUserName"_s)->currentText(), u"<All Users> -|- <All Computers>"_s);
    EXPECT_TRUE(action(u"mnuFileSave"_s)->isEnabled());
}

TEST_F(DataLoadWindow, TheWindowKeepsRunningDuringTheReadAndClicksMeanwhileGiveOneReport) {
    writeLargeFile();
    start();
    ASSERT_TRUE(window->isLoadingData());
    QSignalSpy shown(viewer(), &engine::ReportViewer::LoadCompleted);
    for (int i = 0; i < 3; ++i)
        previewButton()->click();
    EXPECT_EQ(shown.count(), 0) << "nothing is run before the data is in";
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticks += window->isLoadingData() ? 1 : 0; });
    ticker.start(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > 0 || !window->isLoadingData(); }, 20000));
    EXPECT_GT(ticks, 0) << "events go on being handled during the read";
    ASSERT_TRUE(waitForData());
    QTest::qWait(50);
    EXPECT_EQ(shown.count(), 1);
    EXPECT_GT(child<QComboBox>(u"cboUserName"_s)->count(), 2) << "the list filled from the same read";
}

TEST_F(DataLoadWindow, APreviewAfterACommitShowsTheNewRows) {
    load(office());
    ASSERT_TRUE(previewAndWait());
    const double before = shownTotal();
    // tester on TESTPC is the preselected entry; 3 a.m. was idle until now.
    ASSERT_TRUE(commit(u"UPDATE Activity SET H3 = 3600 WHERE UserName = 'tester'"_s));
    // A commit since the last read: the short range is asked of the file at once.
    QSignalSpy shown(viewer(), &engine::ReportViewer::LoadCompleted);
    previewButton()->click();
    ASSERT_TRUE(!shown.isEmpty() || shown.wait(10000));
    const double added = shownTotal() - before;
    EXPECT_GT(added, 0);
    EXPECT_DOUBLE_EQ(std::fmod(added, 60), 0) << "whole hours more, in minutes";
}

// The window looks at its data file now and then: once the file has changed and then held still,
// it is read again behind the window, and a person who started working since joins the list
// while the chosen entry stays chosen.
TEST_F(DataLoadWindow, SomeoneNewInTheChangedFileJoinsTheListAndTheChoiceStays) {
    load(office());
    auto* users = child<QComboBox>(u"cboUserName"_s);
    users->setCurrentIndex(users->findText(u"alice -|- PC1"_s));
    ASSERT_TRUE(commit(
        u"INSERT INTO Activity (ActiveDay, UserName, ComputerName, H9) VALUES (8900, 'zoe', 'PC7', 600)"_s));
    // The first look finds the file changed, the next one finds it still (the window's own timer
    // may have taken the first look already).
    window->checkDataFileChanged();
    if (!window->isLoadingData())
        window->checkDataFileChanged();
    ASSERT_TRUE(window->isLoadingData());
    ASSERT_TRUE(waitForData());
    EXPECT_GE(users->findText(u"zoe -|- PC7"_s), 0);
    EXPECT_EQ(users->currentText(), u"alice -|- PC1"_s);
    EXPECT_TRUE(boxes().isEmpty());
}

TEST_F(DataLoadWindow, ARefusedFileNamesTheRowAndShowsNoReport) {
    QVector<test::ActivityRow> rows = office();
    test::ActivityRow bad = test::uniformRow(rows.first().activeDay, u"zed"_s, u"PC9"_s, 60);
    bad.hours[7] = 5000;
    rows.append(bad);
    test::writeSqliteDataFile(dataPath, rows);
    start();
    ASSERT_TRUE(waitForData());
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes()[0].prompt.contains(u"zed"_s)) << boxes()[0].prompt.toStdString();
    EXPECT_TRUE(boxes()[0].prompt.contains(u"5000"_s));
    previewButton()->click();
    ASSERT_TRUE(waitForData());
    EXPECT_EQ(viewer()->reportSource(), nullptr);
}

TEST_F(DataLoadWindow, APreviewWaitingForTheReadSaysSo) {
    writeLargeFile();
    start();
    ASSERT_TRUE(window->isLoadingData());
    previewButton()->click();
    EXPECT_EQ(viewer()->notice(), u"Report will run when the read finishes"_s);
    ASSERT_TRUE(waitForData());
    ASSERT_TRUE(QTest::qWaitFor([this] { return action(u"mnuFileSave"_s)->isEnabled(); }, 10000));
    EXPECT_EQ(viewer()->notice(), QString());
}

// The file changes under a shown report and cannot be read again: the report says it is out of
// date, and is not printed as if it were current.
TEST_F(DataLoadWindow, AReportWhoseFileCouldNotBeReadAgainIsMarkedOutOfDate) {
    load(office());
    ASSERT_TRUE(previewAndWait());
    ASSERT_TRUE(commit(u"UPDATE Activity SET H7 = 5000 WHERE UserName = 'alice'"_s));
    window->checkDataFileChanged();
    if (!window->isLoadingData())
        window->checkDataFileChanged();
    ASSERT_TRUE(window->isLoadingData());
    ASSERT_TRUE(waitForData());
    EXPECT_TRUE(
        viewer()->notice().startsWith(u"Out of date: the data file changed and could not be read again"_s))
        << viewer()->notice().toStdString();
    EXPECT_FALSE(action(u"mnuFilePrint"_s)->isEnabled());
    EXPECT_FALSE(child<QToolButton>(u"cmdViewerPrint"_s)->isEnabled());
    EXPECT_TRUE(action(u"mnuFileSave"_s)->isEnabled()) << "what is shown can still be kept";
    EXPECT_EQ(child<QLabel>(u"lblReportStatus"_s)->text(), u"Report out of date"_s) << "not ready any more";
}

// The file is put right while the error report about it is open: Retry reads it again, and the
// reason it was refused before is not shown as if it still held.
TEST_F(DataLoadWindow, AFilePutRightWhileItsErrorReportIsOpenIsReadAgainOnRetry) {
    struct PuttingRight final : ErrorReporter {
        ReportAnswer ReportError(const Failure&) override {
            ++reports;
            return putRight() ? ReportAnswer::Retry : ReportAnswer::Ignore;
        }
        std::function<bool()> putRight;
        int reports = 0;
    };
    auto reporter = std::make_unique<PuttingRight>();
    PuttingRight* reports = reporter.get();
    session().errorReporter = std::move(reporter);
    load(office());
    QFile::copy(dataPath, dataPath + u".good"_s);
    reports->putRight = [this] {
        return QFile::remove(dataPath) && QFile::copy(dataPath + u".good"_s, dataPath);
    };
    QFile garbage(dataPath);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
    garbage.write(QByteArray(8192, 'x'));
    garbage.close();
    messageBox()->clearRequests();

    window->checkDataFileChanged();
    if (!window->isLoadingData())
        window->checkDataFileChanged();
    ASSERT_TRUE(window->isLoadingData());
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports->reports > 0 && !window->isLoadingData(); }, 20000));
    EXPECT_EQ(reports->reports, 1);
    EXPECT_TRUE(boxes().isEmpty()) << boxes().constFirst().prompt.toStdString();
    EXPECT_TRUE(previewAndWait()) << "the file read again serves the report";
}

// With "Refresh automatically" the shown report follows the file as the monitoring product
// writes: made again from the new rows, at the same zoom, the focus where the user left it.
TEST_F(DataLoadWindow, AFollowedReportIsMadeAgainWhenTheFileChanges) {
    load(office());
    showActive();
    child<QCheckBox>(u"chkFollowFile"_s)->setChecked(true);
    ASSERT_TRUE(previewAndWait());
    viewer()->setZoomPercent(150);
    auto* chartTypes = child<QComboBox>(u"cboChartType"_s);
    chartTypes->setFocus();
    const double before = shownTotal();
    ASSERT_TRUE(commit(u"UPDATE Activity SET H3 = 3600 WHERE UserName = 'tester'"_s));
    window->checkDataFileChanged();
    if (!window->isLoadingData())
        window->checkDataFileChanged();
    ASSERT_TRUE(waitForData());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownTotal() > before; }, 10000));
    EXPECT_EQ(viewer()->zoomPercent(), 150);
    EXPECT_TRUE(chartTypes->hasFocus());
}

// The window is told of a commit at once (inotify) rather than at its next look.
TEST_F(DataLoadWindow, AFollowedReportIsMadeAgainSoonAfterACommitWithoutALookAtTheClock) {
    load(office());
    showActive();
    window->setDataFileLookInterval(3600 * 1000);
    child<QCheckBox>(u"chkFollowFile"_s)->setChecked(true);
    ASSERT_TRUE(previewAndWait());
    const double before = shownTotal();
    ASSERT_TRUE(commit(u"UPDATE Activity SET H3 = 3600 WHERE UserName = 'tester'"_s));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownTotal() > before; }, 20000));
}

// While another program holds the data file, the status bar says so in full: the read's
// percentage gives way to the message (Cancel stays) and comes back after it.
TEST_F(DataLoadWindow, AWaitForALockedFileIsSaidInFullBesideCancel) {
    test::writeSqliteDataFile(dataPath, office());
    std::promise<void> locked;
    std::thread holder([&] {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"holder"_s);
            db.setDatabaseName(dataPath);
            const bool held = db.open() && QSqlQuery(db).exec(u"BEGIN EXCLUSIVE"_s);
            locked.set_value();
            if (held) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                QSqlQuery(db).exec(u"COMMIT"_s);
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(u"holder"_s);
    });
    locked.get_future().wait();
    window = std::make_unique<MainWindow>(session());
    window->show();
    QStatusBar* bar = window->statusBar();
    bool said = false;
    QObject::connect(bar, &QStatusBar::messageChanged, window.get(), [&](const QString& message) {
        if (!message.startsWith(u"Waiting"_s) || said)
            return;
        said = true;
        EXPECT_FALSE(child<QLabel>(u"lblLoadProgress"_s)->isVisible());
        const int room = (cancelButton()->isVisible() ? cancelButton()->geometry().left() : bar->width()) -
                         bar->contentsRect().left();
        EXPECT_LE(bar->fontMetrics().horizontalAdvance(message), room) << message.toStdString();
    });
    window->load();
    EXPECT_TRUE(waitForData());
    holder.join();
    EXPECT_TRUE(said) << "the window never said it waits";
}
