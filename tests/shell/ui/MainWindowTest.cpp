#include "MainWindowFixture.h"

#include "datafile/ui/FakeChooser.h"
#include "output/SaveReport.h"

#include "datafile/ui/BrowseButton.h"
#include "dateselector/ui/DateSelector.h"
#include "output/ui/SaveAsDialog.h"
#include "reports/DayReport.h"
#include "reports/TotalsReport.h"
#include "reports/UsersReport.h"
#include "shell/ui/AboutDialog.h"
#include "support/ErrorReporter.h"
#include "support/Registry.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QToolButton>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

const QStringList kWeekdays{u"Monday"_s, u"Tuesday"_s,  u"Wednesday"_s, u"Thursday"_s,
                            u"Friday"_s, u"Saturday"_s, u"Sunday"_s};

class MainWindowTest : public test::MainWindowFixture {
protected:
    DateSelector* dates() const { return child<DateSelector>(u"dtmDateReport"_s); }
    QCheckBox* day(const QString& name) const { return child<QCheckBox>(u"chkDate"_s + name); }
    QComboBox* list(const QString& name) const { return child<QComboBox>(name); }
    QLineEdit* units() const { return child<QLineEdit>(u"txtTotalsReportUnits"_s); }

    /// Types the range into the two date fields, as a user would.
    void setRange(const QDate& start, const QDate& end) {
        dates()->findChild<QDateEdit*>(u"dtpStartDate"_s)->setDate(start);
        dates()->findChild<QDateEdit*>(u"dtpEndDate"_s)->setDate(end);
        ASSERT_EQ(dates()->StartDate(), start);
        ASSERT_EQ(dates()->EndDate(), end);
    }

    QString enabledDays() const {
        QStringList out;
        for (const QString& d : kWeekdays)
            if (day(d)->isEnabled())
                out << d.left(3);
        return out.join(u' ');
    }

    QList<MessageRequest> boxes() const { return messageBox()->requests(); }
};

} // namespace

TEST_F(MainWindowTest, StartsWithTheTotalsReportOverLastWeek) {
    MainWindow& w = load(office());
    EXPECT_EQ(w.windowTitle(), u"Tallyrow Reports - tester"_s);
    EXPECT_EQ(w.CurrentReport, 0);
    EXPECT_TRUE(action(u"mnuReportsTotals"_s)->isChecked());
    EXPECT_FALSE(action(u"mnuReportsDay"_s)->isChecked());
    EXPECT_EQ(child<QStackedWidget>(u"reportPanels"_s)->currentWidget()->objectName(), u"vseTotalsReport"_s);
    EXPECT_EQ(child<QPushButton>(u"cmdPreviewReport"_s)->text(), u"Preview Totals Report"_s);
    EXPECT_EQ(list(u"cboChartType"_s)->currentText(), u"2D Line"_s);
    EXPECT_EQ(child<QLabel>(u"lblTitle"_s)->text(), u"Total activity"_s);
    EXPECT_EQ(dates()->StartDate(), QDate(2024, 5, 8));
    EXPECT_EQ(dates()->EndDate(), QDate(2024, 5, 14));
    EXPECT_EQ(enabledDays(), u"Mon Tue Wed Thu Fri Sat Sun"_s);
    EXPECT_EQ(list(u"cboTimeScale"_s)->currentText(), u"minutes"_s);
    EXPECT_EQ(list(u"cboTotalsReportPeriod"_s)->currentText(), u"Days"_s);
    EXPECT_EQ(units()->text(), u"1"_s);
    EXPECT_EQ(list(u"cboShowEachDay"_s)->currentText(), u"average of selected days"_s);
    EXPECT_EQ(list(u"cboTotalType"_s)->currentText(), u"average over date range"_s);
    EXPECT_FALSE(action(u"mnuFilePrint"_s)->isEnabled());
    EXPECT_FALSE(action(u"mnuFileSave"_s)->isEnabled());
    for (const QString& d : kWeekdays)
        EXPECT_TRUE(day(d)->isChecked()) << d.toStdString();
    EXPECT_FALSE(child<QCheckBox>(u"chkDateShowDetails"_s)->isChecked());
}

TEST_F(MainWindowTest, OffersTheListsAndMenusUsersKnow) {
    load(office());
    QStringList totalTypes;
    for (int i = 0; i < list(u"cboTotalType"_s)->count(); ++i)
        totalTypes << list(u"cboTotalType"_s)->itemText(i);
    EXPECT_EQ(totalTypes, (QStringList{u"average over date range"_s, u"total over date range"_s,
                                       u"maximum in date range"_s, u"minimum in date range "_s}));
    const QList<std::pair<QString, int>> charts{
        {u"3D Bar"_s, 0},         {u"2D Bar"_s, 1},         {u"3D Line"_s, 2}, {u"2D Line"_s, 3},
        {u"3D Area"_s, 4},        {u"2D Area"_s, 5},        {u"3D Step"_s, 6}, {u"2D Step"_s, 7},
        {u"3D Combination"_s, 8}, {u"2D Combination"_s, 9}, {u"2D Pie"_s, 14}, {u"2D XY"_s, 16}};
    QComboBox* chart = list(u"cboChartType"_s);
    ASSERT_EQ(chart->count(), charts.size());
    for (int i = 0; i < charts.size(); ++i) {
        EXPECT_EQ(chart->itemText(i), charts[i].first);
        EXPECT_EQ(chart->itemData(i).toInt(), charts[i].second);
    }
    QStringList menus;
    for (QAction* a : window->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{u"&File"_s, u"&Tools"_s, u"&Reports"_s, u"&Help"_s}));
    EXPECT_EQ(action(u"mnuFileExit"_s)->text(), u"E&xit"_s);
    EXPECT_EQ(action(u"mnuSelectDataPath"_s)->text(), u"&Change Data File..."_s);
    auto* tabs = child<QTabWidget>(u"tabOptions"_s);
    EXPECT_EQ(tabs->tabText(0), u"Date"_s);
    EXPECT_EQ(tabs->tabText(1), u"Time"_s);
}

TEST_F(MainWindowTest, OnlyWeekdaysInTheRangeCanBeChosen) {
    load(office());
    setRange(QDate(2024, 5, 10), QDate(2024, 5, 12)); // Friday to Sunday
    EXPECT_EQ(enabledDays(), u"Fri Sat Sun"_s);
    EXPECT_TRUE(day(u"Monday"_s)->isChecked()) << "greying out keeps the tick";
    setRange(QDate(2024, 5, 1), QDate(2024, 5, 7));
    EXPECT_EQ(enabledDays(), u"Mon Tue Wed Thu Fri Sat Sun"_s);
    setRange(QDate(2024, 5, 9), QDate(2024, 5, 8));
    EXPECT_EQ(enabledDays(), QString());
}

TEST_F(MainWindowTest, SwitchingReportsKeepsTheOtherOptions) {
    MainWindow& w = load(office());
    action(u"mnuReportsDay"_s)->trigger();
    EXPECT_EQ(w.CurrentReport, 1);
    EXPECT_TRUE(action(u"mnuReportsDay"_s)->isChecked());
    EXPECT_FALSE(action(u"mnuReportsTotals"_s)->isChecked());
    EXPECT_EQ(child<QPushButton>(u"cmdPreviewReport"_s)->text(), u"Preview Day Report"_s);
    EXPECT_EQ(child<QLabel>(u"lblTitle"_s)->text(), u"Activity by day of week"_s);
    EXPECT_EQ(list(u"cboChartType"_s)->currentText(), u"2D Bar"_s);
    EXPECT_EQ(child<QStackedWidget>(u"reportPanels"_s)->currentWidget()->objectName(), u"vseDayReport"_s);

    day(u"Tuesday"_s)->setChecked(false);
    list(u"cboUserName"_s)->setCurrentIndex(2);
    list(u"cboChartType"_s)->setCurrentIndex(list(u"cboChartType"_s)->findText(u"3D Area"_s));
    action(u"mnuReportsTotals"_s)->trigger();
    EXPECT_EQ(list(u"cboChartType"_s)->currentText(), u"2D Line"_s);
    action(u"mnuReportsDay"_s)->trigger();
    EXPECT_EQ(list(u"cboChartType"_s)->currentText(), u"2D Bar"_s);
    EXPECT_FALSE(day(u"Tuesday"_s)->isChecked());
    EXPECT_EQ(list(u"cboUserName"_s)->currentIndex(), 2);
}

TEST_F(MainWindowTest, PreviewShowsTheReportAndAnyChangeTakesItAway) {
    load(office());
    const std::vector<std::pair<const char*, std::function<void()>>> changes{
        {"chart type", [this] { list(u"cboChartType"_s)->setCurrentIndex(0); }},
        {"user", [this] { list(u"cboUserName"_s)->setCurrentIndex(0); }},
        {"details", [this] { child<QCheckBox>(u"chkDateShowDetails"_s)->toggle(); }},
        {"units", [this] { units()->setText(u"2"_s); }},
        {"period", [this] { list(u"cboTotalsReportPeriod"_s)->setCurrentIndex(1); }},
        {"time scale", [this] { list(u"cboTimeScale"_s)->setCurrentIndex(2); }},
        {"compare", [this] { child<QCheckBox>(u"chkCompare"_s)->toggle(); }},
        {"weekday", [this] { day(u"Friday"_s)->toggle(); }},
        {"aggregate", [this] { list(u"cboTotalType"_s)->setCurrentIndex(3); }},
        {"chart shows", [this] { list(u"cboShowEachDay"_s)->setCurrentIndex(1); }},
        {"shading", [this] { child<QCheckBox>(u"chkShadeTable"_s)->toggle(); }},
        {"key figures", [this] { child<QCheckBox>(u"chkKeyFigures"_s)->toggle(); }},
        {"date range", [this] { setRange(QDate(2024, 5, 1), QDate(2024, 5, 14)); }},
        {"report", [this] { action(u"mnuReportsDay"_s)->trigger(); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(previewAndWait());
        EXPECT_TRUE(action(u"mnuFilePrint"_s)->isEnabled());
        EXPECT_NE(viewer()->reportSource(), nullptr);
        EXPECT_GT(viewer()->pageCount(), 0);
        change();
        EXPECT_EQ(viewer()->reportSource(), nullptr);
        EXPECT_EQ(viewer()->pageCount(), 0);
        EXPECT_FALSE(action(u"mnuFilePrint"_s)->isEnabled());
        EXPECT_FALSE(action(u"mnuFileSave"_s)->isEnabled());
    }
    EXPECT_TRUE(errorReporter()->calls().isEmpty());
}

TEST_F(MainWindowTest, EveryPreviewGetsAFreshReportWithTheWindowsOptions) {
    load(office());
    list(u"cboUserName"_s)->setCurrentIndex(list(u"cboUserName"_s)->findText(u"alice -|- <All Computers>"_s));
    units()->setText(u"3.5"_s);
    list(u"cboTimeScale"_s)->setCurrentIndex(2);
    list(u"cboTotalsReportPeriod"_s)->setCurrentIndex(1);
    ASSERT_TRUE(previewAndWait());
    auto* first = qobject_cast<TotalsReport*>(viewer()->reportSource());
    ASSERT_NE(first, nullptr);
    const TotalsReportInputs in = first->inputs();
    EXPECT_EQ(in.range, (DateRange{QDate(2024, 5, 8), QDate(2024, 5, 14)}));
    EXPECT_EQ(in.units, 4);
    EXPECT_EQ(in.period, TotalsPeriod::Weeks);
    EXPECT_EQ(in.chartType, 3);
    EXPECT_EQ(in.timeScale, TimeScale::Hours);
    EXPECT_EQ(in.userFilter, u"alice"_s);
    EXPECT_EQ(in.computerFilter, QString());
    EXPECT_FALSE(in.compare);
    child<QCheckBox>(u"chkCompare"_s)->setChecked(true);
    ASSERT_TRUE(previewAndWait());
    auto* compared = qobject_cast<TotalsReport*>(viewer()->reportSource());
    ASSERT_NE(compared, nullptr);
    EXPECT_TRUE(compared->inputs().compare);
    EXPECT_EQ(compared->previousTotals().size(), compared->periodTotals().size());

    action(u"mnuReportsDay"_s)->trigger();
    setRange(QDate(2024, 5, 10), QDate(2024, 5, 12)); // Friday to Sunday: the ticked Monday does not count
    list(u"cboTotalType"_s)->setCurrentIndex(2);
    list(u"cboShowEachDay"_s)->setCurrentIndex(1);
    list(u"cboUserName"_s)->setCurrentIndex(list(u"cboUserName"_s)->findText(u"<All Users> -|- TESTPC"_s));
    day(u"Saturday"_s)->setChecked(false);
    child<QCheckBox>(u"chkKeyFigures"_s)->setChecked(true);
    ASSERT_TRUE(previewAndWait());
    auto* dayReport = qobject_cast<DayReport*>(viewer()->reportSource());
    ASSERT_NE(dayReport, nullptr);
    const DayReportInputs d = dayReport->inputs();
    EXPECT_FALSE(d.days.contains(Qt::Monday));
    EXPECT_FALSE(d.days.contains(Qt::Thursday));
    EXPECT_TRUE(d.days.contains(Qt::Friday));
    EXPECT_FALSE(d.days.contains(Qt::Saturday));
    EXPECT_TRUE(d.days.contains(Qt::Sunday));
    EXPECT_EQ(d.figure, DayFigure::Maximum);
    EXPECT_EQ(d.columns, DayColumns::EachDay);
    EXPECT_EQ(d.chartType, 1);
    EXPECT_EQ(d.userFilter, QString());
    EXPECT_EQ(d.computerFilter, u"TESTPC"_s);
    EXPECT_TRUE(d.keyFigures);
    EXPECT_FALSE(d.shadeTable);

    ASSERT_TRUE(previewAndWait());
    EXPECT_NE(viewer()->reportSource(), dayReport) << "a second preview runs a new report";
}

TEST_F(MainWindowTest, RefusesABackwardRangeAndPutsTheFocusOnTheDates) {
    load(office());
    showActive();
    for (int report : {0, 1}) {
        SCOPED_TRACE(report);
        action(report ? u"mnuReportsDay"_s : u"mnuReportsTotals"_s)->trigger();
        messageBox()->clearRequests();
        child<QTabWidget>(u"tabOptions"_s)->setCurrentIndex(1);
        setRange(QDate(2024, 5, 9), QDate(2024, 5, 8));
        child<QPushButton>(u"cmdPreviewReport"_s)->click();
        ASSERT_EQ(boxes().size(), 1);
        EXPECT_EQ(boxes()[0].prompt, u"The End date needs to be after the Start date."_s);
        EXPECT_EQ(boxes()[0].buttons, 64);
        EXPECT_EQ(boxes()[0].title, u"Tallyrow"_s);
        QWidget* focus = QApplication::focusWidget();
        EXPECT_TRUE(focus == dates() || dates()->isAncestorOf(focus));
        EXPECT_EQ(viewer()->reportSource(), nullptr);
    }
    setRange(QDate(2024, 5, 9), QDate(2024, 5, 9));
    messageBox()->clearRequests();
    EXPECT_TRUE(previewAndWait()) << "a single day is a valid range";
    EXPECT_TRUE(boxes().isEmpty());
}

TEST_F(MainWindowTest, UnitsMustBeANumber) {
    load(office());
    showActive();
    for (const QString& text : {QString(), u"5 days"_s, u"abc"_s, u"99999999999"_s}) {
        SCOPED_TRACE(text.toStdString());
        messageBox()->clearRequests();
        units()->setText(text);
        child<QPushButton>(u"cmdPreviewReport"_s)->click();
        ASSERT_EQ(boxes().size(), 1);
        EXPECT_TRUE(
            boxes()[0].prompt.startsWith(u"The value entered for \"Show total activity in groups of\" "_s))
            << "named by the label the box shows: " << boxes()[0].prompt.toStdString();
        EXPECT_EQ(boxes()[0].buttons, 64);
        EXPECT_EQ(boxes()[0].title, u"Tallyrow"_s);
        EXPECT_EQ(QApplication::focusWidget(), units());
    }
    for (const auto& [text, expected] : {std::pair{u"2.5"_s, 2}, {u"3.5"_s, 4}, {u"7 "_s, 7}}) {
        SCOPED_TRACE(text.toStdString());
        messageBox()->clearRequests();
        units()->setText(text);
        child<QPushButton>(u"cmdPreviewReport"_s)->click();
        EXPECT_TRUE(boxes().isEmpty());
        auto* report = qobject_cast<TotalsReport*>(viewer()->reportSource());
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->inputs().units, expected);
    }
    for (const QString& text : {u"0"_s, u"-3"_s}) {
        SCOPED_TRACE(text.toStdString());
        messageBox()->clearRequests();
        units()->setText(text);
        EXPECT_TRUE(previewAndWait());
        EXPECT_TRUE(boxes().isEmpty());
    }
}

// Units beyond a whole number are the user's to correct: one sentence on the box, no problem report.
TEST_F(MainWindowTest, UnitsTooLargeForTheReportAreReportedNotWrapped) {
    load(office());
    errorReporter()->clearCalls();
    messageBox()->clearRequests();
    units()->setText(u"3000000000"_s);
    child<QPushButton>(u"cmdPreviewReport"_s)->click();
    EXPECT_TRUE(errorReporter()->calls().isEmpty());
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes()[0].prompt.contains(u"is too large"_s)) << boxes()[0].prompt.toStdString();
    EXPECT_EQ(viewer()->reportSource(), nullptr);
}

TEST_F(MainWindowTest, DayReportNeedsADayThatOccursInTheRange) {
    load(office());
    showActive();
    action(u"mnuReportsDay"_s)->trigger();
    child<QTabWidget>(u"tabOptions"_s)->setCurrentIndex(0);
    for (const QString& d : kWeekdays)
        day(d)->setChecked(false);
    child<QPushButton>(u"cmdPreviewReport"_s)->click();
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_EQ(boxes()[0].prompt, u"You need to select at least one day."_s);
    EXPECT_EQ(boxes()[0].buttons, 64);
    EXPECT_EQ(boxes()[0].title, u"Tallyrow"_s);
    EXPECT_EQ(QApplication::focusWidget(), day(u"Monday"_s));

    // Only Monday ticked, but the range runs Friday to Sunday: the focus goes to Friday.
    messageBox()->clearRequests();
    day(u"Monday"_s)->setChecked(true);
    setRange(QDate(2024, 5, 10), QDate(2024, 5, 12));
    child<QPushButton>(u"cmdPreviewReport"_s)->click();
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_EQ(boxes()[0].prompt, u"You need to select at least one day."_s);
    EXPECT_EQ(QApplication::focusWidget(), day(u"Friday"_s));
    EXPECT_EQ(viewer()->reportSource(), nullptr);
}

TEST_F(MainWindowTest, SaveProposesANameFromTheChosenEntry) {
    load(office());
    QString proposed;
    onDialog = [&](QDialog& dialog) {
        if (auto* save = qobject_cast<SaveAsDialog*>(&dialog))
            proposed = save->reportName;
        return int(QDialog::Rejected);
    };
    const std::pair<QString, QString> cases[] = {
        {u"<All Users> -|- <All Computers>"_s, u"Usage Report"_s},
        {u"alice -|- <All Computers>"_s, u"Usage Report - alice - "_s},
        {u"<All Users> -|- TESTPC"_s, u"Usage Report - TESTPC"_s},
        {u"alice -|- PC1"_s, u"Usage Report - alice - PC1"_s},
    };
    for (const auto& [entry, name] : cases) {
        SCOPED_TRACE(entry.toStdString());
        const int index = list(u"cboUserName"_s)->findText(entry);
        ASSERT_GE(index, 0);
        list(u"cboUserName"_s)->setCurrentIndex(index);
        ASSERT_TRUE(previewAndWait());
        dialogs.clear();
        action(u"mnuFileSave"_s)->trigger();
        EXPECT_EQ(dialogs, QStringList{u"frmSaveAs"_s});
        EXPECT_EQ(proposed, name);
    }
}

// A report saved as a report document is shown again later, and can be printed or saved in
// another format from the window.
TEST_F(MainWindowTest, ASavedReportDocumentOpensInTheViewerAndSavesAgain) {
    load(office());
    ASSERT_TRUE(previewAndWait());
    const QString document = env().path(u"week.rdf"_s);
    ASSERT_TRUE(saveReport(viewer()->pages(), document, ReportFormat::Rdf));
    const int pages = viewer()->pageCount();
    auto chooser = std::make_shared<test::FakeChooser>();
    MainWindow::setReportChooser(chooser);
    chooser->answer = document;
    list(u"cboUserName"_s)->setCurrentIndex(0); // an option change takes the report away
    ASSERT_FALSE(action(u"mnuFileSave"_s)->isEnabled());
    ASSERT_TRUE(writeSetting(u"LastReportFolder"_s, env().root() + u"/"_s, QString(), true, kSettingsHive));
    action(u"mnuFileOpenReport"_s)->trigger();
    MainWindow::setReportChooser(nullptr);
    EXPECT_EQ(chooser->calls, 1);
    EXPECT_EQ(chooser->lastInitialFolder, env().root() + u"/"_s) << "where reports were last saved";
    // The report's name stays on the status line when the data file is read again.
    const QString shown = u"Showing the saved report "_s + QDir::toNativeSeparators(document);
    EXPECT_EQ(child<QLabel>(u"lblReportStatus"_s)->text(), shown);
    window->statusBar()->clearMessage(); // as a finished read of the data file does
    EXPECT_EQ(child<QLabel>(u"lblReportStatus"_s)->text(), shown);
    EXPECT_EQ(viewer()->pageCount(), pages);
    EXPECT_EQ(viewer()->reportSource(), nullptr);
    EXPECT_TRUE(action(u"mnuFilePrint"_s)->isEnabled());
    ASSERT_TRUE(action(u"mnuFileSave"_s)->isEnabled());

    const QString pdf = env().path(u"week.pdf"_s);
    QString proposed;
    onDialog = [&](QDialog& dialog) {
        auto* save = qobject_cast<SaveAsDialog*>(&dialog);
        if (!save)
            return int(QDialog::Rejected);
        save->load();
        proposed = save->reportName;
        auto* formats = save->findChild<QComboBox*>(u"cboSaveAs"_s);
        for (int i = 0; i < formats->count(); ++i)
            if (formats->itemText(i).contains(u"PDF"_s))
                formats->setCurrentIndex(i);
        save->findChild<BrowseButton*>(u"BrowseButton1"_s)->setPath(pdf);
        save->saveCurrentReport();
        return int(QDialog::Accepted);
    };
    action(u"mnuFileSave"_s)->trigger();
    EXPECT_EQ(proposed, u"week"_s);
    QFile saved(pdf);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.read(5) == "%PDF-");

    // Something that is no report document is refused in one sentence naming it.
    chooser->answer = dataPath;
    MainWindow::setReportChooser(chooser);
    action(u"mnuFileOpenReport"_s)->trigger();
    MainWindow::setReportChooser(nullptr);
    ASSERT_FALSE(boxes().isEmpty());
    EXPECT_TRUE(boxes().last().prompt.contains(dataPath)) << boxes().last().prompt.toStdString();
    EXPECT_EQ(viewer()->pageCount(), pages) << "the shown report stays";
}

// On a small screen (the test platform's is 800 x 600) the window fits, and Preview and the
// status bar are on it; the options scroll instead.
TEST_F(MainWindowTest, TheWindowFitsTheScreenItOpensOn) {
    load(office());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QRect room = window->screen()->availableGeometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return room.contains(window->frameGeometry()); }, 2000))
        << window->frameGeometry().height() << " high on a screen of " << room.height();
    EXPECT_LE(window->minimumSizeHint().height(), room.height());
    auto* preview = child<QPushButton>(u"cmdPreviewReport"_s);
    const QPoint bottom = preview->mapTo(window.get(), QPoint(0, preview->height()));
    EXPECT_LE(bottom.y(), window->height() - window->statusBar()->height());
}

// The third report: who was active and how much, for the range and weekdays chosen.
TEST_F(MainWindowTest, TheUsersReportRanksWhoWasActive) {
    load(office());
    action(u"mnuReportsUsers"_s)->trigger();
    EXPECT_TRUE(action(u"mnuReportsUsers"_s)->isChecked());
    EXPECT_FALSE(action(u"mnuReportsTotals"_s)->isChecked());
    auto* preview = child<QPushButton>(u"cmdPreviewReport"_s);
    EXPECT_EQ(preview->text(), u"Preview Users Report"_s);
    EXPECT_FALSE(list(u"cboChartType"_s)->isEnabled()) << "its chart is always horizontal bars";
    list(u"cboUserName"_s)
        ->setCurrentIndex(list(u"cboUserName"_s)->findText(u"<All Users> -|- <All Computers>"_s));
    list(u"cboGroupBy"_s)->setCurrentIndex(2); // user and computer
    ASSERT_TRUE(previewAndWait());
    auto* report = qobject_cast<UsersReport*>(viewer()->reportSource());
    ASSERT_NE(report, nullptr);
    // tester works 2400 s a day, alice 1800 s on PC1 and 600 s on TESTPC, over the same days.
    ASSERT_EQ(report->people().size(), 3U);
    EXPECT_EQ(personName(report->people()[0], PeopleGrouping::Pair), u"tester on TESTPC"_s);
    EXPECT_EQ(personName(report->people()[2], PeopleGrouping::Pair), u"alice on TESTPC"_s);
    EXPECT_EQ(report->people()[0].activeDays, report->people()[2].activeDays);
    // Not a weekday ticked: nothing counts but what the boxes say.
    for (const char* day : {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"})
        child<QCheckBox>(u"chkUsers"_s + QLatin1String(day))
            ->setChecked(QLatin1String(day) == QLatin1String("Monday"));
    EXPECT_FALSE(action(u"mnuFileSave"_s)->isEnabled()) << "an option change takes the report away";
    ASSERT_TRUE(previewAndWait());
    report = qobject_cast<UsersReport*>(viewer()->reportSource());
    ASSERT_NE(report, nullptr);
    ASSERT_FALSE(report->people().empty());
    EXPECT_EQ(report->people()[0].activeDays, 1) << "one Monday in the week before 2024-05-15";
    // No weekday at all: said, and nothing is counted for every day instead.
    child<QCheckBox>(u"chkUsersMonday"_s)->setChecked(false);
    child<QPushButton>(u"cmdPreviewReport"_s)->click();
    ASSERT_FALSE(boxes().isEmpty());
    EXPECT_EQ(boxes().last().prompt, u"You need to select at least one day."_s);
    EXPECT_FALSE(action(u"mnuFileSave"_s)->isEnabled());
    action(u"mnuReportsDay"_s)->trigger();
    EXPECT_TRUE(list(u"cboChartType"_s)->isEnabled());
}

// A period of the Totals report opens the Day report or the daily totals of that period; a line
// of the Users report opens that person's reports; Back returns to the page and zoom before.
TEST_F(MainWindowTest, ReportsAnswerBackAndBackReturns) {
    load(office());
    child<QCheckBox>(u"chkDateShowDetails"_s)->setChecked(true);
    list(u"cboTotalsReportPeriod"_s)->setCurrentIndex(list(u"cboTotalsReportPeriod"_s)->findText(u"Weeks"_s));
    ASSERT_TRUE(previewAndWait());
    auto* totals = qobject_cast<TotalsReport*>(viewer()->reportSource());
    ASSERT_NE(totals, nullptr);
    ASSERT_FALSE(totals->periods().isEmpty());
    const QDate weekStart = totals->periods().first().start;
    viewer()->setZoomPercent(150);
    QStringList offered;
    QString choose = u"miDrillDay"_s;
    MainWindow::setMenuRunner([&](QMenu& menu) {
        for (QAction* a : menu.actions())
            offered << a->text();
        for (QAction* a : menu.actions())
            if (a->objectName() == choose)
                a->trigger();
    });
    emit viewer()->textItemClicked(u"txtPeriod"_s, 0, QPoint());
    EXPECT_EQ(offered, (QStringList{u"Day report for this period"_s, u"Totals by days for this period"_s}));
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return qobject_cast<DayReport*>(viewer()->reportSource()); }, 10000));
    EXPECT_EQ(child<DateSelector>(u"dtmDateReport"_s)->StartDate(), weekStart);
    EXPECT_EQ(child<DateSelector>(u"dtmDateReport"_s)->EndDate(), weekStart.addDays(6));
    ASSERT_TRUE(action(u"mnuViewBack"_s)->isEnabled());

    // Back is on the viewer's tool bar too.
    auto* back = child<QToolButton>(u"cmdViewerBack"_s);
    ASSERT_TRUE(back->isEnabled());
    back->click();
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return qobject_cast<TotalsReport*>(viewer()->reportSource()); }, 10000));
    EXPECT_EQ(viewer()->zoomPercent(), 150);
    EXPECT_FALSE(action(u"mnuViewBack"_s)->isEnabled());
    EXPECT_FALSE(back->isEnabled());

    // A point of the chart offers the same as its row of the table.
    offered.clear();
    choose.clear();
    emit viewer()->textItemClicked(u"chart"_s, 0, QPoint());
    EXPECT_EQ(offered, (QStringList{u"Day report for this period"_s, u"Totals by days for this period"_s}));
    choose = u"miDrillDay"_s;

    // A Users line: that person's Totals report.
    action(u"mnuReportsUsers"_s)->trigger();
    list(u"cboUserName"_s)
        ->setCurrentIndex(list(u"cboUserName"_s)->findText(u"<All Users> -|- <All Computers>"_s));
    ASSERT_TRUE(previewAndWait());
    auto* users = qobject_cast<UsersReport*>(viewer()->reportSource());
    ASSERT_NE(users, nullptr);
    offered.clear();
    choose = u"miDrillTotals"_s;
    emit viewer()->textItemClicked(u"txtName"_s, 0, QPoint());
    // alice (1800 s and 600 s a day) ties with tester (2400 s) and comes first by name.
    EXPECT_EQ(offered.value(1), u"Totals report for alice"_s);
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return qobject_cast<TotalsReport*>(viewer()->reportSource()); }, 10000));
    EXPECT_EQ(list(u"cboUserName"_s)->currentText(), u"alice -|- <All Computers>"_s);
    // tester works on one computer only: that pair is the entry.
    action(u"mnuViewBack"_s)->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return qobject_cast<UsersReport*>(viewer()->reportSource()); }, 10000));
    offered.clear();
    emit viewer()->textItemClicked(u"txtName"_s, 1, QPoint());
    EXPECT_EQ(offered.value(1), u"Totals report for tester"_s);
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return qobject_cast<TotalsReport*>(viewer()->reportSource()); }, 10000));
    EXPECT_EQ(list(u"cboUserName"_s)->currentText(), u"tester -|- TESTPC"_s);
    MainWindow::setMenuRunner(nullptr);
}

TEST_F(MainWindowTest, PrintGoesThroughThePrintDialog) {
    load(office());
    ASSERT_TRUE(previewAndWait());
    int asked = 0;
    QString job;
    viewer()->setPrintDialogRunner([&](QPrinter& printer, QWidget*) {
        ++asked;
        job = printer.docName();
        return false; // the user cancels: nothing is printed
    });
    action(u"mnuFilePrint"_s)->trigger();
    EXPECT_EQ(asked, 1);
    // The queue names the report, its range and whom it is for.
    EXPECT_EQ(job, u"Total activity, %1 to %2, tester on TESTPC"_s.arg(
                       child<DateSelector>(u"dtmDateReport"_s)->StartDate().toString(Qt::ISODate),
                       child<DateSelector>(u"dtmDateReport"_s)->EndDate().toString(Qt::ISODate)));
    EXPECT_TRUE(errorReporter()->calls().isEmpty());
}

TEST_F(MainWindowTest, HelpOpensTheManualBesideTheProgram) {
    load(office());
    showActive();
    const QString manual = QUrl::fromLocalFile(env().programFolder() + u"/manual/index.html"_s).toString();
    action(u"mnuHelpContents"_s)->trigger();
    ASSERT_EQ(env().openedUrls().size(), 1);
    EXPECT_EQ(env().openedUrls().last(), manual);
    QTest::keyClick(units(), Qt::Key_F1);
    ASSERT_EQ(env().openedUrls().size(), 2);
    EXPECT_EQ(env().openedUrls().last(), manual);
}

TEST_F(MainWindowTest, AboutShowsTheVersionAndTheWebAddresses) {
    writeSetting(u"TyrowURL"_s, u"https://intranet.example/tallyrow"_s, QString(), true, kSettingsHive);
    load(office());
    action(u"mnuHelpAbout"_s)->trigger();
    auto* about = window->findChild<AboutDialog*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(about->findChild<QLabel*>(u"lblProductName"_s)->text(), u"Tallyrow Reports"_s);
    EXPECT_TRUE(about->findChild<QLabel*>(u"lblVersion"_s)->text().contains(u"1."_s));
    EXPECT_TRUE(
        about->findChild<QLabel*>(u"lblTyrowURL"_s)->text().contains(u"https://intranet.example/tallyrow"_s));
    EXPECT_TRUE(about->findChild<QLabel*>(u"lblQuenmarshURL"_s)
                    ->text()
                    .contains(u"https://www.quenmarsh.example/"_s));
    about->hide();
    action(u"mnuHelpAbout"_s)->trigger();
    EXPECT_EQ(window->findChildren<AboutDialog*>().size(), 1) << "a second click shows the same box again";
    EXPECT_TRUE(about->isVisible());
    about->close();
}

TEST_F(MainWindowTest, AbortFromAnErrorReportEndsTheProgram) {
    load(office());
    window->show();
    emit session().errorReporter->Abort();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(session().ended);
    EXPECT_EQ(session().errorReporter, nullptr);
}

TEST_F(MainWindowTest, AbortWhileStartingOnAFileThatIsNoDataFileEndsTheStart) {
    session().commandLineDataPath = env().path(u"notes.txt"_s);
    {
        QFile f(session().commandLineDataPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("shopping list\n");
    }
    errorReporter()->setDefaultAnswer(ReportAnswer::Abort);
    window = std::make_unique<MainWindow>(session());
    EXPECT_FALSE(window->load());
    EXPECT_TRUE(session().ended);
    EXPECT_TRUE(dialogs.isEmpty()) << "no data-file dialog after Abort";
}

TEST_F(MainWindowTest, AFileThatIsNoDataFileIsReportedOnceAtStart) {
    session().commandLineDataPath = env().path(u"notes.txt"_s);
    {
        QFile f(session().commandLineDataPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("shopping list\n");
    }
    errorReporter()->setDefaultAnswer(ReportAnswer::Ignore);
    onDialog = [](QDialog& d) {
        d.findChild<QPushButton*>(u"cmdCancel"_s)->click();
        return d.result();
    };
    messageBox()->queueAnswer(MsgAnswer::Yes);
    window = std::make_unique<MainWindow>(session());
    EXPECT_FALSE(window->load());
    QStringList reported;
    for (const auto& call : errorReporter()->calls())
        reported << call.description;
    EXPECT_EQ(reported.size(), 1) << reported.join(u" | "_s).toStdString();
}

TEST_F(MainWindowTest, AMissingDataFileAsksForOneUntilTheUserAgreesToClose) {
    session().commandLineDataPath = env().path(u"missing.yrd"_s);
    onDialog = [](QDialog& d) {
        d.findChild<QPushButton*>(u"cmdCancel"_s)->click();
        return d.result();
    };
    messageBox()->queueAnswer(MsgAnswer::No);
    messageBox()->queueAnswer(MsgAnswer::Yes);
    window = std::make_unique<MainWindow>(session());
    EXPECT_FALSE(window->load());
    EXPECT_EQ(dialogs, (QStringList{u"frmSelectData"_s, u"frmSelectData"_s}));
    ASSERT_EQ(boxes().size(), 2);
    EXPECT_EQ(boxes()[0].prompt,
              u"Tallyrow Reports needs a data file to operate. Are you sure you want to close?"_s);
    EXPECT_EQ(boxes()[0].buttons, 36);
    EXPECT_EQ(boxes()[0].title, u"Confirm shutdown"_s);
}

TEST_F(MainWindowTest, AFileChosenInTheDialogIsUsed) {
    const QString other = env().path(u"other.yrd"_s);
    test::writeSqliteDataFile(other, office());
    session().commandLineDataPath.clear();
    session().dataPath = env().path(u"missing.yrd"_s);
    onDialog = [&](QDialog&) {
        saveDataPath(session(), other, true);
        return int(QDialog::Accepted);
    };
    window = std::make_unique<MainWindow>(session());
    EXPECT_TRUE(window->load());
    EXPECT_TRUE(waitForData());
    EXPECT_EQ(dialogs, QStringList{u"frmSelectData"_s});
    EXPECT_TRUE(boxes().isEmpty());
    EXPECT_GT(list(u"cboUserName"_s)->count(), 1);
}

TEST_F(MainWindowTest, IgnoringEveryReportOnATextFileNeverTakesIt) {
    load(office());
    const QString text = env().path(u"notes.txt"_s);
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("shopping list\n");
    }
    errorReporter()->clearCalls();
    errorReporter()->setDefaultAnswer(ReportAnswer::Ignore);
    bool acceptedOnOk = true;
    onDialog = [&](QDialog& dialog) {
        dialog.findChild<BrowseButton*>(u"brsDataPath"_s)->setPath(text);
        dialog.findChild<QPushButton*>(u"cmdOK"_s)->click();
        acceptedOnOk = dialog.result() == QDialog::Accepted;
        dialog.findChild<QPushButton*>(u"cmdCancel"_s)->click(); // Ignore led back here
        return dialog.result();
    };
    action(u"mnuSelectDataPath"_s)->trigger();

    EXPECT_FALSE(acceptedOnOk);
    EXPECT_EQ(dataPathOf(session(), kDefaultDataFileName), dataPath);
    EXPECT_FALSE(errorReporter()->calls().isEmpty());
    EXPECT_GT(list(u"cboUserName"_s)->count(), 1) << "the list still shows the file in use";
}

TEST_F(MainWindowTest, IgnoringEveryReportOnAFileWithoutActivityAsksForAnotherAtStart) {
    session().commandLineDataPath = test::fixturePath(u"no-activity-jet4.mdb"_s);
    errorReporter()->setDefaultAnswer(ReportAnswer::Ignore);
    onDialog = [](QDialog& d) {
        d.findChild<QPushButton*>(u"cmdCancel"_s)->click();
        return d.result();
    };
    messageBox()->queueAnswer(MsgAnswer::Yes);
    window = std::make_unique<MainWindow>(session());
    EXPECT_FALSE(window->load());
    EXPECT_EQ(dialogs, QStringList{u"frmSelectData"_s});
    EXPECT_FALSE(errorReporter()->calls().isEmpty());
}

TEST_F(MainWindowTest, ChoosingAPeriodFromTheDateMenuIsAnOptionChange) {
    load(office());
    ASSERT_TRUE(previewAndWait());
    // "Day": the range becomes the single day before today, a Tuesday.
    dates()->findChild<QAction*>(u"miPeriod_4"_s)->trigger();
    EXPECT_EQ(dates()->StartDate(), dates()->EndDate());
    EXPECT_EQ(enabledDays(), dates()->StartDate().toString(u"ddd"_s));
    EXPECT_EQ(viewer()->reportSource(), nullptr);
    EXPECT_FALSE(action(u"mnuFilePrint"_s)->isEnabled());
    EXPECT_FALSE(action(u"mnuFileSave"_s)->isEnabled());
}

TEST_F(MainWindowTest, HelpWithoutABrowserSaysSo) {
    load(office());
    services().openUrl = [](const QString&) { return false; };
    action(u"mnuHelpContents"_s)->trigger();
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes()[0].prompt.contains(env().programFolder() + u"/manual/index.html"_s))
        << boxes()[0].prompt.toStdString();
    EXPECT_EQ(boxes()[0].buttons, 48);
}

TEST_F(MainWindowTest, KeyboardShortcutsReachTheMenusAndThePreview) {
    load(office());
    EXPECT_EQ(action(u"mnuFilePrint"_s)->shortcut(), QKeySequence(QKeySequence::Print));
    EXPECT_EQ(action(u"mnuFileSave"_s)->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(action(u"mnuSelectDataPath"_s)->shortcut(), QKeySequence(u"Ctrl+O"_s));
    EXPECT_EQ(action(u"mnuFileExit"_s)->shortcut(), QKeySequence(u"Ctrl+Q"_s));
    EXPECT_EQ(action(u"mnuHelpContents"_s)->shortcut(), QKeySequence(Qt::Key_F1)) << "shown beside the item";
    // Every item of a menu has an Alt key of its own.
    for (const char* menuName : {"mnuFile", "mnuTools", "mnuReports", "mnuHelp"}) {
        QStringList keys;
        for (const QAction* item : child<QMenu>(QString::fromLatin1(menuName))->actions()) {
            if (!item->isSeparator())
                keys << item->text().section(u'&', 1).left(1).toLower();
        }
        EXPECT_FALSE(keys.contains(QString())) << menuName;
        EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()).size(), keys.size()) << menuName;
    }
    // Items that open a dialog say so.
    for (const char* name : {"mnuFilePrint", "mnuFileSave", "mnuSelectDataPath", "mnuResetAnswers"})
        EXPECT_TRUE(action(QString::fromLatin1(name))->text().endsWith(u"..."_s)) << name;

    showActive();
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(dialogs.isEmpty()) << "nothing to save before a preview";
    QTest::keyClick(window.get(), Qt::Key_F5);
    ASSERT_TRUE(QTest::qWaitFor([this] { return action(u"mnuFileSave"_s)->isEnabled(); }, 10000));
    EXPECT_GT(viewer()->pageCount(), 0);
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(dialogs, QStringList{u"frmSaveAs"_s});
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs.size(), 2);
    EXPECT_TRUE(errorReporter()->calls().isEmpty());
}

TEST_F(MainWindowTest, TheStatusBarNamesTheDataFile) {
    load(office());
    auto* source = child<QLabel>(u"lblDataSource"_s);
    EXPECT_TRUE(source->text().contains(QDir::toNativeSeparators(dataPath))) << source->text().toStdString();
    EXPECT_TRUE(window->statusBar()->isAncestorOf(source));
}

TEST_F(MainWindowTest, ARangeWithoutActivitySaysSoAboveTheReport) {
    load(office());
    for (const char* report : {"mnuReportsTotals", "mnuReportsDay"}) {
        SCOPED_TRACE(report);
        action(QString::fromLatin1(report))->trigger();
        setRange(QDate(2023, 1, 2), QDate(2023, 1, 8));
        ASSERT_TRUE(previewAndWait());
        EXPECT_EQ(viewer()->notice(), u"No activity recorded for these options"_s);
        EXPECT_GT(viewer()->pageCount(), 0) << "the empty report is still shown, and can be printed";
        setRange(QDate(2024, 5, 6), QDate(2024, 5, 12));
        ASSERT_TRUE(previewAndWait());
        EXPECT_TRUE(viewer()->notice().isEmpty());
    }
}

TEST_F(MainWindowTest, TypingAnyPartOfAnEntryFindsIt) {
    load(office());
    showActive();
    QComboBox* users = list(u"cboUserName"_s);
    QCompleter* finder = users->completer();
    ASSERT_NE(finder, nullptr);
    users->setFocus();
    users->lineEdit()->clear();
    QTest::keyClicks(users->lineEdit(), u"pc1"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finder->popup()->isVisible(); }, 2000));
    EXPECT_EQ(finder->completionCount(), 1);
    QTest::keyClick(finder->popup(), Qt::Key_Down);
    QTest::keyClick(finder->popup(), Qt::Key_Return);
    EXPECT_EQ(users->currentText(), u"alice -|- PC1"_s);
    EXPECT_EQ(users->currentIndex(), users->findText(u"alice -|- PC1"_s));

    // A search that matches nothing is never quietly replaced by the entry chosen before: the
    // list never grows, and Preview says so instead of reporting on alice.
    const int count = users->count();
    users->lineEdit()->selectAll();
    QTest::keyClicks(users->lineEdit(), u"nobody"_s);
    QTest::keyClick(users->lineEdit(), Qt::Key_Escape);
    EXPECT_EQ(users->count(), count);
    child<QPushButton>(u"cmdPreviewReport"_s)->click();
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes()[0].prompt.startsWith(u"\"nobody\" is not an entry of the user and computer list."_s))
        << boxes()[0].prompt.toStdString();
    EXPECT_FALSE(action(u"mnuFileSave"_s)->isEnabled()) << "no report was made";
    EXPECT_TRUE(users->hasFocus());
    // The entry typed in full, in any case, is taken.
    users->lineEdit()->setText(u"ALICE -|- pc1"_s);
    EXPECT_TRUE(previewAndWait());
    EXPECT_EQ(users->currentText(), u"alice -|- PC1"_s);

    // An entry's whole text chooses it at once, as on a plain list.
    const int other = users->findText(u"alice -|- PC1"_s) == 0 ? 1 : 0;
    users->setCurrentText(users->itemText(other));
    EXPECT_EQ(users->currentIndex(), other);
}

TEST_F(MainWindowTest, RememberedAnswersCanBeResetAfterConfirming) {
    load(office());
    const QString key = applicationKey() + u"\\Remembered Answers"_s;
    ASSERT_EQ(writeSettingsValue(kSettingsHive, key, u"Overwrite"_s, std::uint32_t(MsgAnswer::Yes),
                                 RegType::Number, true),
              0);
    writeSetting(u"LastReportFolder"_s, u"/tmp"_s, QString(), false, kSettingsHive);

    messageBox()->queueAnswer(MsgAnswer::No);
    action(u"mnuResetAnswers"_s)->trigger();
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(settingsKeyExists(kSettingsHive, key)) << "No keeps them";

    messageBox()->queueAnswer(MsgAnswer::Yes);
    action(u"mnuResetAnswers"_s)->trigger();
    EXPECT_EQ(boxes().size(), 2);
    EXPECT_FALSE(settingsKeyExists(kSettingsHive, key));
    EXPECT_EQ(readSetting(u"LastReportFolder"_s, QString(), QString(), false, kSettingsHive), u"/tmp"_s)
        << "other settings stay";
    EXPECT_TRUE(errorReporter()->calls().isEmpty());
}

// Tab walks the window as it reads, top to bottom and left to right, and comes round again:
// the user list, the tabs, every date control, the page's other options, Preview, the viewer.
TEST_F(MainWindowTest, TabFollowsTheScreenFromTopToBottom) {
    load(office());
    showActive();
    const auto focusName = [] {
        QWidget* w = QApplication::focusWidget();
        while (w && (w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s)))
            w = w->parentWidget();
        return w ? w->objectName() : QString();
    };
    child<QComboBox>(u"cboUserName"_s)->setFocus(Qt::TabFocusReason);
    QStringList cycle{focusName()};
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (focusName() == cycle.first())
            break;
        cycle << focusName();
    }
    const QStringList options{u"cboUserName"_s,      u"tabOptions"_s,   u"dtpStartDate"_s,
                              u"dtpEndDate"_s,       u"chkLockDate"_s,  u"updDateDown"_s,
                              u"updDateUp"_s,        u"cboChartType"_s, u"chkDateShowDetails"_s,
                              u"cmdPreviewReport"_s, u"chkFollowFile"_s};
    ASSERT_GT(cycle.size(), options.size()) << cycle.join(u", "_s).toStdString();
    EXPECT_EQ(cycle.mid(0, options.size()).join(u", "_s).toStdString(), options.join(u", "_s).toStdString());
    EXPECT_EQ(focusName().toStdString(), "cboUserName") << cycle.join(u", "_s).toStdString();

    // On the other page, too, Tab goes from the tabs into the page.
    auto* tabs = child<QTabWidget>(u"tabOptions"_s);
    tabs->setCurrentIndex(1);
    tabs->tabBar()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(tabs->currentWidget()->isAncestorOf(QApplication::focusWidget()))
        << focusName().toStdString();
}
