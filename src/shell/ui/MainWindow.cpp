#include "shell/ui/MainWindow.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/MemoryPropertyStore.h"
#include "datafile/PostgresUri.h"
#include "datafile/SqliteDatabase.h"
#include "datafile/SqliteProvider.h"
#include "activity/ActivityPlanner.h"
#include "activity/SqlExecutor.h"
#include "activity/StoreCache.h"
#include "datafile/ui/SelectDataDialog.h"
#include "dateselector/ui/DateSelector.h"
#include "engine/ChartDefinition.h"
#include "engine/ui/ReportViewer.h"
#include "output/ReportDocument.h"
#include "output/ui/SaveAsDialog.h"
#include "datafile/ui/BrowseButton.h"
#include "reports/DayReport.h"
#include "reports/TotalsReport.h"
#include "reports/UsersReport.h"
#include "shell/PreviewRequest.h"
#include "reports/DayNumbers.h"
#include "shell/ReportOptions.h"
#include "shell/UserList.h"
#include "shell/ui/EndApplication.h"
#include "shell/ui/AboutDialog.h"
#include "support/CommandLine.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/ui/AccessibleNames.h"
#include "support/ui/AnnouncementLabel.h"
#include "support/ui/NamedListAccessible.h"
#include "support/FileUtils.h"
#include "support/MessageBoxEx.h"
#include "support/Registry.h"
#include "support/Services.h"
#include "support/StepRunner.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QApplication>
#include <QThread>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {
// Said after Ignore on a data file that does not open: what happened, then where to go next.
const QString kOpeningProblem =
    u"There was a problem opening the database. Please make sure you have selected a valid database"
    ". To choose another, use Tools > Change Data File."_s;
} // namespace

namespace {

MainWindow::DialogRunner& dialogRunner() {
    static MainWindow::DialogRunner runner;
    return runner;
}

std::function<void(QMenu&)>& menuRunner() {
    static std::function<void(QMenu&)> runner;
    return runner;
}

std::shared_ptr<FileChooser>& reportChooser() {
    static std::shared_ptr<FileChooser> chooser;
    return chooser;
}

std::optional<QString>& storeCacheFolder() {
    static std::optional<QString> folder;
    return folder;
}

const QString kNoActivityNotice = u"No activity recorded for these options"_s;

// The date selector's period kind for a range of whole weeks.
constexpr int kPeriodWeek = 6;

// The widgets in and under `root` that Tab stops at, in the order the focus chain holds them
// now: the ones that take the focus themselves, not those that hand it on to another.
QList<QWidget*> tabStopsIn(QWidget* root) {
    QList<QWidget*> stops;
    QWidget* w = root;
    do {
        if ((w == root || root->isAncestorOf(w)) && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
            stops << w;
        w = w->nextInFocusChain();
    } while (w != root);
    return stops;
}

QLabel* makeLabel(const QString& name, const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QComboBox* makeList(const QString& name, const QStringList& items, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    list->addItems(items);
    return list;
}

} // namespace

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QMainWindow(parent),
      m_properties(std::make_unique<MemoryPropertyStore>(
          std::initializer_list<std::pair<QString, QVariant>>{{u"period"_s, kPeriodWeek}})),
      m_cache(std::make_shared<StoreCache>(storeCacheFolder().value_or(StoreCache::defaultCacheFolder()))),
      m_session(session) {
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"Tyrow Reports"_s);
    NamedListAccessible::install(); // before the first list is made
    buildControls();
    buildMenus();
    nameFieldsByTheirLabels(this);
    connectOptionChanges();
    fitToScreen();
    setDataFileBusyTimeout(savedDataFileWait());
    // The wait is told from whichever thread waits: on this one the window cannot run its events
    // meanwhile, so the message is drawn at once.
    SqliteDatabase::setBusyWaitObserver(
        [window = QPointer<MainWindow>(this)](const SqliteDatabase::BusyWait& w) {
            const auto whole = [](std::chrono::milliseconds t) {
                return int(std::chrono::duration_cast<std::chrono::seconds>(t).count());
            };
            const int waited = whole(w.waited);
            const int limit = whole(w.limit);
            QMetaObject::invokeMethod(
                qApp,
                [window, path = w.path, waited, limit] {
                    if (window)
                        window->showDataFileWait(path, waited, limit);
                },
                QThread::currentThread() == qApp->thread() ? Qt::DirectConnection : Qt::QueuedConnection);
        });
}

MainWindow::~MainWindow() {
    SqliteDatabase::setBusyWaitObserver({});
    // The user list and its line edit signal as they are destroyed with the window's children,
    // when this window's own part is already gone: nothing here may answer them then.
    if (m_userList) {
        disconnect(m_userList, nullptr, this, nullptr);
        if (m_userList->lineEdit())
            disconnect(m_userList->lineEdit(), nullptr, this, nullptr);
    }
    // The worker reads through the cache and reports back to this window: both must outlast it.
    if (m_loadJob) {
        m_loadJob->cancel();
        m_loadJob->wait();
        m_loadJob.reset();
    }
    if (m_viewer)
        m_viewer->setReportSource(nullptr);
}

void MainWindow::setDialogRunner(DialogRunner runner) {
    dialogRunner() = std::move(runner);
}

void MainWindow::setMenuRunner(std::function<void(QMenu&)> runner) {
    menuRunner() = std::move(runner);
}

void MainWindow::setReportChooser(std::shared_ptr<FileChooser> chooser) {
    reportChooser() = std::move(chooser);
}

void MainWindow::setStoreCacheFolder(std::optional<QString> folder) {
    storeCacheFolder() = std::move(folder);
}

int MainWindow::runDialog(QDialog& dialog) {
    if (dialogRunner())
        return dialogRunner()(dialog);
    return dialog.exec();
}

void MainWindow::fitToScreen() {
    // Each options page scrolls when it is taller than the room it gets, so the window never
    // needs more height than a small screen (or a large scale) offers.
    for (int i = 0; i < m_optionTabs->count(); ++i) {
        QWidget* page = m_optionTabs->widget(i);
        if (qobject_cast<QScrollArea*>(page))
            continue;
        const QString caption = m_optionTabs->tabText(i);
        m_optionTabs->removeTab(i);
        auto* area = new QScrollArea;
        area->setObjectName(page->objectName() + u"Scroll"_s);
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setFocusPolicy(Qt::NoFocus); // no extra Tab stop: the wheel and the bar scroll it
        area->setWidget(page);
        m_optionTabs->insertTab(i, area, caption);
    }
    m_optionTabs->setCurrentIndex(0);
    orderTabStops();
    resize(sizeHint());
}

void MainWindow::orderTabStops() {
    // Wrapping a page in its scroll area moved its controls to the end of the focus chain; Tab
    // follows the screen instead: the list at the top, the tabs and the shown page's controls,
    // Preview and the box under it, then the viewer on the right.
    QList<QWidget*> chain = tabStopsIn(m_userList);
    chain << tabStopsIn(m_optionTabs->tabBar());
    for (int i = 0; i < m_optionTabs->count(); ++i)
        chain << tabStopsIn(m_optionTabs->widget(i));
    chain << m_previewButton << m_followFileBox << tabStopsIn(m_viewer);
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    // and from the viewer round to the top again.
    setTabOrder(chain.last(), chain.first());
}

void MainWindow::showEvent(QShowEvent* event) {
    // Until the window is first laid out its minimum is much larger than it will be, which kept
    // the size asked for at construction from applying: it is asked for again once it is.
    QMainWindow::showEvent(event);
    if (!std::exchange(m_sizedOnShow, true))
        QTimer::singleShot(0, this, [this] {
            if (!isMaximized() && !isFullScreen())
                resize(sizeHint().boundedTo(size()));
        });
}

QSize MainWindow::sizeHint() const {
    // Room for the options and a readable page, but never more than the screen offers (less a
    // margin for the window's frame): at a large scale the options scroll instead.
    QSize size(1100, 760);
    if (const QScreen* shown = screen()) {
        // The menu bar joins the window only as it is first shown, on top of this height.
        const int bars = menuWidget() ? menuWidget()->sizeHint().height() : 0;
        size = size.boundedTo(shown->availableGeometry().size() * 0.95 - QSize(0, 40 + bars));
    }
    // Not widened to the minimum here: before the window is first laid out that is far larger
    // than it will be, and the layout keeps the window from getting smaller than it can take.
    return size;
}

void MainWindow::buildControls() {
    auto* options = new QWidget(this);
    options->setObjectName(u"vseOptions"_s);
    auto* column = new QVBoxLayout(options);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(6);

    m_titleLabel = makeLabel(u"lblTitle"_s, u"Activity by day of week"_s, options);
    QFont titleFont(u"Tahoma"_s);
    titleFont.setPointSizeF(9.75);
    titleFont.setBold(true);
    m_titleLabel->setFont(titleFont);
    column->addWidget(m_titleLabel);

    buildUserList(options, column);

    m_optionTabs = new QTabWidget(options);
    m_optionTabs->setObjectName(u"tabOptions"_s);
    m_optionTabs->setAccessibleName(u"Report options"_s);
    buildDatePage();
    buildTimePage();

    column->addSpacing(4);
    column->addWidget(m_optionTabs, 1);

    m_previewButton = new QPushButton(u"Preview Day Report"_s, options);
    m_previewButton->setObjectName(u"cmdPreviewReport"_s);
    m_previewButton->setDefault(true);
    m_previewButton->setMinimumHeight(32);
    m_previewButton->setToolTip(u"Show the report with these options (F5)"_s);
    column->addWidget(m_previewButton);
    m_followFileBox = new QCheckBox(u"Refresh automatically"_s, options);
    m_followFileBox->setObjectName(u"chkFollowFile"_s);
    m_followFileBox->setToolTip(
        u"While the monitoring product writes, the shown report is made again from the "
        "new data every few seconds, on the same page"_s);
    column->addWidget(m_followFileBox);

    m_viewer = new engine::ReportViewer(this);
    m_viewer->setObjectName(u"arvPreview"_s);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(u"vseMain"_s);
    splitter->addWidget(options);
    splitter->addWidget(m_viewer);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setCollapsible(0, false);
    splitter->setCollapsible(1, false);
    options->setMinimumWidth(280);
    options->setMaximumWidth(420);
    setCentralWidget(splitter);

    connect(m_previewButton, &QPushButton::clicked, this, [this] { onPreviewClicked(); });
    connect(m_viewer, &engine::ReportViewer::LoadCompleted, this, [this] { onReportShown(); });
    connect(m_viewer, &engine::ReportViewer::textItemClicked, this,
            [this](const QString& name, int ordinal, QPoint at) { offerDrillDown(name, ordinal, at); });
    connect(m_dateSelector, &DateSelector::Change, this, [this] { onDatesChanged(); });

    buildShortcuts();
    buildStatusBar();
}

void MainWindow::buildStatusBar() {
    m_dataSourceLabel = new QLabel(statusBar());
    m_dataSourceLabel->setObjectName(u"lblDataSource"_s);
    statusBar()->addWidget(m_dataSourceLabel, 1);
    // Says when a report is ready, to the eye and to a screen reader.
    m_reportStatus = new AnnouncementLabel(statusBar());
    m_reportStatus->setObjectName(u"lblReportStatus"_s);
    statusBar()->addPermanentWidget(m_reportStatus);
    m_loadProgressLabel = new QLabel(statusBar());
    m_loadProgressLabel->setObjectName(u"lblLoadProgress"_s);
    statusBar()->addPermanentWidget(m_loadProgressLabel);
    m_cancelLoadButton = new QPushButton(u"Cancel"_s, statusBar());
    m_cancelLoadButton->setObjectName(u"cmdCancelLoad"_s);
    m_cancelLoadButton->setToolTip(u"Stop reading the data file"_s);
    statusBar()->addPermanentWidget(m_cancelLoadButton);
    m_loadProgressLabel->hide();
    m_cancelLoadButton->hide();
    connect(m_cancelLoadButton, &QPushButton::clicked, this, [this] { cancelStoreLoad(); });
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (!message.isEmpty())
            return;
        statusBar()->setToolTip(QString());
        if (m_loadJob)
            m_loadProgressLabel->show();
    });
    m_loadTimer = new QTimer(this);
    m_loadTimer->setInterval(100);
    connect(m_loadTimer, &QTimer::timeout, this, [this] { showLoadProgress(); });
    // The monitoring product writes all day: the window looks at the file now and then, so a
    // Preview usually finds its store current.
    m_watchTimer = new QTimer(this);
    m_watchTimer->setInterval(3000);
    connect(m_watchTimer, &QTimer::timeout, this, [this] { checkDataFileChanged(); });
    m_watchTimer->start();
}

void MainWindow::buildUserList(QWidget* options, QVBoxLayout* column) {
    m_userLabel = makeLabel(u"lblUserName"_s, u"User and computer"_s, options);
    m_userList = makeList(u"cboUserName"_s, {}, options);
    m_userList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_userList->setMinimumContentsLength(18);
    // Offices with hundreds of entries find theirs by typing any part of it; the entry itself
    // stays one of the list's (typing never makes a new one).
    m_userList->setEditable(true);
    m_userList->setInsertPolicy(QComboBox::NoInsert);
    auto* finder = new QCompleter(m_userList->model(), m_userList);
    finder->setObjectName(u"cmpUserName"_s);
    finder->setCaseSensitivity(Qt::CaseInsensitive);
    finder->setFilterMode(Qt::MatchContains);
    finder->setCompletionMode(QCompleter::PopupCompletion);
    m_userList->setCompleter(finder);
    // A text that is an entry exactly (typed in full, or set by a caller as on a plain list)
    // chooses that entry at once.
    connect(m_userList, &QComboBox::editTextChanged, this, [this](const QString& text) {
        const int exact = m_userList->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (exact >= 0 && exact != m_userList->currentIndex())
            m_userList->setCurrentIndex(exact);
    });
    // A text that matches no entry stays as typed: Preview then says so rather than report on
    // the entry chosen before.
    connect(m_userList->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        const int chosen = m_userList->findText(m_userList->currentText(), Qt::MatchFixedString);
        if (chosen >= 0)
            m_userList->setCurrentIndex(chosen);
    });
    m_userLabel->setBuddy(m_userList);
    m_userList->lineEdit()->setAccessibleName(m_userLabel->text());
    column->addWidget(m_userLabel);
    column->addWidget(m_userList);
}

void MainWindow::buildShortcuts() {
    // F1 opens the help wherever the focus is in the window.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [this] { showHelp(); });
    // F5 previews with the options as they stand, as the button does.
    auto* preview = new QShortcut(QKeySequence(Qt::Key_F5), this);
    preview->setObjectName(u"shortcutPreview"_s);
    preview->setContext(Qt::WindowShortcut);
    connect(preview, &QShortcut::activated, this, [this] {
        if (m_previewButton->isEnabled())
            m_previewButton->click();
    });
}

void MainWindow::showDataSource() {
    const QString source = dataPathOf(m_session, kDefaultDataFileName);
    const QString shown =
        isPostgresUri(source) ? redactedPostgresUri(source) : QDir::toNativeSeparators(source);
    m_dataSourceLabel->setText(shown.isEmpty() ? QString() : u"Data: "_s + shown);
    m_dataSourceLabel->setToolTip(shown);
}

void MainWindow::buildDatePage() {
    // "Date": the range and how the result is drawn.
    auto* datePage = new QWidget(m_optionTabs);
    datePage->setObjectName(u"tabDate"_s);
    auto* dateLayout = new QVBoxLayout(datePage);
    m_dateSelector = new DateSelector(datePage);
    m_dateSelector->setObjectName(u"dtmDateReport"_s);
    m_dateSelector->ReadProperties(
        [this](const QString& key, const QVariant& def) { return m_properties->read(key, def); });
    dateLayout->addWidget(m_dateSelector);
    m_chartTypeLabel = makeLabel(u"lblDateChartType"_s, u"Chart type"_s, datePage);
    m_chartTypeBox = makeList(u"cboChartType"_s, {}, datePage);
    m_chartTypeLabel->setBuddy(m_chartTypeBox);
    dateLayout->addSpacing(6);
    dateLayout->addWidget(m_chartTypeLabel);
    dateLayout->addWidget(m_chartTypeBox);
    m_showDetailsBox = new QCheckBox(u"Show Details"_s, datePage);
    m_showDetailsBox->setObjectName(u"chkDateShowDetails"_s);
    dateLayout->addWidget(m_showDetailsBox);
    dateLayout->addStretch(1);
    m_optionTabs->addTab(datePage, u"Date"_s);
}

void MainWindow::buildTimePage() {
    // "Time": how the active time is counted; one panel per report, the current one in front.
    auto* timePage = new QWidget(m_optionTabs);
    timePage->setObjectName(u"tabTime"_s);
    auto* timeLayout = new QVBoxLayout(timePage);
    m_reportPanels = new QStackedWidget(timePage);
    m_reportPanels->setObjectName(u"reportPanels"_s);
    timeLayout->addWidget(m_reportPanels);

    buildDayPanel();
    buildTotalsPanel();
    buildUsersPanel();
    m_optionTabs->addTab(timePage, u"Time"_s);
}

void MainWindow::buildDayPanel() {
    m_dayPanel = new QWidget(m_reportPanels);
    m_dayPanel->setObjectName(u"vseDayReport"_s);
    auto* day = new QVBoxLayout(m_dayPanel);
    day->setContentsMargins(0, 0, 0, 0);
    m_totalTypeLabel = makeLabel(u"lblOverDataRange"_s, u"Over this date range show..."_s, m_dayPanel);
    m_totalTypeBox = makeList(u"cboTotalType"_s,
                              {u"average over date range"_s, u"total over date range"_s,
                               u"maximum in date range"_s, u"minimum in date range "_s},
                              m_dayPanel);
    m_totalTypeLabel->setBuddy(m_totalTypeBox);
    m_showEachDayLabel = makeLabel(u"lblonGraph"_s, u"On the graph show..."_s, m_dayPanel);
    m_showEachDayBox = makeList(
        u"cboShowEachDay"_s,
        {u"average of selected days"_s, u"each day separately"_s, u"separate days & average"_s}, m_dayPanel);
    m_showEachDayLabel->setBuddy(m_showEachDayBox);
    m_daysLabel = makeLabel(u"lblDayReportDaysToInclude"_s, u"Include data from these days"_s, m_dayPanel);
    day->addWidget(m_totalTypeLabel);
    day->addWidget(m_totalTypeBox);
    day->addSpacing(4);
    day->addWidget(m_showEachDayLabel);
    day->addWidget(m_showEachDayBox);
    day->addSpacing(4);
    day->addWidget(m_daysLabel);
    // The seven boxes are one group for a screen reader, named as the label above them.
    auto* dayGroup = new QGroupBox(m_dayPanel);
    dayGroup->setObjectName(u"grpDays"_s);
    dayGroup->setFlat(true);
    dayGroup->setAccessibleName(m_daysLabel->text());
    dayGroup->setStyleSheet(u"QGroupBox#grpDays { border: none; margin: 0; padding: 0; }"_s);
    auto* days = new QGridLayout(dayGroup);
    days->setContentsMargins(8, 0, 0, 0);
    for (int i = 0; i < 7; ++i) {
        const QString name = weekdayNames()[i];
        m_dayBoxes[i] = new QCheckBox(name, dayGroup);
        m_dayBoxes[i]->setObjectName(u"chkDate"_s + name);
        m_dayBoxes[i]->setChecked(true);
        days->addWidget(m_dayBoxes[i], i % 4, i / 4);
    }
    day->addWidget(dayGroup);
    day->addSpacing(4);
    m_shadeTableBox = new QCheckBox(u"Shade the table"_s, m_dayPanel);
    m_shadeTableBox->setObjectName(u"chkShadeTable"_s);
    m_shadeTableBox->setToolTip(u"Shades each hour and day by its value (shown with the table)"_s);
    m_keyFiguresBox = new QCheckBox(u"Key figures"_s, m_dayPanel);
    m_keyFiguresBox->setObjectName(u"chkKeyFigures"_s);
    m_keyFiguresBox->setToolTip(
        u"Busiest hour and day, active hours and the change against the previous range"_s);
    day->addWidget(m_shadeTableBox);
    day->addWidget(m_keyFiguresBox);
    day->addStretch(1);
    m_reportPanels->addWidget(m_dayPanel);
}

void MainWindow::buildTotalsPanel() {
    m_totalsPanel = new QWidget(m_reportPanels);
    m_totalsPanel->setObjectName(u"vseTotalsReport"_s);
    auto* totals = new QVBoxLayout(m_totalsPanel);
    totals->setContentsMargins(0, 0, 0, 0);
    m_timeScaleLabel = makeLabel(u"Label2"_s, u"Show time on graph as:"_s, m_totalsPanel);
    m_timeScaleBox = makeList(u"cboTimeScale"_s, {u"seconds"_s, u"minutes"_s, u"hours"_s}, m_totalsPanel);
    m_timeScaleLabel->setBuddy(m_timeScaleBox);
    m_unitsLabel =
        makeLabel(u"lblTotalsReportUnits"_s, u"Show total activity in groups of:"_s, m_totalsPanel);
    m_unitsEdit = new QLineEdit(u"1"_s, m_totalsPanel);
    m_unitsEdit->setObjectName(u"txtTotalsReportUnits"_s);
    // Wide enough for any number a period can use, and it says what it takes.
    m_unitsEdit->setMaximumWidth(m_unitsEdit->fontMetrics().horizontalAdvance(u"0"_s) * 12 + 16);
    m_unitsEdit->setToolTip(u"How many days, weeks, months or years each row of the report covers: "
                            "a whole number, such as 2 with weeks for fortnights"_s);
    m_unitsLabel->setBuddy(m_unitsEdit);
    m_periodBox =
        makeList(u"cboTotalsReportPeriod"_s, {u"Days"_s, u"Weeks"_s, u"Months"_s, u"Years"_s}, m_totalsPanel);
    m_periodBox->setAccessibleName(u"Period"_s);
    totals->addWidget(m_timeScaleLabel);
    totals->addWidget(m_timeScaleBox);
    totals->addSpacing(4);
    totals->addWidget(m_unitsLabel);
    auto* units = new QHBoxLayout;
    units->addWidget(m_unitsEdit);
    units->addWidget(m_periodBox, 1);
    totals->addLayout(units);
    totals->addSpacing(4);
    m_compareBox = new QCheckBox(u"Compare with the previous range"_s, m_totalsPanel);
    m_compareBox->setObjectName(u"chkCompare"_s);
    totals->addWidget(m_compareBox);
    totals->addStretch(1);
    m_reportPanels->addWidget(m_totalsPanel);
}

void MainWindow::buildUsersPanel() {
    m_usersPanel = new QWidget(m_reportPanels);
    m_usersPanel->setObjectName(u"vseUsersReport"_s);
    auto* users = new QVBoxLayout(m_usersPanel);
    users->setContentsMargins(0, 0, 0, 0);
    auto* byLabel = makeLabel(u"lblGroupBy"_s, u"Show active time per:"_s, m_usersPanel);
    m_groupByBox =
        makeList(u"cboGroupBy"_s, {u"user"_s, u"computer"_s, u"user and computer"_s}, m_usersPanel);
    byLabel->setBuddy(m_groupByBox);
    auto* scaleLabel = makeLabel(u"lblUsersTimeScale"_s, u"Show time as:"_s, m_usersPanel);
    m_usersTimeScaleBox =
        makeList(u"cboUsersTimeScale"_s, {u"seconds"_s, u"minutes"_s, u"hours"_s}, m_usersPanel);
    m_usersTimeScaleBox->setCurrentIndex(1);
    scaleLabel->setBuddy(m_usersTimeScaleBox);
    auto* daysLabel = makeLabel(u"lblUsersDays"_s, u"Include data from these days"_s, m_usersPanel);
    auto* dayGroup = new QGroupBox(m_usersPanel);
    dayGroup->setObjectName(u"grpUsersDays"_s);
    dayGroup->setFlat(true);
    dayGroup->setAccessibleName(daysLabel->text());
    dayGroup->setStyleSheet(u"QGroupBox#grpUsersDays { border: none; margin: 0; padding: 0; }"_s);
    auto* days = new QGridLayout(dayGroup);
    days->setContentsMargins(8, 0, 0, 0);
    for (int i = 0; i < 7; ++i) {
        const QString name = weekdayNames()[i];
        m_usersDayBoxes[std::size_t(i)] = new QCheckBox(name, dayGroup);
        m_usersDayBoxes[std::size_t(i)]->setObjectName(u"chkUsers"_s + name);
        m_usersDayBoxes[std::size_t(i)]->setChecked(true);
        days->addWidget(m_usersDayBoxes[std::size_t(i)], i % 4, i / 4);
    }
    for (QWidget* w : {static_cast<QWidget*>(byLabel), static_cast<QWidget*>(m_groupByBox),
                       static_cast<QWidget*>(scaleLabel), static_cast<QWidget*>(m_usersTimeScaleBox),
                       static_cast<QWidget*>(daysLabel), static_cast<QWidget*>(dayGroup)})
        users->addWidget(w);
    users->addStretch(1);
    m_reportPanels->addWidget(m_usersPanel);
}

void MainWindow::buildMenus() {
    auto makeAction = [this](QMenu* menu, const QString& name, const QString& caption, auto handler) {
        auto* action = menu->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* file = menuBar()->addMenu(u"&File"_s);
    file->setObjectName(u"mnuFile"_s);
    makeAction(file, u"mnuFileOpenReport"_s, u"&Open Report..."_s, [this] {
        onOpenReport();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    file->addSeparator();
    m_printAction = makeAction(file, u"mnuFilePrint"_s, u"&Print..."_s, [this] { onPrint(); });
    m_printAction->setShortcut(QKeySequence::Print);
    m_saveAction = makeAction(file, u"mnuFileSave"_s, u"&Save..."_s, [this] { onSave(); });
    m_saveAction->setShortcut(QKeySequence::Save);
    file->addSeparator();
    m_exitAction = makeAction(file, u"mnuFileExit"_s, u"E&xit"_s, [this] { onExit(); });
    m_exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* tools = menuBar()->addMenu(u"&Tools"_s);
    tools->setObjectName(u"mnuTools"_s);
    m_changeDataFileAction =
        makeAction(tools, u"mnuSelectDataPath"_s, u"&Change Data File..."_s, [this] { onChangeDataFile(); });
    m_changeDataFileAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    tools->addSeparator();
    makeAction(tools, u"mnuDataFileWait"_s, u"&Wait for a Locked Data File..."_s,
               [this] { onDataFileWait(); });
    makeAction(tools, u"mnuResetAnswers"_s, u"&Reset Remembered Answers..."_s, [this] { onResetAnswers(); });

    QMenu* reports = menuBar()->addMenu(u"&Reports"_s);
    reports->setObjectName(u"mnuReports"_s);
    m_dayReportAction = makeAction(reports, u"mnuReportsDay"_s, u"&Day Report"_s, [this] {
        StepRunner run(askThrough(m_err), u"choosing the Day report&"_s);
        run.step([this] { initReport(1); });
    });
    m_totalsReportAction = makeAction(reports, u"mnuReportsTotals"_s, u"&Totals Report"_s, [this] {
        StepRunner run(askThrough(m_err), u"choosing the Totals report&"_s);
        run.step([this] { initReport(0); });
    });
    m_usersReportAction = makeAction(reports, u"mnuReportsUsers"_s, u"&Users Report"_s, [this] {
        StepRunner run(askThrough(m_err), u"choosing the Users report&"_s);
        run.step([this] { initReport(2); });
    });
    m_dayReportAction->setCheckable(true);
    m_totalsReportAction->setCheckable(true);
    m_usersReportAction->setCheckable(true);
    reports->addSeparator();
    m_backAction = makeAction(reports, u"mnuViewBack"_s, u"&Back"_s, [this] { goBack(); });
    m_backAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    m_backAction->setToolTip(u"Back to the report shown before (Alt+Left)"_s);
    m_backAction->setEnabled(false);
    m_viewer->addToolBarAction(m_backAction, u"cmdViewerBack"_s);

    QMenu* help = menuBar()->addMenu(u"&Help"_s);
    help->setObjectName(u"mnuHelp"_s);
    m_helpContentsAction =
        makeAction(help, u"mnuHelpContents"_s, u"&Contents"_s, [this] { onHelpContents(); });
    // Shown beside the item; the window's own F1 shortcut opens the help from anywhere.
    m_helpContentsAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_helpContentsAction->setShortcutContext(Qt::WidgetShortcut);
    m_aboutAction = makeAction(help, u"mnuHelpAbout"_s, u"&About"_s, [this] { onAbout(); });
}

void MainWindow::connectOptionChanges() {
    auto clear = [this] { ignoringFailures([this] { clearPreview(); }); };
    for (QComboBox* list :
         {m_chartTypeBox, m_showEachDayBox, m_timeScaleBox, m_periodBox, m_userList, m_totalTypeBox})
        connect(list, &QComboBox::currentIndexChanged, this, clear);
    for (QCheckBox* box : m_dayBoxes)
        connect(box, &QCheckBox::toggled, this, clear);
    connect(m_showDetailsBox, &QCheckBox::toggled, this, clear);
    connect(m_shadeTableBox, &QCheckBox::toggled, this, clear);
    connect(m_keyFiguresBox, &QCheckBox::toggled, this, clear);
    connect(m_compareBox, &QCheckBox::toggled, this, clear);
    connect(m_groupByBox, &QComboBox::currentIndexChanged, this, clear);
    connect(m_usersTimeScaleBox, &QComboBox::currentIndexChanged, this, clear);
    for (QCheckBox* box : m_usersDayBoxes)
        connect(box, &QCheckBox::toggled, this, clear);
    connect(m_unitsEdit, &QLineEdit::textChanged, this, clear);
}

// Until the data file is usable, the user is offered the data file dialog; false when the user
// would rather close (or chose Abort in an error report about the file).
bool MainWindow::settleDataFile() {
    while (!checkDataPath(m_session, QString(), askThrough(m_session.errorReporter.get()))) {
        // Abort in an error report about the file ends the program here and now.
        if (m_session.ended)
            return false;
        bool cancelled = false;
        {
            SelectDataDialog dialog(m_session, this);
            runDialog(dialog);
            cancelled = dialog.cancelled();
        }
        if (m_session.ended)
            return false;
        if (!cancelled)
            continue;
        const int answer = showMessageBox(
            m_session, kProductName + u" needs a data file to operate. Are you sure you want to close?"_s,
            MsgFlag::YesNo | MsgFlag::Question, u"Confirm shutdown"_s, QString(), 0, QString(), nullptr);
        if (answer == MsgAnswer::Yes)
            return false;
    }
    return true;
}

bool MainWindow::load() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"opening the main window&"_s);
    bool unload = false;
    run.step([this] {
        if (m_session.errorReporter && m_session.errorReporter->Aborted()) {
            endApplication(m_session);
            return;
        }
        if (m_err != m_session.errorReporter.get()) {
            m_err = m_session.errorReporter.get();
            if (m_err)
                connect(m_err.data(), &ErrorReporter::Abort, this, [this] { onAbortChosen(); });
        }
    });
    if (m_session.ended)
        return false;
    run.step([&] { unload = !settleDataFile(); });
    if (unload) {
        m_unloaded = true;
        close();
        return false;
    }
    run.step([this] { setWindowTitle(u"Tallyrow Reports - "_s + currentUserName(QString())); });
    run.step([this] {
        m_saveAction->setEnabled(false);
        m_printAction->setEnabled(false);
    });
    run.step([this] { loadChartTypes(); });
    run.step([this] { initReport(0); });
    run.step([this] {
        m_showEachDayBox->setCurrentIndex(0);
        m_totalTypeBox->setCurrentIndex(0);
        m_periodBox->setCurrentIndex(m_periodBox->findText(u"Days"_s));
    });
    run.step([this] { m_dateSelector->SetDates(services().today().addDays(-7), kPeriodWeek, 1); });
    run.step([this] { m_timeScaleBox->setCurrentIndex(m_timeScaleBox->findText(u"minutes"_s)); });
    run.step([this] { checkInvalidDays(); });
    run.step([this] { loadUserList(); });
    return !m_unloaded;
}

void MainWindow::initReport(int kind) {
    StepRunner run(askThrough(m_err), u"setting up the report's options&"_s);
    run.step([this] { ignoringFailures([this] { clearPreview(); }); });
    run.step([this] { uncheckReports(); });
    run.step([&] { CurrentReport = kind; });
    // The Users report draws its ranking as horizontal bars, a type the list doesn't offer.
    run.step([&] {
        m_chartTypeBox->setEnabled(kind != 2);
        m_chartTypeLabel->setEnabled(kind != 2);
    });
    if (kind == 0) {
        run.step([this] { m_totalsReportAction->setChecked(true); });
        run.step([this] { m_reportPanels->setCurrentWidget(m_totalsPanel); });
        run.step([this] { m_previewButton->setText(u"Preview Totals Report"_s); });
        run.step([this] { m_chartTypeBox->setCurrentIndex(m_chartTypeBox->findText(u"2D Line"_s)); });
        run.step([this] { m_titleLabel->setText(u"Total activity"_s); });
    } else if (kind == 2) {
        run.step([this] { m_usersReportAction->setChecked(true); });
        run.step([this] { m_reportPanels->setCurrentWidget(m_usersPanel); });
        run.step([this] { m_previewButton->setText(u"Preview Users Report"_s); });
        run.step([this] { m_chartTypeBox->setCurrentIndex(m_chartTypeBox->findText(u"2D Bar"_s)); });
        run.step([this] { m_titleLabel->setText(u"Active time per user"_s); });
    } else if (kind == 1) {
        run.step([this] { m_dayReportAction->setChecked(true); });
        run.step([this] { m_reportPanels->setCurrentWidget(m_dayPanel); });
        run.step([this] { m_previewButton->setText(u"Preview Day Report"_s); });
        run.step([this] { m_chartTypeBox->setCurrentIndex(m_chartTypeBox->findText(u"2D Bar"_s)); });
        run.step([this] { m_titleLabel->setText(u"Activity by day of week"_s); });
    }
}

void MainWindow::uncheckReports() {
    StepRunner run(askThrough(m_err), u"switching reports&"_s);
    run.step([this] { m_dayReportAction->setChecked(false); });
    run.step([this] { m_totalsReportAction->setChecked(false); });
    run.step([this] { m_usersReportAction->setChecked(false); });
}

void MainWindow::clearPreview() {
    m_viewer->setReportSource(nullptr);
    m_printAction->setEnabled(false);
    m_saveAction->setEnabled(false);
    m_reportStatus->announce({});
}

void MainWindow::loadChartTypes() {
    StepRunner run(askThrough(m_err), u"filling the chart type list&"_s);
    run.step([this] { m_chartTypeBox->clear(); });
    for (const engine::ChartTypeName& type : engine::chartTypeNames())
        run.step([&] { m_chartTypeBox->addItem(type.windowName, type.code); });
}

void MainWindow::checkInvalidDays() {
    StepRunner run(askThrough(m_err), u"checking the weekdays in the range&"_s);
    run.step([this] {
        const WeekdaySet available = availableWeekdays(chosenRange());
        // The boxes run Monday ... Sunday.
        for (std::size_t i = 0; i < 7; ++i) {
            const bool on = available.contains(Qt::DayOfWeek(i + 1));
            m_dayBoxes[i]->setEnabled(on);
            if (m_usersDayBoxes[i])
                m_usersDayBoxes[i]->setEnabled(on);
        }
    });
}

void MainWindow::onDatesChanged() {
    StepRunner run(askThrough(m_err), u"changing the dates&"_s);
    run.step([this] { checkInvalidDays(); });
    run.step([this] { ignoringFailures([this] { clearPreview(); }); });
}

void MainWindow::loadUserList() {
    ignoringFailures([this] { showDataSource(); });
    const QString path = dataPathOf(m_session, kDefaultDataFileName);
    if (StoreCache::keepsStore(path)) {
        // A saved copy of the file as it is now is opened at once; otherwise the file is read
        // off this thread and the list fills when it is in.
        plannerFor(path);
        m_source = m_planner;
        if (const QString problem = m_cache->folderProblem(); !problem.isEmpty())
            statusBar()->showMessage(problem, 15000);
        if (const auto store = m_cache->fresh(path)) {
            m_seenStamp = stampDataFile(path);
            ignoringFailures([&] {
                applyUserList(userListFromRows(store->answer(ActivityQuery::userList()).users,
                                               currentUserName(u"<Unknown>"_s),
                                               currentComputerName(u"<Unknown>"_s)));
            });
            return;
        }
        m_listPending = true;
        startStoreLoad(path);
        return;
    }
    m_planner.reset();
    m_source = openActivitySource(path, nullptr);
    const UserListLoad list =
        userListFromRows(path, currentUserName(u"<Unknown>"_s), currentComputerName(u"<Unknown>"_s), m_err);
    if (!list.opened) {
        ignoringFailures([this] {
            showMessageBox(m_session, kOpeningProblem, MsgFlag::OKOnly, u"Problem opening database"_s,
                           QString(), 0, QString(), nullptr);
        });
        return;
    }
    applyUserList(list);
}

ActivityPlanner& MainWindow::plannerFor(const QString& path) {
    if (!m_planner || m_planner->dataFile() != path) {
        // The window never waits for a read of the whole file: a large question on a changed
        // file is read again in the background before the report runs (see previewDataReady).
        ActivityPlanner::Policy policy;
        policy.refreshForLargeQueries = false;
        m_planner = std::make_shared<ActivityPlanner>(path, m_cache, policy);
    }
    return *m_planner;
}

void MainWindow::applyUserList(const UserListLoad& list) {
    if (std::exchange(m_keepShownEntry, false) && !list.empty && list.replace &&
        list.entries.contains(m_userList->currentText())) {
        applyRefreshedList(list);
        return;
    }
    if (list.empty) {
        m_userList->clear();
        m_userList->setEnabled(false);
        return;
    }
    if (!list.replace)
        return;
    {
        const QSignalBlocker quiet(m_userList); // the list is rebuilt; clearPreview runs once at the end
        m_userList->clear();
        addUserEntries(list.entries);
        if (list.enabled)
            m_userList->setEnabled(*list.enabled);
        if (list.selected)
            m_userList->setCurrentIndex(*list.selected);
    }
    ignoringFailures([this] { clearPreview(); });
}

void MainWindow::startStoreLoad(const QString& path) {
    if (m_loadJob && m_loadPath == path)
        return; // already under way: its end serves this request too
    if (m_loadJob)
        m_loadJob->cancel(); // another file was chosen meanwhile
    m_loadJob.reset();
    m_loadPath = path;
    m_seenStamp = stampDataFile(path);
    const int generation = ++m_loadGeneration;
    // The job reports on its own thread; the window takes the outcome up on this one.
    m_loadJob = m_cache->loadInBackground(path, [this, generation] {
        QMetaObject::invokeMethod(
            this, [this, generation] { storeLoadFinished(generation); }, Qt::QueuedConnection);
    });
    showLoadProgress();
    m_loadProgressLabel->show();
    m_cancelLoadButton->show();
    m_cancelLoadButton->setEnabled(true);
    m_loadTimer->start();
}

void MainWindow::showLoadProgress() {
    if (m_loadJob)
        m_loadProgressLabel->setText(u"Reading data file\u2026 %1%"_s.arg(m_loadJob->progress()));
}

void MainWindow::cancelStoreLoad() {
    if (!m_loadJob)
        return;
    m_loadJob->cancel();
    m_cancelLoadButton->setEnabled(false);
    m_loadProgressLabel->setText(u"Stopping\u2026"_s);
}

void MainWindow::storeLoadFinished(int generation) {
    if (generation != m_loadGeneration || !m_loadJob)
        return; // a load that was replaced by a later one
    std::shared_ptr<StoreJob> job = std::move(m_loadJob);
    job->wait();
    m_loadTimer->stop();
    m_loadProgressLabel->hide();
    m_cancelLoadButton->hide();
    const bool list = std::exchange(m_listPending, false);
    const bool preview = std::exchange(m_previewPending, false);
    if (job->cancelled() || (!job->store() && job->error().isEmpty())) {
        if (preview)
            m_viewer->setNotice(QString());
        m_watchHeld = true;
        m_listPending = list; // the next read that completes fills the list
        statusBar()->showMessage(
            u"Reading the data file was cancelled. Preview or F5 reads the file again."_s);
        return;
    }
    if (!job->store()) {
        m_watchHeld = true;
        m_refusedStamp = m_seenStamp;
        if (preview)
            m_viewer->setNotice(QString());
        // A report still shown was made from the file before this change: it says so, and is
        // not printed as if current, until a good run.
        markReportOutOfDate(u"the data file changed and could not be read again (%1)"_s.arg(
            job->error().section(u'\n', 0, 0)));
        showLoadFailure(m_loadPath, job->error(), preview);
        return;
    }
    ignoringFailures([&] {
        const UserListLoad loaded =
            userListFromRows(job->store()->answer(ActivityQuery::userList()).users,
                             currentUserName(u"<Unknown>"_s), currentComputerName(u"<Unknown>"_s));
        if (list && m_userList->count() == 0 && m_saveAction->isEnabled()) {
            // A report for everybody was made while the list was still empty: the list fills
            // with that entry chosen, and the report stays.
            applyRefreshedList(loaded);
            const QSignalBlocker quiet(m_userList);
            const int everybody = m_userList->findText(kAllUsers + kUserSeparator + kAllComputers);
            if (everybody >= 0)
                m_userList->setCurrentIndex(everybody);
        } else if (list) {
            applyUserList(loaded);
        } else {
            applyRefreshedList(loaded);
        }
        statusBar()->clearMessage();
    });
    if (preview)
        onPreviewClicked();
    else if (!list)
        followFile();
}

void MainWindow::followFile() {
    // Only a report made from the options as they stand (any change of them took it away), and
    // never one opened from a report document.
    if (!m_followFileBox->isChecked() || !m_saveAction->isEnabled() || !m_viewer->reportSource())
        return;
    const int page = m_viewer->currentPage();
    const auto zoom = m_viewer->zoomMode();
    const int percent = m_viewer->zoomPercent();
    const int scrolled = m_viewer->findChild<QScrollArea*>(u"scrPages"_s)->verticalScrollBar()->value();
    QWidget* focused = QApplication::focusWidget();
    onPreviewClicked();
    if (zoom == engine::ReportViewer::ZoomMode::Percent)
        m_viewer->setZoomPercent(percent);
    else
        m_viewer->setZoomMode(zoom);
    m_viewer->setCurrentPage(page);
    m_viewer->findChild<QScrollArea*>(u"scrPages"_s)->verticalScrollBar()->setValue(scrolled);
    if (focused && QApplication::focusWidget() != focused)
        focused->setFocus(); // the refreshed report never takes the focus from where the user is
}

void MainWindow::addUserEntries(const QStringList& entries) {
    m_userList->addItems(entries);
    for (int i = 0; i < m_userList->count(); ++i)
        m_userList->setItemData(i, spokenUserEntry(m_userList->itemText(i)), Qt::AccessibleTextRole);
}

void MainWindow::applyRefreshedList(const UserListLoad& list) {
    QStringList shown;
    for (int i = 0; i < m_userList->count(); ++i)
        shown << m_userList->itemText(i);
    if (!list.replace || list.entries == shown)
        return;
    const QString chosen = m_userList->currentText();
    const QSignalBlocker quiet(m_userList); // the shown report stays: the same entry is chosen
    m_userList->clear();
    addUserEntries(list.entries);
    if (list.enabled)
        m_userList->setEnabled(*list.enabled);
    const int again = list.entries.indexOf(chosen);
    m_userList->setCurrentIndex(again >= 0 ? again : list.selected.value_or(0));
}

void MainWindow::checkDataFileChanged() {
    if (m_loadJob || !m_planner || m_unloaded)
        return;
    const DataFileStamp now = stampDataFile(m_planner->dataFile());
    // A file that changed since the last look is left until it holds still for one look: a
    // writer in the middle of a burst of commits would otherwise start a read at every one.
    const bool still = now == m_seenStamp;
    if (!still)
        m_watchHeld = false;
    m_seenStamp = now;
    if (!still || m_watchHeld || now.size < 0 || m_cache->fresh(m_planner->dataFile()))
        return;
    startStoreLoad(m_planner->dataFile());
}

void MainWindow::showLoadFailure(const QString& path, const QString& reason, bool preview) {
    // A file that does not open at all is reported as opening it for the list always was.
    std::unique_ptr<Connection> cn;
    bool retried = false;
    const FailureHandler ask = askThrough(m_session.errorReporter.get());
    const bool opens = openConnection(cn, path, [&](const Failure& failure) {
        const StepAnswer answer = ask(failure);
        retried = retried || answer == StepAnswer::Retry;
        return answer;
    });
    closeConnection(cn);
    if (opens && retried) {
        // The file was put right while the error report was open: it is read again, and the
        // reason it was refused before no longer holds.
        m_watchHeld = false;
        m_previewPending = preview;
        startStoreLoad(path);
        return;
    }
    ignoringFailures([&] {
        if (!opens)
            showMessageBox(m_session, kOpeningProblem, MsgFlag::OKOnly, u"Problem opening database"_s,
                           QString(), 0, QString(), nullptr);
        else
            tellUser(m_session, reason, MsgFlag::OKOnly | MsgFlag::Exclamation,
                     u"Problem reading data file"_s);
    });
}

bool MainWindow::previewDataReady() {
    if (m_loadJob) {
        m_previewPending = true; // remembered once: more clicks meanwhile add nothing
        showPreviewWaiting();
        return false;
    }
    const QString path = dataPathOf(m_session, kDefaultDataFileName);
    if (!StoreCache::keepsStore(path)) {
        m_planner.reset();
        m_source = openActivitySource(path, nullptr); // a server: SQL, connected by the report
        return true;
    }
    ActivityPlanner& planner = plannerFor(path);
    m_source = m_planner;
    // Only the file's stamp is looked at here. A changed file answers a short range by SQL at
    // once (and is read again in the background); a long range waits for the read.
    if (planner.isFresh())
        return true;
    const DateRange range = chosenRange();
    // The span a report may ask about: the range and the range of as many days before it.
    const DayRange span = DayRange::of({previousRangeStart(range), range.end});
    // A file whose rows were refused as it is now is read again, to say why once more.
    if (!(stampDataFile(path) == m_refusedStamp) && planner.answersBySql(span)) {
        // Read again once the report has been made: the read must not run beside the report's
        // own connection to the file.
        m_refreshAfterPreview = true;
        return true;
    }
    m_previewPending = true;
    startStoreLoad(path);
    showPreviewWaiting();
    return false;
}

void MainWindow::showPreviewWaiting() {
    m_viewer->setNotice(u"Report will run when the read finishes"_s);
}

void MainWindow::markReportOutOfDate(const QString& reason) {
    if (!m_saveAction->isEnabled())
        return; // no report shown
    m_viewer->setNotice(u"Out of date: "_s + reason);
    m_viewer->setPrintEnabled(false);
    m_printAction->setEnabled(false);
    m_reportStatus->announce(u"Report out of date"_s);
}

bool MainWindow::resolveTypedEntry() {
    if (m_userList->count() == 0 || m_userList->currentIndex() < 0)
        return true;
    const QString typed = m_userList->currentText();
    if (typed == m_userList->itemText(m_userList->currentIndex()))
        return true;
    const int match = m_userList->findText(typed.trimmed(), Qt::MatchFixedString);
    if (match >= 0) {
        m_userList->setCurrentIndex(match);
        return true;
    }
    // A search left unfinished is never quietly replaced by the entry chosen before it.
    tellUser(m_session,
             u"\"%1\" is not an entry of the user and computer list. Choose an entry from the list; "
             "typing part of one shows the entries that hold it."_s.arg(typed),
             MsgFlag::Information, u"Tallyrow"_s);
    revealOption(m_userList);
    m_userList->setFocus();
    m_userList->lineEdit()->selectAll();
    return false;
}

void MainWindow::onPreviewClicked() {
    if (!resolveTypedEntry() || !previewDataReady())
        return;
    StepRunner run(askThrough(m_err), u"making the report&"_s);
    run.step([this] {
        // The entry chosen from the list, not a half-typed search. With nothing in the list the
        // report is for everybody: it never names someone the list did not show.
        if (m_userList->count() == 0 || m_userList->currentIndex() < 0) {
            m_userFilter.clear();
            m_computerFilter.clear();
            return;
        }
        parseUserEntry(m_userList->itemText(m_userList->currentIndex()), m_userFilter, m_computerFilter);
    });
    run.step([this] {
        m_viewer->setJobTitle(printJobTitle());
        if (CurrentReport == 1)
            previewDayReport();
        else if (CurrentReport == 2)
            previewUsersReport();
        else
            previewTotalsReport();
    });
    if (std::exchange(m_refreshAfterPreview, false) && m_planner && !m_unloaded)
        startStoreLoad(m_planner->dataFile());
}

QString MainWindow::printJobTitle() const {
    QString who = u"everybody"_s;
    if (!m_userFilter.isEmpty() && !m_computerFilter.isEmpty())
        who = u"%1 on %2"_s.arg(m_userFilter, m_computerFilter);
    else if (!m_userFilter.isEmpty() || !m_computerFilter.isEmpty())
        who = m_userFilter + m_computerFilter;
    const DateRange range = chosenRange();
    return u"%1, %2 to %3, %4"_s.arg(m_titleLabel->text(), range.start.toString(Qt::ISODate),
                                     range.end.toString(Qt::ISODate), who);
}

template <typename Inputs> void MainWindow::fillCommonInputs(Inputs& in) const {
    in.range = chosenRange();
    in.chartType = m_chartTypeBox->currentData().toInt();
    in.showDetails = m_showDetailsBox->isChecked();
    in.userFilter = m_userFilter;
    in.computerFilter = m_computerFilter;
    // The session's data file is resolved here, at the window's edge; the report only reads it.
    in.dataFile = dataPathOf(m_session, kDefaultDataFileName);
}

void MainWindow::previewTotalsReport() {
    TotalsReportInputs options;
    fillCommonInputs(options);
    options.period = periodNamed(m_periodBox->currentText()).value_or(TotalsPeriod::Days);
    options.timeScale = timeScaleNamed(m_timeScaleBox->currentText()).value_or(TimeScale::Minutes);
    options.compare = m_compareBox->isChecked();
    // The range is judged before the units typed, as the boxes stand in the window.
    if (const auto problem = dateRangeProblem(options.range)) {
        showPreviewProblem(*problem);
        return;
    }
    const auto units = typedUnits(m_unitsEdit->text(), services().locale());
    if (const auto* problem = std::get_if<PreviewProblem>(&units)) {
        showPreviewProblem(*problem);
        return;
    }
    options.units = std::get<std::int32_t>(units);
    const PreviewRequest<TotalsReportInputs> request = totalsPreviewRequest(options);
    if (!request.inputs) {
        showPreviewProblem(request.problem);
        return;
    }
    auto fresh = std::make_unique<TotalsReport>();
    fresh->setInputs(*request.inputs);
    fresh->setSource(m_source);
    tellUserOf(*fresh);
    // The viewer lets go of the previous instance before it is released.
    m_viewer->setReportSource(nullptr);
    m_totalsReport = std::move(fresh);
    m_viewer->setReportSource(m_totalsReport.get());
    const auto& totals = m_totalsReport->periodTotals();
    const bool none = std::all_of(totals.begin(), totals.end(), [](const auto& t) { return t.total == 0; });
    if (m_totalsReport->hasTable() && none)
        m_viewer->setNotice(kNoActivityNotice);
}

void MainWindow::tellUserOf(TableReport& report) {
    // A failed step is put to the user with Retry and Ignore; a notice is a message box.
    report.setFailureHandler(askThrough(m_err));
    report.setNoticeHandler([this](const ReportNotice& notice) {
        showMessageBox(m_session, notice.text,
                       notice.warning ? MsgFlag::Exclamation | MsgFlag::SystemModal : MsgFlag::OKOnly,
                       notice.title);
    });
}

void MainWindow::previewDayReport() {
    DayReportInputs options;
    fillCommonInputs(options);
    for (std::size_t i = 0; i < 7; ++i)
        options.days.set(Qt::DayOfWeek(i + 1), m_dayBoxes[i]->isChecked() && m_dayBoxes[i]->isEnabled());
    options.columns = DayColumns(m_showEachDayBox->currentIndex());
    options.figure = DayFigure(m_totalTypeBox->currentIndex());
    options.shadeTable = m_shadeTableBox->isChecked();
    options.keyFigures = m_keyFiguresBox->isChecked();
    const PreviewRequest<DayReportInputs> request = dayPreviewRequest(options);
    if (!request.inputs) {
        showPreviewProblem(request.problem);
        return;
    }
    auto fresh = std::make_unique<DayReport>();
    fresh->setInputs(*request.inputs);
    fresh->setSource(m_source);
    tellUserOf(*fresh);
    m_viewer->setReportSource(nullptr);
    m_dayReport = std::move(fresh);
    m_viewer->setReportSource(m_dayReport.get());
    const HourGrid& grid = m_dayReport->hourGrid();
    const bool none = std::all_of(grid.begin(), grid.end(), [](const auto& hour) {
        return std::all_of(hour.begin(), hour.end(), [](double seconds) { return seconds == 0; });
    });
    if (m_dayReport->hasTable() && none)
        m_viewer->setNotice(kNoActivityNotice);
}

void MainWindow::previewUsersReport() {
    UsersReportInputs in;
    in.range = chosenRange();
    for (std::size_t d = 0; d < 7; ++d)
        in.days.set(Qt::DayOfWeek(d + 1), m_usersDayBoxes[d]->isChecked() && m_usersDayBoxes[d]->isEnabled());
    in.grouping = PeopleGrouping(std::max(0, m_groupByBox->currentIndex()));
    in.showDetails = m_showDetailsBox->isChecked();
    in.userFilter = m_userFilter;
    in.computerFilter = m_computerFilter;
    in.timeScale = TimeScale(std::max(0, m_usersTimeScaleBox->currentIndex()));
    const PreviewRequest<UsersReportInputs> request = usersPreviewRequest(in);
    if (!request.inputs) {
        if (request.problem.focus != PreviewOption::Days) {
            showPreviewProblem(request.problem);
            return;
        }
        // The weekdays asked about are this report's own boxes.
        tellUser(m_session, request.problem.message, MsgFlag::Information, u"Tallyrow"_s);
        for (QCheckBox* box : m_usersDayBoxes) {
            if (box->isEnabled()) {
                revealOption(box);
                box->setFocus();
                break;
            }
        }
        return;
    }
    auto fresh = std::make_unique<UsersReport>();
    fresh->setInputs(*request.inputs);
    fresh->setSource(m_source);
    tellUserOf(*fresh);
    m_viewer->setReportSource(nullptr);
    m_usersReport = std::move(fresh);
    m_viewer->setReportSource(m_usersReport.get());
    if (m_usersReport->hasTable() && m_usersReport->people().empty())
        m_viewer->setNotice(kNoActivityNotice);
}

void MainWindow::offerDrillDown(const QString& name, int ordinal, QPoint globalPos) {
    if (name != u"txtPeriod"_s && name != u"txtName"_s && name != u"chart"_s)
        return;
    QMenu menu(this);
    menu.setObjectName(u"mnuDrillDown"_s);
    if (m_totalsReport && m_viewer->reportSource() == m_totalsReport.get() && name != u"txtName"_s &&
        ordinal < m_totalsReport->periods().size()) {
        const PeriodSpan period = m_totalsReport->periods()[ordinal];
        const QDate last = period.next.addDays(-1);
        const int entry = m_userList->currentIndex();
        menu.addAction(u"Day report for this period"_s, this,
                       [=, this] {
                           drillTo(1, {period.start, last}, entry, QString());
                       })
            ->setObjectName(u"miDrillDay"_s);
        menu.addAction(u"Totals by days for this period"_s, this,
                       [=, this] {
                           drillTo(0, {period.start, last}, entry, u"Days"_s);
                       })
            ->setObjectName(u"miDrillTotals"_s);
    } else if (m_usersReport && m_viewer->reportSource() == m_usersReport.get() && name != u"txtPeriod"_s &&
               ordinal < int(m_usersReport->people().size()) &&
               // The chart's last bar sums the lines after its first ones as "Others".
               (name != u"chart"_s || ordinal < UsersReport::kChartLines ||
                m_usersReport->people().size() <= std::size_t(UsersReport::kChartLines) + 1)) {
        const PersonTotal& person = m_usersReport->people()[std::size_t(ordinal)];
        const QString entry =
            UserEntry(person.user ? QVariant(*person.user) : QVariant(kAllUsers),
                      person.computer ? QVariant(*person.computer) : QVariant(kAllComputers));
        int index = m_userList->findText(entry);
        if (index < 0 && person.user && !person.computer) {
            // A user on one computer has no "all computers" entry: that one pair is all of it.
            const QModelIndexList pairs = m_userList->model()->match(
                m_userList->model()->index(0, 0), Qt::DisplayRole, *person.user + kUserSeparator, 2,
                Qt::MatchStartsWith | Qt::MatchCaseSensitive);
            if (pairs.size() == 1)
                index = pairs.front().row();
        }
        if (index < 0)
            return;
        const QString who = personName(person, m_usersReport->inputs().grouping);
        const DateRange range = chosenRange();
        menu.addAction(u"Day report for %1"_s.arg(who), this, [=, this] { drillTo(1, range, index, {}); })
            ->setObjectName(u"miDrillDay"_s);
        menu.addAction(u"Totals report for %1"_s.arg(who), this,
                       [=, this] { drillTo(0, range, index, u"Days"_s); })
            ->setObjectName(u"miDrillTotals"_s);
    } else {
        return;
    }
    if (menuRunner())
        menuRunner()(menu);
    else
        menu.exec(globalPos);
}

MainWindow::ShownReport MainWindow::shownReport() const {
    ShownReport shown;
    shown.kind = CurrentReport;
    shown.range = chosenRange();
    shown.userEntry = m_userList->currentIndex();
    shown.period = m_periodBox->currentText();
    shown.units = m_unitsEdit->text();
    shown.page = m_viewer->currentPage();
    shown.zoomMode = int(m_viewer->zoomMode());
    shown.zoomPercent = m_viewer->zoomPercent();
    return shown;
}

DateRange MainWindow::chosenRange() const {
    return {m_dateSelector->StartDate(), m_dateSelector->EndDate()};
}

void MainWindow::showRange(const DateRange& range) {
    m_dateSelector->setStartDate(range.start);
    m_dateSelector->setEndDate(range.end);
    checkInvalidDays();
}

void MainWindow::drillTo(int kind, const DateRange& range, int entry, const QString& period) {
    m_backStack.push_back(shownReport());
    m_backAction->setEnabled(true);
    initReport(kind);
    showRange(range);
    if (entry >= 0)
        m_userList->setCurrentIndex(entry);
    if (!period.isEmpty()) {
        m_periodBox->setCurrentIndex(m_periodBox->findText(period));
        m_unitsEdit->setText(u"1"_s);
    }
    onPreviewClicked();
}

void MainWindow::goBack() {
    if (m_backStack.empty())
        return;
    const ShownReport shown = m_backStack.back();
    m_backStack.pop_back();
    m_backAction->setEnabled(!m_backStack.empty());
    initReport(shown.kind);
    showRange(shown.range);
    m_userList->setCurrentIndex(shown.userEntry);
    m_periodBox->setCurrentIndex(m_periodBox->findText(shown.period));
    m_unitsEdit->setText(shown.units);
    onPreviewClicked();
    if (shown.zoomMode == int(engine::ReportViewer::ZoomMode::Percent))
        m_viewer->setZoomPercent(shown.zoomPercent);
    else
        m_viewer->setZoomMode(engine::ReportViewer::ZoomMode(shown.zoomMode));
    m_viewer->setCurrentPage(shown.page);
}

void MainWindow::showPreviewProblem(const PreviewProblem& problem) {
    tellUser(m_session, problem.message, MsgFlag::Information, u"Tallyrow"_s);
    switch (problem.focus) {
    case PreviewOption::DateRange:
        revealOption(m_dateSelector);
        m_dateSelector->setFocus();
        break;
    case PreviewOption::Units:
        revealOption(m_unitsEdit);
        m_unitsEdit->setFocus();
        break;
    case PreviewOption::Days:
        ignoringFailures([this] {
            for (QCheckBox* box : m_dayBoxes) {
                if (box->isEnabled()) {
                    revealOption(box);
                    box->setFocus();
                    break;
                }
            }
        });
        break;
    }
}

void MainWindow::revealOption(QWidget* w) {
    for (int i = 0; i < m_optionTabs->count(); ++i) {
        if (m_optionTabs->widget(i)->isAncestorOf(w)) {
            m_optionTabs->setCurrentIndex(i);
            break;
        }
    }
}

void MainWindow::onReportShown() {
    StepRunner run(askThrough(m_err), u"showing the report&"_s);
    run.step([this] { m_saveAction->setEnabled(true); });
    run.step([this] { m_printAction->setEnabled(true); });
    run.step([this] {
        if (!m_viewer->reportSource())
            return; // a saved report that was opened is announced by its name
        const int pages = m_viewer->pageCount();
        m_reportStatus->announce(pages == 1 ? u"Report ready: 1 page"_s
                                            : u"Report ready: %1 pages"_s.arg(pages));
    });
}

void MainWindow::onPrint() {
    StepRunner run(askThrough(m_err), u"printing the report&"_s, u"processing print menu click"_s, false);
    run.step([this] { m_viewer->PrintReport(true); });
}

void MainWindow::onSave() {
    StepRunner run(askThrough(m_err), u"saving the report&"_s, u"processing menu click"_s, false);
    run.step([this] {
        SaveAsDialog dialog(m_session, m_viewer->reportSource(), this);
        if (m_viewer->reportSource()) {
            dialog.reportName = reportNameFor(m_userFilter, m_computerFilter);
        } else {
            // A report document opened from a file: its pages are what is saved.
            dialog.setPages(&m_viewer->pages());
            dialog.reportName = QFileInfo(m_openedDocument).completeBaseName();
        }
        runDialog(dialog);
    });
}

void MainWindow::onOpenReport() {
    const std::shared_ptr<FileChooser> chooser =
        reportChooser() ? reportChooser() : std::make_shared<DialogFileChooser>();
    // The report opened last, else the folder reports were last saved to.
    QString start = m_openedDocument;
    if (start.isEmpty())
        ignoringFailures(
            [&] { start = readSetting(u"LastReportFolder"_s, QString(), QString(), true, kSettingsHive); });
    const std::optional<QString> path = chooser->chooseFile(
        this, u"Open Report"_s, u"Report documents (*.rdf)|*.rdf|All files (*.*)|*.*|"_s, 1, start);
    if (!path || path->isEmpty())
        return;
    engine::PageCollection pages;
    try {
        pages = loadReportDocument(*path);
    } catch (const Error& e) {
        tellUser(m_session, e.description(), MsgFlag::OKOnly | MsgFlag::Exclamation, u"Open Report"_s);
        return;
    }
    ignoringFailures([this] { clearPreview(); });
    m_openedDocument = *path;
    m_viewer->setJobTitle(QFileInfo(*path).completeBaseName());
    m_viewer->setPages(pages); // raises LoadCompleted: Save and Print are offered
    // On the line a refresh of the data file leaves alone.
    m_reportStatus->announce(u"Showing the saved report %1"_s.arg(QDir::toNativeSeparators(*path)));
}

void MainWindow::onExit() {
    ignoringFailures([this] { close(); });
}

void MainWindow::onChangeDataFile() {
    StepRunner run(askThrough(m_err), u"changing the data file&"_s);
    const QString before = dataPathOf(m_session, kDefaultDataFileName);
    bool accepted = false;
    run.step([&] {
        SelectDataDialog dialog(m_session, this);
        accepted = runDialog(dialog) == QDialog::Accepted;
    });
    // Cancelled with the same file in use: the file is looked at again, but the list's choice
    // and the shown report stay while the file still holds that entry.
    m_keepShownEntry = !accepted && dataPathOf(m_session, kDefaultDataFileName) == before;
    run.step([this] { loadUserList(); });
}

void MainWindow::onDataFileWait() {
    QInputDialog dialog(this);
    dialog.setObjectName(u"dlgDataFileWait"_s);
    dialog.setWindowTitle(u"Wait for a locked data file"_s);
    dialog.setLabelText(u"While the monitoring product holds the data file locked, a report waits for it.\n"
                        "Longest wait, in seconds (0 to 3600):"_s);
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(0, 3600);
    dialog.setIntValue(int(savedDataFileWait().count()));
    if (runDialog(dialog) != QDialog::Accepted)
        return;
    const std::chrono::seconds wait(dialog.intValue());
    setDataFileBusyTimeout(wait);
    if (!saveDataFileWait(wait))
        statusBar()->showMessage(
            u"The wait applies until the program ends: the settings file %1 cannot be written."_s.arg(
                hiveFilePath(kSettingsHive)),
            15000);
}

void MainWindow::showDataFileWait(const QString& path, int waitedSeconds, int limitSeconds) {
    // The read stands still while it waits: its percentage gives way to the message (Cancel
    // stays), and comes back when the message goes.
    // The line says what happens; how to change the wait is the bar's tooltip, so the line fits
    // beside Cancel.
    m_loadProgressLabel->hide();
    statusBar()->setToolTip(u"Tools > Wait for a Locked Data File changes how long the program waits"_s);
    statusBar()->showMessage(
        u"Waiting for the data file \"%1\": another program is writing to it (%2 of at most %3 seconds)"_s
            .arg(QFileInfo(path).fileName())
            .arg(waitedSeconds)
            .arg(limitSeconds),
        3000);
    statusBar()->repaint();
}

void MainWindow::onResetAnswers() {
    StepRunner run(askThrough(m_err), u"resetting the remembered answers&"_s, u"processing menu click"_s,
                   false);
    run.step([this] {
        const int answer =
            showMessageBox(m_session,
                           u"Show again every message you asked not to be shown, with its choices? "_s +
                               u"Answers you told the program to remember will be forgotten."_s,
                           MsgFlag::YesNo | MsgFlag::Question, u"Reset remembered answers"_s, QString(), 0,
                           QString(), nullptr);
        if (answer != MsgAnswer::Yes)
            return;
        if (!ForgetRememberedAnswers(applicationKey()))
            tellUser(m_session,
                     u"The remembered answers could not be reset: the settings file "_s +
                         hiveFilePath(kSettingsHive) + u" cannot be written."_s,
                     MsgFlag::OKOnly | MsgFlag::Exclamation, u"Reset remembered answers"_s);
    });
}

void MainWindow::onHelpContents() {
    ignoringFailures([this] { showHelp(); });
}

void MainWindow::showHelp() {
    const QString folder = programFolderPath();
    QString target;
    if (!m_session.helpFile.isEmpty() && QFileInfo(folder + u'/' + m_session.helpFile).isFile())
        target = folder + u'/' + m_session.helpFile;
    else
        target = folder + u"/manual/index.html"_s;
    const bool shown = services().openUrl && services().openUrl(QUrl::fromLocalFile(target).toString());
    // Without a browser (or another viewer for the file) nothing would happen at all.
    if (!shown)
        tellUser(m_session,
                 u"No program to show the help could be started. You can open the manual in a web "_s +
                     u"browser: "_s + target,
                 MsgFlag::OKOnly | MsgFlag::Exclamation, u"Help"_s);
}

void MainWindow::onAbout() {
    StepRunner run(askThrough(m_err), u"showing About&"_s, u"processing menu click"_s, false);
    run.step([this] {
        // One about box per window: a second click brings the open one forward.
        if (!m_about) {
            m_about = new AboutDialog(this);
            m_about->setAttribute(Qt::WA_DeleteOnClose);
        }
        m_about->show();
        m_about->raise();
        m_about->activateWindow();
    });
}

void MainWindow::onAbortChosen() {
    ignoringFailures([this] { close(); });
    ignoringFailures([this] { m_err = nullptr; });
    ignoringFailures([this] { endApplication(m_session); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_loadJob)
        m_loadJob->cancel();
    ignoringFailures([this] {
        m_viewer->setReportSource(nullptr);
        m_dayReport.reset();
        m_totalsReport.reset();
        m_usersReport.reset();
    });
    m_unloaded = true;
    event->accept();
    ignoringFailures([this] { m_err = nullptr; });
}

} // namespace tallyrow
