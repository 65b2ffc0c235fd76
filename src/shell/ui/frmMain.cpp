#include "shell/ui/frmMain.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/HostPropertyStore.h"
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
#include "output/ui/frmSaveAs.h"
#include "datafile/ui/BrowseButton.h"
#include "reports/repDay.h"
#include "reports/repTotals.h"
#include "reports/repUsers.h"
#include "shell/PreviewRequest.h"
#include "reports/TyrowUtils.h"
#include "shell/ReportOptions.h"
#include "shell/UserList.h"
#include "shell/ui/EndApplication.h"
#include "shell/ui/frmAbout.h"
#include "support/CommandLine.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
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

frmMain::DialogRunner& dialogRunner() {
    static frmMain::DialogRunner runner;
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

frmMain::frmMain(QWidget* parent)
    : QMainWindow(parent),
      m_properties(std::make_unique<MemoryPropertyStore>(
          std::initializer_list<std::pair<QString, QVariant>>{{u"period"_s, kPeriodWeek}})),
      m_cache(std::make_shared<StoreCache>(storeCacheFolder().value_or(StoreCache::defaultCacheFolder()))) {
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"Tyrow Reports"_s);
    buildControls();
    buildMenus();
    connectOptionChanges();
    fitToScreen();
    setDataFileBusyTimeout(savedDataFileWait());
    // The wait is told from whichever thread waits: on this one the window cannot run its events
    // meanwhile, so the message is drawn at once.
    SqliteDatabase::setBusyWaitObserver(
        [window = QPointer<frmMain>(this)](const SqliteDatabase::BusyWait& w) {
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

frmMain::~frmMain() {
    SqliteDatabase::setBusyWaitObserver({});
    // The worker reads through the cache and reports back to this window: both must outlast it.
    if (m_loadJob) {
        m_loadJob->cancel();
        m_loadJob->wait();
        m_loadJob.reset();
    }
    if (arvPreview)
        arvPreview->setReportSource(nullptr);
}

void frmMain::setDialogRunner(DialogRunner runner) {
    dialogRunner() = std::move(runner);
}

void frmMain::setMenuRunner(std::function<void(QMenu&)> runner) {
    menuRunner() = std::move(runner);
}

void frmMain::setReportChooser(std::shared_ptr<FileChooser> chooser) {
    reportChooser() = std::move(chooser);
}

void frmMain::setStoreCacheFolder(std::optional<QString> folder) {
    storeCacheFolder() = std::move(folder);
}

int frmMain::runDialog(QDialog& dialog) {
    if (dialogRunner())
        return dialogRunner()(dialog);
    return dialog.exec();
}

void frmMain::fitToScreen() {
    // Each options page scrolls when it is taller than the room it gets, so the window never
    // needs more height than a small screen (or a large scale) offers.
    for (int i = 0; i < tabOptions->count(); ++i) {
        QWidget* page = tabOptions->widget(i);
        if (qobject_cast<QScrollArea*>(page))
            continue;
        const QString caption = tabOptions->tabText(i);
        tabOptions->removeTab(i);
        auto* area = new QScrollArea;
        area->setObjectName(page->objectName() + u"Scroll"_s);
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setFocusPolicy(Qt::NoFocus); // no extra Tab stop: the wheel and the bar scroll it
        area->setWidget(page);
        tabOptions->insertTab(i, area, caption);
    }
    tabOptions->setCurrentIndex(0);
    resize(sizeHint());
}

void frmMain::showEvent(QShowEvent* event) {
    // Until the window is first laid out its minimum is much larger than it will be, which kept
    // the size asked for at construction from applying: it is asked for again once it is.
    QMainWindow::showEvent(event);
    if (!std::exchange(m_sizedOnShow, true))
        QTimer::singleShot(0, this, [this] {
            if (!isMaximized() && !isFullScreen())
                resize(sizeHint().boundedTo(size()));
        });
}

QSize frmMain::sizeHint() const {
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

void frmMain::buildControls() {
    auto* options = new QWidget(this);
    options->setObjectName(u"vseOptions"_s);
    auto* column = new QVBoxLayout(options);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(6);

    lblTitle = makeLabel(u"lblTitle"_s, u"Activity by day of week"_s, options);
    QFont titleFont(u"Tahoma"_s);
    titleFont.setPointSizeF(9.75);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    column->addWidget(lblTitle);

    buildUserList(options, column);

    tabOptions = new QTabWidget(options);
    tabOptions->setObjectName(u"tabOptions"_s);
    tabOptions->setAccessibleName(u"Report options"_s);
    buildDatePage();
    buildTimePage();

    column->addSpacing(4);
    column->addWidget(tabOptions, 1);

    cmdPreviewReport = new QPushButton(u"Preview Day Report"_s, options);
    cmdPreviewReport->setObjectName(u"cmdPreviewReport"_s);
    cmdPreviewReport->setDefault(true);
    cmdPreviewReport->setMinimumHeight(32);
    cmdPreviewReport->setToolTip(u"Show the report with these options (F5)"_s);
    column->addWidget(cmdPreviewReport);
    chkFollowFile = new QCheckBox(u"Refresh automatically"_s, options);
    chkFollowFile->setObjectName(u"chkFollowFile"_s);
    chkFollowFile->setToolTip(u"While the monitoring product writes, the shown report is made again from the "
                              "new data every few seconds, on the same page"_s);
    column->addWidget(chkFollowFile);

    arvPreview = new engine::ReportViewer(this);
    arvPreview->setObjectName(u"arvPreview"_s);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(u"vseMain"_s);
    splitter->addWidget(options);
    splitter->addWidget(arvPreview);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setCollapsible(0, false);
    splitter->setCollapsible(1, false);
    options->setMinimumWidth(280);
    options->setMaximumWidth(420);
    setCentralWidget(splitter);

    connect(cmdPreviewReport, &QPushButton::clicked, this, [this] { cmdPreviewReport_Click(); });
    connect(arvPreview, &engine::ReportViewer::LoadCompleted, this, [this] { arvPreview_LoadCompleted(); });
    connect(arvPreview, &engine::ReportViewer::textItemClicked, this,
            [this](const QString& name, int ordinal, QPoint at) { offerDrillDown(name, ordinal, at); });
    connect(dtmDateReport, &DateSelector::Change, this, [this] { dtmDateReport_Change(); });

    buildShortcuts();
    buildStatusBar();
}

void frmMain::buildStatusBar() {
    lblDataSource = new QLabel(statusBar());
    lblDataSource->setObjectName(u"lblDataSource"_s);
    statusBar()->addWidget(lblDataSource, 1);
    lblLoadProgress = new QLabel(statusBar());
    lblLoadProgress->setObjectName(u"lblLoadProgress"_s);
    statusBar()->addPermanentWidget(lblLoadProgress);
    cmdCancelLoad = new QPushButton(u"Cancel"_s, statusBar());
    cmdCancelLoad->setObjectName(u"cmdCancelLoad"_s);
    cmdCancelLoad->setToolTip(u"Stop reading the data file"_s);
    statusBar()->addPermanentWidget(cmdCancelLoad);
    lblLoadProgress->hide();
    cmdCancelLoad->hide();
    connect(cmdCancelLoad, &QPushButton::clicked, this, [this] { cancelStoreLoad(); });
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

void frmMain::buildUserList(QWidget* options, QVBoxLayout* column) {
    lblUserName = makeLabel(u"lblUserName"_s, u"User and computer"_s, options);
    cboUserName = makeList(u"cboUserName"_s, {}, options);
    cboUserName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboUserName->setMinimumContentsLength(18);
    // Offices with hundreds of entries find theirs by typing any part of it; the entry itself
    // stays one of the list's (typing never makes a new one).
    cboUserName->setEditable(true);
    cboUserName->setInsertPolicy(QComboBox::NoInsert);
    auto* finder = new QCompleter(cboUserName->model(), cboUserName);
    finder->setObjectName(u"cmpUserName"_s);
    finder->setCaseSensitivity(Qt::CaseInsensitive);
    finder->setFilterMode(Qt::MatchContains);
    finder->setCompletionMode(QCompleter::PopupCompletion);
    cboUserName->setCompleter(finder);
    // A text that is an entry exactly (typed in full, or set by a caller as on a plain list)
    // chooses that entry at once.
    connect(cboUserName, &QComboBox::editTextChanged, this, [this](const QString& text) {
        const int exact = cboUserName->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (exact >= 0 && exact != cboUserName->currentIndex())
            cboUserName->setCurrentIndex(exact);
    });
    // A text that matches no entry stays as typed: Preview then says so rather than report on
    // the entry chosen before.
    connect(cboUserName->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        const int chosen = cboUserName->findText(cboUserName->currentText(), Qt::MatchFixedString);
        if (chosen >= 0)
            cboUserName->setCurrentIndex(chosen);
    });
    lblUserName->setBuddy(cboUserName);
    cboUserName->lineEdit()->setAccessibleName(lblUserName->text());
    column->addWidget(lblUserName);
    column->addWidget(cboUserName);
}

void frmMain::buildShortcuts() {
    // F1 opens the help wherever the focus is in the window.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [this] { showHelp(); });
    // F5 previews with the options as they stand, as the button does.
    auto* preview = new QShortcut(QKeySequence(Qt::Key_F5), this);
    preview->setObjectName(u"shortcutPreview"_s);
    preview->setContext(Qt::WindowShortcut);
    connect(preview, &QShortcut::activated, this, [this] {
        if (cmdPreviewReport->isEnabled())
            cmdPreviewReport->click();
    });
}

void frmMain::showDataSource() {
    const QString source = GetDataPath(kDefaultDataFileName);
    const QString shown =
        isPostgresUri(source) ? redactedPostgresUri(source) : QDir::toNativeSeparators(source);
    lblDataSource->setText(shown.isEmpty() ? QString() : u"Data: "_s + shown);
    lblDataSource->setToolTip(shown);
}

void frmMain::buildDatePage() {
    // "Date": the range and how the result is drawn.
    auto* datePage = new QWidget(tabOptions);
    datePage->setObjectName(u"tabDate"_s);
    auto* dateLayout = new QVBoxLayout(datePage);
    dtmDateReport = new DateSelector(datePage);
    dtmDateReport->setObjectName(u"dtmDateReport"_s);
    dtmDateReport->ReadProperties(
        [this](const QString& key, const QVariant& def) { return m_properties->read(key, def); });
    dateLayout->addWidget(dtmDateReport);
    lblDateChartType = makeLabel(u"lblDateChartType"_s, u"Chart type"_s, datePage);
    cboChartType = makeList(u"cboChartType"_s, {}, datePage);
    lblDateChartType->setBuddy(cboChartType);
    dateLayout->addSpacing(6);
    dateLayout->addWidget(lblDateChartType);
    dateLayout->addWidget(cboChartType);
    chkDateShowDetails = new QCheckBox(u"Show Details"_s, datePage);
    chkDateShowDetails->setObjectName(u"chkDateShowDetails"_s);
    dateLayout->addWidget(chkDateShowDetails);
    dateLayout->addStretch(1);
    tabOptions->addTab(datePage, u"Date"_s);
}

void frmMain::buildTimePage() {
    // "Time": how the active time is counted; one panel per report, the current one in front.
    auto* timePage = new QWidget(tabOptions);
    timePage->setObjectName(u"tabTime"_s);
    auto* timeLayout = new QVBoxLayout(timePage);
    reportPanels = new QStackedWidget(timePage);
    reportPanels->setObjectName(u"reportPanels"_s);
    timeLayout->addWidget(reportPanels);

    buildDayPanel();
    buildTotalsPanel();
    buildUsersPanel();
    tabOptions->addTab(timePage, u"Time"_s);
}

void frmMain::buildDayPanel() {
    vseDayReport = new QWidget(reportPanels);
    vseDayReport->setObjectName(u"vseDayReport"_s);
    auto* day = new QVBoxLayout(vseDayReport);
    day->setContentsMargins(0, 0, 0, 0);
    lblOverDataRange = makeLabel(u"lblOverDataRange"_s, u"Over this date range show..."_s, vseDayReport);
    cboTotalType = makeList(u"cboTotalType"_s,
                            {u"average over date range"_s, u"total over date range"_s,
                             u"maximum in date range"_s, u"minimum in date range "_s},
                            vseDayReport);
    lblOverDataRange->setBuddy(cboTotalType);
    lblonGraph = makeLabel(u"lblonGraph"_s, u"On the graph show..."_s, vseDayReport);
    cboShowEachDay =
        makeList(u"cboShowEachDay"_s,
                 {u"average of selected days"_s, u"each day separately"_s, u"separate days & average"_s},
                 vseDayReport);
    lblonGraph->setBuddy(cboShowEachDay);
    lblDayReportDaysToInclude =
        makeLabel(u"lblDayReportDaysToInclude"_s, u"Include data from these days"_s, vseDayReport);
    day->addWidget(lblOverDataRange);
    day->addWidget(cboTotalType);
    day->addSpacing(4);
    day->addWidget(lblonGraph);
    day->addWidget(cboShowEachDay);
    day->addSpacing(4);
    day->addWidget(lblDayReportDaysToInclude);
    // The seven boxes are one group for a screen reader, named as the label above them.
    auto* dayGroup = new QGroupBox(vseDayReport);
    dayGroup->setObjectName(u"grpDays"_s);
    dayGroup->setFlat(true);
    dayGroup->setAccessibleName(lblDayReportDaysToInclude->text());
    dayGroup->setStyleSheet(u"QGroupBox#grpDays { border: none; margin: 0; padding: 0; }"_s);
    auto* days = new QGridLayout(dayGroup);
    days->setContentsMargins(8, 0, 0, 0);
    for (int i = 0; i < 7; ++i) {
        const QString name = weekdayNames()[i];
        chkDays[i] = new QCheckBox(name, dayGroup);
        chkDays[i]->setObjectName(u"chkDate"_s + name);
        chkDays[i]->setChecked(true);
        days->addWidget(chkDays[i], i % 4, i / 4);
    }
    day->addWidget(dayGroup);
    day->addSpacing(4);
    chkShadeTable = new QCheckBox(u"Shade the table"_s, vseDayReport);
    chkShadeTable->setObjectName(u"chkShadeTable"_s);
    chkShadeTable->setToolTip(u"Shades each hour and day by its value (shown with the table)"_s);
    chkKeyFigures = new QCheckBox(u"Key figures"_s, vseDayReport);
    chkKeyFigures->setObjectName(u"chkKeyFigures"_s);
    chkKeyFigures->setToolTip(
        u"Busiest hour and day, active hours and the change against the previous range"_s);
    day->addWidget(chkShadeTable);
    day->addWidget(chkKeyFigures);
    day->addStretch(1);
    reportPanels->addWidget(vseDayReport);
}

void frmMain::buildTotalsPanel() {
    vseTotalsReport = new QWidget(reportPanels);
    vseTotalsReport->setObjectName(u"vseTotalsReport"_s);
    auto* totals = new QVBoxLayout(vseTotalsReport);
    totals->setContentsMargins(0, 0, 0, 0);
    Label2 = makeLabel(u"Label2"_s, u"Show time on graph as:"_s, vseTotalsReport);
    cboTimeScale = makeList(u"cboTimeScale"_s, {u"seconds"_s, u"minutes"_s, u"hours"_s}, vseTotalsReport);
    Label2->setBuddy(cboTimeScale);
    lblTotalsReportUnits =
        makeLabel(u"lblTotalsReportUnits"_s, u"Show total activity in groups of:"_s, vseTotalsReport);
    txtTotalsReportUnits = new QLineEdit(u"1"_s, vseTotalsReport);
    txtTotalsReportUnits->setObjectName(u"txtTotalsReportUnits"_s);
    // Wide enough for any number a period can use, and it says what it takes.
    txtTotalsReportUnits->setMaximumWidth(txtTotalsReportUnits->fontMetrics().horizontalAdvance(u"0"_s) * 12 +
                                          16);
    txtTotalsReportUnits->setToolTip(u"How many days, weeks, months or years each row of the report covers: "
                                     "a whole number, such as 2 with weeks for fortnights"_s);
    lblTotalsReportUnits->setBuddy(txtTotalsReportUnits);
    cboTotalsReportPeriod = makeList(u"cboTotalsReportPeriod"_s,
                                     {u"Days"_s, u"Weeks"_s, u"Months"_s, u"Years"_s}, vseTotalsReport);
    totals->addWidget(Label2);
    totals->addWidget(cboTimeScale);
    totals->addSpacing(4);
    totals->addWidget(lblTotalsReportUnits);
    auto* units = new QHBoxLayout;
    units->addWidget(txtTotalsReportUnits);
    units->addWidget(cboTotalsReportPeriod, 1);
    totals->addLayout(units);
    totals->addSpacing(4);
    chkCompare = new QCheckBox(u"Compare with the previous range"_s, vseTotalsReport);
    chkCompare->setObjectName(u"chkCompare"_s);
    totals->addWidget(chkCompare);
    totals->addStretch(1);
    reportPanels->addWidget(vseTotalsReport);
}

void frmMain::buildUsersPanel() {
    vseUsersReport = new QWidget(reportPanels);
    vseUsersReport->setObjectName(u"vseUsersReport"_s);
    auto* users = new QVBoxLayout(vseUsersReport);
    users->setContentsMargins(0, 0, 0, 0);
    auto* byLabel = makeLabel(u"lblGroupBy"_s, u"Show active time per:"_s, vseUsersReport);
    cboGroupBy =
        makeList(u"cboGroupBy"_s, {u"user"_s, u"computer"_s, u"user and computer"_s}, vseUsersReport);
    byLabel->setBuddy(cboGroupBy);
    auto* scaleLabel = makeLabel(u"lblUsersTimeScale"_s, u"Show time as:"_s, vseUsersReport);
    cboUsersTimeScale =
        makeList(u"cboUsersTimeScale"_s, {u"seconds"_s, u"minutes"_s, u"hours"_s}, vseUsersReport);
    cboUsersTimeScale->setCurrentIndex(1);
    scaleLabel->setBuddy(cboUsersTimeScale);
    auto* daysLabel = makeLabel(u"lblUsersDays"_s, u"Include data from these days"_s, vseUsersReport);
    auto* dayGroup = new QGroupBox(vseUsersReport);
    dayGroup->setObjectName(u"grpUsersDays"_s);
    dayGroup->setFlat(true);
    dayGroup->setAccessibleName(daysLabel->text());
    dayGroup->setStyleSheet(u"QGroupBox#grpUsersDays { border: none; margin: 0; padding: 0; }"_s);
    auto* days = new QGridLayout(dayGroup);
    days->setContentsMargins(8, 0, 0, 0);
    for (int i = 0; i < 7; ++i) {
        const QString name = weekdayNames()[i];
        chkUsersDays[std::size_t(i)] = new QCheckBox(name, dayGroup);
        chkUsersDays[std::size_t(i)]->setObjectName(u"chkUsers"_s + name);
        chkUsersDays[std::size_t(i)]->setChecked(true);
        days->addWidget(chkUsersDays[std::size_t(i)], i % 4, i / 4);
    }
    for (QWidget* w : {static_cast<QWidget*>(byLabel), static_cast<QWidget*>(cboGroupBy),
                       static_cast<QWidget*>(scaleLabel), static_cast<QWidget*>(cboUsersTimeScale),
                       static_cast<QWidget*>(daysLabel), static_cast<QWidget*>(dayGroup)})
        users->addWidget(w);
    users->addStretch(1);
    reportPanels->addWidget(vseUsersReport);
}

void frmMain::buildMenus() {
    auto makeAction = [this](QMenu* menu, const QString& name, const QString& caption, auto handler) {
        auto* action = menu->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* file = menuBar()->addMenu(u"&File"_s);
    file->setObjectName(u"mnuFile"_s);
    makeAction(file, u"mnuFileOpenReport"_s, u"&Open Report..."_s, [this] {
        mnuFileOpenReport_Click();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    file->addSeparator();
    mnuFilePrint = makeAction(file, u"mnuFilePrint"_s, u"&Print..."_s, [this] { mnuFilePrint_Click(); });
    mnuFilePrint->setShortcut(QKeySequence::Print);
    mnuFileSave = makeAction(file, u"mnuFileSave"_s, u"&Save..."_s, [this] { mnuFileSave_Click(); });
    mnuFileSave->setShortcut(QKeySequence::Save);
    file->addSeparator();
    mnuFileExit = makeAction(file, u"mnuFileExit"_s, u"E&xit"_s, [this] { mnuFileExit_Click(); });
    mnuFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* tools = menuBar()->addMenu(u"&Tools"_s);
    tools->setObjectName(u"mnuTools"_s);
    mnuSelectDataPath = makeAction(tools, u"mnuSelectDataPath"_s, u"&Change Data File..."_s,
                                   [this] { mnuSelectDataPath_Click(); });
    mnuSelectDataPath->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    tools->addSeparator();
    makeAction(tools, u"mnuDataFileWait"_s, u"&Wait for a Locked Data File..."_s,
               [this] { mnuDataFileWait_Click(); });
    makeAction(tools, u"mnuResetAnswers"_s, u"&Reset Remembered Answers..."_s,
               [this] { mnuResetAnswers_Click(); });

    QMenu* reports = menuBar()->addMenu(u"&Reports"_s);
    reports->setObjectName(u"mnuReports"_s);
    mnuReportsDay = makeAction(reports, u"mnuReportsDay"_s, u"Day Report"_s, [this] {
        StepRunner run(m_err, u"Private Sub mnuReportsDay_Click()&"_s);
        run.step([this] { InitReport(1); });
    });
    mnuReportsTotals = makeAction(reports, u"mnuReportsTotals"_s, u"Totals Report"_s, [this] {
        StepRunner run(m_err, u"Private Sub mnuReportsTotals_Click()&"_s);
        run.step([this] { InitReport(0); });
    });
    mnuReportsUsers = makeAction(reports, u"mnuReportsUsers"_s, u"Users Report"_s, [this] {
        StepRunner run(m_err, u"choosing the Users report&"_s);
        run.step([this] { InitReport(2); });
    });
    mnuReportsDay->setCheckable(true);
    mnuReportsTotals->setCheckable(true);
    mnuReportsUsers->setCheckable(true);
    reports->addSeparator();
    mnuViewBack = makeAction(reports, u"mnuViewBack"_s, u"&Back"_s, [this] { goBack(); });
    mnuViewBack->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    mnuViewBack->setToolTip(u"Back to the report shown before (Alt+Left)"_s);
    mnuViewBack->setEnabled(false);

    QMenu* help = menuBar()->addMenu(u"&Help"_s);
    help->setObjectName(u"mnuHelp"_s);
    mnuHelpContents =
        makeAction(help, u"mnuHelpContents"_s, u"&Contents"_s, [this] { mnuHelpContents_Click(); });
    mnuHelpAbout = makeAction(help, u"mnuHelpAbout"_s, u"&About"_s, [this] { mnuHelpAbout_Click(); });
}

void frmMain::connectOptionChanges() {
    auto clear = [this] { ignoringFailures([this] { ClearPreview(); }); };
    for (QComboBox* list :
         {cboChartType, cboShowEachDay, cboTimeScale, cboTotalsReportPeriod, cboUserName, cboTotalType})
        connect(list, &QComboBox::currentIndexChanged, this, clear);
    for (QCheckBox* box : chkDays)
        connect(box, &QCheckBox::toggled, this, clear);
    connect(chkDateShowDetails, &QCheckBox::toggled, this, clear);
    connect(chkShadeTable, &QCheckBox::toggled, this, clear);
    connect(chkKeyFigures, &QCheckBox::toggled, this, clear);
    connect(chkCompare, &QCheckBox::toggled, this, clear);
    connect(cboGroupBy, &QComboBox::currentIndexChanged, this, clear);
    connect(cboUsersTimeScale, &QComboBox::currentIndexChanged, this, clear);
    for (QCheckBox* box : chkUsersDays)
        connect(box, &QCheckBox::toggled, this, clear);
    connect(txtTotalsReportUnits, &QLineEdit::textChanged, this, clear);
}

bool frmMain::Form_Load() {
    StepRunner run(gErrorReporter.get(), u"Private Sub Form_Load()&"_s);
    bool unload = false;
    run.step([this] {
        if (gErrorReporter && gErrorReporter->Aborted()) {
            EndApplication();
            return;
        }
        if (m_err != gErrorReporter.get()) {
            m_err = gErrorReporter.get();
            if (m_err)
                connect(m_err.data(), &ErrorReporter::Abort, this, [this] { m_err_Abort(); });
        }
    });
    if (applicationEnded())
        return false;
    run.step([&] {
        while (!CheckData(QString())) {
            // Abort in an error report about the file ends the program here and now.
            if (applicationEnded()) {
                unload = true;
                return;
            }
            SelectDataCancelled = false;
            {
                frmSelectData dialog(this);
                runDialog(dialog);
            }
            if (applicationEnded()) {
                unload = true;
                return;
            }
            if (!SelectDataCancelled)
                continue;
            const int answer = MsgBox(
                kProductName + u" needs a data file to operate. Are you sure you want to close?"_s,
                MsgFlag::YesNo | MsgFlag::Question, u"Confirm shutdown"_s, QString(), 0, QString(), nullptr);
            if (answer == MsgAnswer::Yes) {
                unload = true;
                return;
            }
        }
    });
    if (unload) {
        m_unloaded = true;
        close();
        return false;
    }
    run.step([this] { setWindowTitle(u"Tallyrow Reports - "_s + GetLoggedInUserName(QString())); });
    run.step([this] {
        mnuFileSave->setEnabled(false);
        mnuFilePrint->setEnabled(false);
    });
    run.step([this] { LoadChartTypes(); });
    run.step([this] { InitReport(0); });
    run.step([this] {
        cboShowEachDay->setCurrentIndex(0);
        cboTotalType->setCurrentIndex(0);
        cboTotalsReportPeriod->setCurrentIndex(cboTotalsReportPeriod->findText(u"Days"_s));
    });
    run.step([this] { dtmDateReport->SetDates(services().today().addDays(-7), kPeriodWeek, 1); });
    run.step([this] { cboTimeScale->setCurrentIndex(cboTimeScale->findText(u"minutes"_s)); });
    run.step([this] { CheckInvalidDays(); });
    run.step([this] { LoadUserInfo(); });
    return !m_unloaded;
}

void frmMain::InitReport(int kind) {
    StepRunner run(m_err, u"Private Sub InitReport()&"_s);
    run.step([this] { ignoringFailures([this] { ClearPreview(); }); });
    run.step([this] { UncheckReports(); });
    run.step([&] { CurrentReport = kind; });
    // The Users report draws its ranking as horizontal bars, a type the list doesn't offer.
    run.step([&] {
        cboChartType->setEnabled(kind != 2);
        lblDateChartType->setEnabled(kind != 2);
    });
    if (kind == 0) {
        run.step([this] { mnuReportsTotals->setChecked(true); });
        run.step([this] { reportPanels->setCurrentWidget(vseTotalsReport); });
        run.step([this] { cmdPreviewReport->setText(u"Preview Totals Report"_s); });
        run.step([this] { cboChartType->setCurrentIndex(cboChartType->findText(u"2D Line"_s)); });
        run.step([this] { lblTitle->setText(u"Total activity"_s); });
    } else if (kind == 2) {
        run.step([this] { mnuReportsUsers->setChecked(true); });
        run.step([this] { reportPanels->setCurrentWidget(vseUsersReport); });
        run.step([this] { cmdPreviewReport->setText(u"Preview Users Report"_s); });
        run.step([this] { cboChartType->setCurrentIndex(cboChartType->findText(u"2D Bar"_s)); });
        run.step([this] { lblTitle->setText(u"Active time per user"_s); });
    } else if (kind == 1) {
        run.step([this] { mnuReportsDay->setChecked(true); });
        run.step([this] { reportPanels->setCurrentWidget(vseDayReport); });
        run.step([this] { cmdPreviewReport->setText(u"Preview Day Report"_s); });
        run.step([this] { cboChartType->setCurrentIndex(cboChartType->findText(u"2D Bar"_s)); });
        run.step([this] { lblTitle->setText(u"Activity by day of week"_s); });
    }
}

void frmMain::UncheckReports() {
    StepRunner run(m_err, u"Private Sub UncheckReports()&"_s);
    run.step([this] { mnuReportsDay->setChecked(false); });
    run.step([this] { mnuReportsTotals->setChecked(false); });
    run.step([this] { mnuReportsUsers->setChecked(false); });
}

void frmMain::ClearPreview() {
    arvPreview->setReportSource(nullptr);
    mnuFilePrint->setEnabled(false);
    mnuFileSave->setEnabled(false);
}

void frmMain::LoadChartTypes() {
    StepRunner run(m_err, u"Private Sub LoadChartTypes()&"_s);
    run.step([this] { cboChartType->clear(); });
    for (const engine::ChartTypeName& type : engine::chartTypeNames())
        run.step([&] { cboChartType->addItem(type.windowName, type.code); });
}

void frmMain::CheckInvalidDays() {
    StepRunner run(m_err, u"Private Sub CheckInvalidDays()&"_s);
    run.step([this] {
        const std::array<bool, 7> available =
            AvailableWeekdays(dtmDateReport->StartDate(), dtmDateReport->EndDate());
        // chkDays runs Monday ... Sunday; the availability runs Sunday ... Saturday.
        for (int sunday = 0; sunday < 7; ++sunday) {
            const auto monday = static_cast<std::size_t>((sunday + 6) % 7);
            chkDays[monday]->setEnabled(available[static_cast<std::size_t>(sunday)]);
            if (chkUsersDays[monday])
                chkUsersDays[monday]->setEnabled(available[static_cast<std::size_t>(sunday)]);
        }
    });
}

void frmMain::dtmDateReport_Change() {
    StepRunner run(m_err, u"Private Sub dtmDateReport_Change()&"_s);
    run.step([this] { CheckInvalidDays(); });
    run.step([this] { ignoringFailures([this] { ClearPreview(); }); });
}

void frmMain::LoadUserInfo() {
    ignoringFailures([this] { showDataSource(); });
    const QString path = GetDataPath(kDefaultDataFileName);
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
                applyUserList(LoadUserList(store->answer(ActivityQuery::userList()).users,
                                           GetLoggedInUserName(u"<Unknown>"_s),
                                           GetLocalComputerName(u"<Unknown>"_s)));
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
        LoadUserList(path, GetLoggedInUserName(u"<Unknown>"_s), GetLocalComputerName(u"<Unknown>"_s), m_err);
    if (!list.opened) {
        ignoringFailures([] {
            MsgBox(
                u"There was a problem opening the database. Please make sure you have selected a valid database"_s,
                MsgFlag::OKOnly, u"Problem opening database"_s, QString(), 0, QString(), nullptr);
        });
        return;
    }
    applyUserList(list);
}

ActivityPlanner& frmMain::plannerFor(const QString& path) {
    if (!m_planner || m_planner->dataFile() != path) {
        // The window never waits for a read of the whole file: a large question on a changed
        // file is read again in the background before the report runs (see previewDataReady).
        ActivityPlanner::Policy policy;
        policy.refreshForLargeQueries = false;
        m_planner = std::make_shared<ActivityPlanner>(path, m_cache, policy);
    }
    return *m_planner;
}

void frmMain::applyUserList(const UserListLoad& list) {
    if (std::exchange(m_keepShownEntry, false) && !list.empty && list.replace &&
        list.entries.contains(cboUserName->currentText())) {
        applyRefreshedList(list);
        return;
    }
    if (list.empty) {
        cboUserName->clear();
        cboUserName->setEnabled(false);
        return;
    }
    if (!list.replace)
        return;
    {
        const QSignalBlocker quiet(cboUserName); // the list is rebuilt; ClearPreview runs once at the end
        cboUserName->clear();
        addUserEntries(list.entries);
        if (list.enabled)
            cboUserName->setEnabled(*list.enabled);
        if (list.selected)
            cboUserName->setCurrentIndex(*list.selected);
    }
    ignoringFailures([this] { ClearPreview(); });
}

void frmMain::startStoreLoad(const QString& path) {
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
    lblLoadProgress->show();
    cmdCancelLoad->show();
    cmdCancelLoad->setEnabled(true);
    m_loadTimer->start();
}

void frmMain::showLoadProgress() {
    if (m_loadJob)
        lblLoadProgress->setText(u"Reading data file\u2026 %1%"_s.arg(m_loadJob->progress()));
}

void frmMain::cancelStoreLoad() {
    if (!m_loadJob)
        return;
    m_loadJob->cancel();
    cmdCancelLoad->setEnabled(false);
    lblLoadProgress->setText(u"Stopping\u2026"_s);
}

void frmMain::storeLoadFinished(int generation) {
    if (generation != m_loadGeneration || !m_loadJob)
        return; // a load that was replaced by a later one
    std::shared_ptr<StoreJob> job = std::move(m_loadJob);
    job->wait();
    m_loadTimer->stop();
    lblLoadProgress->hide();
    cmdCancelLoad->hide();
    const bool list = std::exchange(m_listPending, false);
    const bool preview = std::exchange(m_previewPending, false);
    if (job->cancelled() || (!job->store() && job->error().isEmpty())) {
        if (preview)
            arvPreview->setNotice(QString());
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
            arvPreview->setNotice(QString());
        // A report still shown was made from the file before this change: it says so, and is
        // not printed as if current, until a good run.
        markReportOutOfDate(u"the data file changed and could not be read again (%1)"_s.arg(
            job->error().section(u'\n', 0, 0)));
        showLoadFailure(m_loadPath, job->error());
        return;
    }
    ignoringFailures([&] {
        const UserListLoad loaded =
            LoadUserList(job->store()->answer(ActivityQuery::userList()).users,
                         GetLoggedInUserName(u"<Unknown>"_s), GetLocalComputerName(u"<Unknown>"_s));
        if (list && cboUserName->count() == 0 && mnuFileSave->isEnabled()) {
            // A report for everybody was made while the list was still empty: the list fills
            // with that entry chosen, and the report stays.
            applyRefreshedList(loaded);
            const QSignalBlocker quiet(cboUserName);
            const int everybody = cboUserName->findText(kAllUsers + kUserSeparator + kAllComputers);
            if (everybody >= 0)
                cboUserName->setCurrentIndex(everybody);
        } else if (list) {
            applyUserList(loaded);
        } else {
            applyRefreshedList(loaded);
        }
        statusBar()->clearMessage();
    });
    if (preview)
        cmdPreviewReport_Click();
    else if (!list)
        followFile();
}

void frmMain::followFile() {
    // Only a report made from the options as they stand (any change of them took it away), and
    // never one opened from a report document.
    if (!chkFollowFile->isChecked() || !mnuFileSave->isEnabled() || !arvPreview->reportSource())
        return;
    const int page = arvPreview->currentPage();
    const auto zoom = arvPreview->zoomMode();
    const int percent = arvPreview->zoomPercent();
    const int scrolled = arvPreview->findChild<QScrollArea*>(u"scrPages"_s)->verticalScrollBar()->value();
    QWidget* focused = QApplication::focusWidget();
    cmdPreviewReport_Click();
    if (zoom == engine::ReportViewer::ZoomMode::Percent)
        arvPreview->setZoomPercent(percent);
    else
        arvPreview->setZoomMode(zoom);
    arvPreview->setCurrentPage(page);
    arvPreview->findChild<QScrollArea*>(u"scrPages"_s)->verticalScrollBar()->setValue(scrolled);
    if (focused && QApplication::focusWidget() != focused)
        focused->setFocus(); // the refreshed report never takes the focus from where the user is
}

void frmMain::addUserEntries(const QStringList& entries) {
    cboUserName->addItems(entries);
    for (int i = 0; i < cboUserName->count(); ++i)
        cboUserName->setItemData(i, spokenUserEntry(cboUserName->itemText(i)), Qt::AccessibleTextRole);
}

void frmMain::applyRefreshedList(const UserListLoad& list) {
    QStringList shown;
    for (int i = 0; i < cboUserName->count(); ++i)
        shown << cboUserName->itemText(i);
    if (!list.replace || list.entries == shown)
        return;
    const QString chosen = cboUserName->currentText();
    const QSignalBlocker quiet(cboUserName); // the shown report stays: the same entry is chosen
    cboUserName->clear();
    addUserEntries(list.entries);
    if (list.enabled)
        cboUserName->setEnabled(*list.enabled);
    const int again = list.entries.indexOf(chosen);
    cboUserName->setCurrentIndex(again >= 0 ? again : list.selected.value_or(0));
}

void frmMain::checkDataFileChanged() {
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

void frmMain::showLoadFailure(const QString& path, const QString& reason) {
    // A file that does not open at all is reported as opening it for the list always was.
    std::unique_ptr<Connection> cn;
    const bool opens = OpenCN(cn, path);
    CloseCN(cn);
    ignoringFailures([&] {
        if (!opens)
            MsgBox(
                u"There was a problem opening the database. Please make sure you have selected a valid database"_s,
                MsgFlag::OKOnly, u"Problem opening database"_s, QString(), 0, QString(), nullptr);
        else
            Message(reason, MsgFlag::OKOnly | MsgFlag::Exclamation, u"Problem reading data file"_s);
    });
}

bool frmMain::previewDataReady() {
    if (m_loadJob) {
        m_previewPending = true; // remembered once: more clicks meanwhile add nothing
        showPreviewWaiting();
        return false;
    }
    const QString path = GetDataPath(kDefaultDataFileName);
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
    const QDate start = dtmDateReport->StartDate();
    const QDate end = dtmDateReport->EndDate();
    // The span a report may ask about: the range and the range of as many days before it.
    const DayRange span = DayRange::between(start.addDays(-(start.daysTo(end) + 1)), end);
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

void frmMain::showPreviewWaiting() {
    arvPreview->setNotice(u"Report will run when the read finishes"_s);
}

void frmMain::markReportOutOfDate(const QString& reason) {
    if (!mnuFileSave->isEnabled())
        return; // no report shown
    arvPreview->setNotice(u"Out of date: "_s + reason);
    arvPreview->setPrintEnabled(false);
    mnuFilePrint->setEnabled(false);
}

bool frmMain::resolveTypedEntry() {
    if (cboUserName->count() == 0 || cboUserName->currentIndex() < 0)
        return true;
    const QString typed = cboUserName->currentText();
    if (typed == cboUserName->itemText(cboUserName->currentIndex()))
        return true;
    const int match = cboUserName->findText(typed.trimmed(), Qt::MatchFixedString);
    if (match >= 0) {
        cboUserName->setCurrentIndex(match);
        return true;
    }
    // A search left unfinished is never quietly replaced by the entry chosen before it.
    Message(u"\"%1\" is not an entry of the user and computer list. Choose an entry from the list; "
            "typing part of one shows the entries that hold it."_s.arg(typed),
            MsgFlag::Information, u"Tallyrow"_s);
    revealOption(cboUserName);
    cboUserName->setFocus();
    cboUserName->lineEdit()->selectAll();
    return false;
}

void frmMain::cmdPreviewReport_Click() {
    if (!resolveTypedEntry() || !previewDataReady())
        return;
    StepRunner run(m_err, u"Private Sub cmdPreviewReport_Click()&"_s);
    run.step([this] {
        // The entry chosen from the list, not a half-typed search. With nothing in the list the
        // report is for everybody: it never names someone the list did not show.
        if (cboUserName->count() == 0 || cboUserName->currentIndex() < 0) {
            m_UserName.clear();
            m_ComputerName.clear();
            return;
        }
        ParseUserEntry(cboUserName->itemText(cboUserName->currentIndex()), m_UserName, m_ComputerName);
    });
    run.step([this] {
        arvPreview->setJobTitle(printJobTitle());
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

QString frmMain::printJobTitle() const {
    QString who = u"everybody"_s;
    if (!m_UserName.isEmpty() && !m_ComputerName.isEmpty())
        who = u"%1 on %2"_s.arg(m_UserName, m_ComputerName);
    else if (!m_UserName.isEmpty() || !m_ComputerName.isEmpty())
        who = m_UserName + m_ComputerName;
    return u"%1, %2 to %3, %4"_s.arg(lblTitle->text(), dtmDateReport->StartDate().toString(Qt::ISODate),
                                     dtmDateReport->EndDate().toString(Qt::ISODate), who);
}

void frmMain::fillCommonOptions(CommonReportOptions& options) const {
    options.StartDate = dtmDateReport->StartDate();
    options.EndDate = dtmDateReport->EndDate();
    options.ChartType = cboChartType->currentData().toInt();
    options.ShowDetails = chkDateShowDetails->isChecked();
    options.UserFilter = m_UserName;
    options.ComputerFilter = m_ComputerName;
    // The session's data file is resolved here, at the window's edge; the report only reads it.
    options.DataFile = GetDataPath(kDefaultDataFileName);
}

void frmMain::previewTotalsReport() {
    TotalsReportOptions options;
    fillCommonOptions(options);
    options.UnitsText = txtTotalsReportUnits->text();
    options.Period = cboTotalsReportPeriod->currentText();
    options.Scale = timeScaleNamed(cboTimeScale->currentText()).value_or(TimeScale::Minutes);
    options.Compare = chkCompare->isChecked();
    const PreviewRequest<TotalsReportInputs> request = totalsPreviewRequest(options, services().locale());
    if (!request.inputs) {
        showPreviewProblem(request.problem);
        return;
    }
    auto fresh = std::make_unique<repTotals>();
    fresh->setInputs(*request.inputs);
    fresh->setSource(m_source);
    // The viewer lets go of the previous instance before it is released.
    arvPreview->setReportSource(nullptr);
    m_repTotals = std::move(fresh);
    arvPreview->setReportSource(m_repTotals.get());
    const auto& totals = m_repTotals->periodTotals();
    const bool none = std::all_of(totals.begin(), totals.end(), [](const auto& t) { return t.total == 0; });
    if (m_repTotals->hasTable() && none)
        arvPreview->setNotice(kNoActivityNotice);
}

void frmMain::previewDayReport() {
    DayReportOptions options;
    fillCommonOptions(options);
    for (std::size_t i = 0; i < 7; ++i)
        options.Days[i] = chkDays[i]->isChecked() && chkDays[i]->isEnabled();
    options.ShowEachDay = cboShowEachDay->currentIndex();
    options.TotalType = cboTotalType->currentIndex();
    options.ShadeTable = chkShadeTable->isChecked();
    options.KeyFigures = chkKeyFigures->isChecked();
    const PreviewRequest<DayReportInputs> request = dayPreviewRequest(options);
    if (!request.inputs) {
        showPreviewProblem(request.problem);
        return;
    }
    auto fresh = std::make_unique<repDay>();
    fresh->setInputs(*request.inputs);
    fresh->setSource(m_source);
    arvPreview->setReportSource(nullptr);
    m_repDay = std::move(fresh);
    arvPreview->setReportSource(m_repDay.get());
    const HourGrid& grid = m_repDay->hourGrid();
    const bool none = std::all_of(grid.begin(), grid.end(), [](const auto& hour) {
        return std::all_of(hour.begin(), hour.end(), [](double seconds) { return seconds == 0; });
    });
    if (m_repDay->hasTable() && none)
        arvPreview->setNotice(kNoActivityNotice);
}

void frmMain::previewUsersReport() {
    UsersReportInputs in;
    in.StartDate = dtmDateReport->StartDate();
    in.EndDate = dtmDateReport->EndDate();
    for (std::size_t d = 0; d < 7; ++d)
        in.Days[d] = chkUsersDays[d]->isChecked() && chkUsersDays[d]->isEnabled();
    in.By = PeopleGrouping(std::max(0, cboGroupBy->currentIndex()));
    in.ShowDetails = chkDateShowDetails->isChecked();
    in.UserFilter = m_UserName;
    in.ComputerFilter = m_ComputerName;
    in.ReportTimeScale = std::max(0, cboUsersTimeScale->currentIndex());
    const PreviewRequest<UsersReportInputs> request = usersPreviewRequest(in);
    if (!request.inputs) {
        if (request.problem.focus != PreviewOption::Days) {
            showPreviewProblem(request.problem);
            return;
        }
        // The weekdays asked about are this report's own boxes.
        Message(request.problem.message, MsgFlag::Information, u"Tallyrow"_s);
        for (QCheckBox* box : chkUsersDays) {
            if (box->isEnabled()) {
                revealOption(box);
                box->setFocus();
                break;
            }
        }
        return;
    }
    auto fresh = std::make_unique<repUsers>();
    fresh->setInputs(*request.inputs);
    fresh->setSource(m_source);
    arvPreview->setReportSource(nullptr);
    m_repUsers = std::move(fresh);
    arvPreview->setReportSource(m_repUsers.get());
    if (m_repUsers->hasTable() && m_repUsers->people().empty())
        arvPreview->setNotice(kNoActivityNotice);
}

void frmMain::offerDrillDown(const QString& name, int ordinal, QPoint globalPos) {
    if (name != u"txtPeriod"_s && name != u"txtName"_s && name != u"chart"_s)
        return;
    QMenu menu(this);
    menu.setObjectName(u"mnuDrillDown"_s);
    if (m_repTotals && arvPreview->reportSource() == m_repTotals.get() && name != u"txtName"_s &&
        ordinal < m_repTotals->periods().size()) {
        const PeriodSpan period = m_repTotals->periods()[ordinal];
        const QDate last = period.next.addDays(-1);
        const int entry = cboUserName->currentIndex();
        menu.addAction(u"Day report for this period"_s, this,
                       [=, this] { drillTo(1, period.start, last, entry, QString()); })
            ->setObjectName(u"miDrillDay"_s);
        menu.addAction(u"Totals by days for this period"_s, this,
                       [=, this] { drillTo(0, period.start, last, entry, u"Days"_s); })
            ->setObjectName(u"miDrillTotals"_s);
    } else if (m_repUsers && arvPreview->reportSource() == m_repUsers.get() && name != u"txtPeriod"_s &&
               ordinal < int(m_repUsers->people().size()) &&
               // The chart's last bar sums the lines after its first ones as "Others".
               (name != u"chart"_s || ordinal < repUsers::kChartLines ||
                m_repUsers->people().size() <= std::size_t(repUsers::kChartLines) + 1)) {
        const PersonTotal& person = m_repUsers->people()[std::size_t(ordinal)];
        const QString entry =
            UserEntry(person.user ? QVariant(*person.user) : QVariant(kAllUsers),
                      person.computer ? QVariant(*person.computer) : QVariant(kAllComputers));
        int index = cboUserName->findText(entry);
        if (index < 0 && person.user && !person.computer) {
            // A user on one computer has no "all computers" entry: that one pair is all of it.
            const QModelIndexList pairs = cboUserName->model()->match(
                cboUserName->model()->index(0, 0), Qt::DisplayRole, *person.user + kUserSeparator, 2,
                Qt::MatchStartsWith | Qt::MatchCaseSensitive);
            if (pairs.size() == 1)
                index = pairs.front().row();
        }
        if (index < 0)
            return;
        const QString who = personName(person, m_repUsers->inputs().By);
        const QDate start = dtmDateReport->StartDate();
        const QDate end = dtmDateReport->EndDate();
        menu.addAction(u"Day report for %1"_s.arg(who), this,
                       [=, this] { drillTo(1, start, end, index, {}); })
            ->setObjectName(u"miDrillDay"_s);
        menu.addAction(u"Totals report for %1"_s.arg(who), this,
                       [=, this] { drillTo(0, start, end, index, u"Days"_s); })
            ->setObjectName(u"miDrillTotals"_s);
    } else {
        return;
    }
    if (menuRunner())
        menuRunner()(menu);
    else
        menu.exec(globalPos);
}

frmMain::ShownReport frmMain::shownReport() const {
    ShownReport shown;
    shown.kind = CurrentReport;
    shown.start = dtmDateReport->StartDate();
    shown.end = dtmDateReport->EndDate();
    shown.userEntry = cboUserName->currentIndex();
    shown.period = cboTotalsReportPeriod->currentText();
    shown.units = txtTotalsReportUnits->text();
    shown.page = arvPreview->currentPage();
    shown.zoomMode = int(arvPreview->zoomMode());
    shown.zoomPercent = arvPreview->zoomPercent();
    return shown;
}

void frmMain::drillTo(int kind, const QDate& start, const QDate& end, int entry, const QString& period) {
    m_backStack.push_back(shownReport());
    mnuViewBack->setEnabled(true);
    InitReport(kind);
    dtmDateReport->setStartDate(start);
    dtmDateReport->setEndDate(end);
    CheckInvalidDays();
    if (entry >= 0)
        cboUserName->setCurrentIndex(entry);
    if (!period.isEmpty()) {
        cboTotalsReportPeriod->setCurrentIndex(cboTotalsReportPeriod->findText(period));
        txtTotalsReportUnits->setText(u"1"_s);
    }
    cmdPreviewReport_Click();
}

void frmMain::goBack() {
    if (m_backStack.empty())
        return;
    const ShownReport shown = m_backStack.back();
    m_backStack.pop_back();
    mnuViewBack->setEnabled(!m_backStack.empty());
    InitReport(shown.kind);
    dtmDateReport->setStartDate(shown.start);
    dtmDateReport->setEndDate(shown.end);
    CheckInvalidDays();
    cboUserName->setCurrentIndex(shown.userEntry);
    cboTotalsReportPeriod->setCurrentIndex(cboTotalsReportPeriod->findText(shown.period));
    txtTotalsReportUnits->setText(shown.units);
    cmdPreviewReport_Click();
    if (shown.zoomMode == int(engine::ReportViewer::ZoomMode::Percent))
        arvPreview->setZoomPercent(shown.zoomPercent);
    else
        arvPreview->setZoomMode(engine::ReportViewer::ZoomMode(shown.zoomMode));
    arvPreview->setCurrentPage(shown.page);
}

void frmMain::showPreviewProblem(const PreviewProblem& problem) {
    Message(problem.message, MsgFlag::Information, u"Tallyrow"_s);
    switch (problem.focus) {
    case PreviewOption::DateRange:
        revealOption(dtmDateReport);
        dtmDateReport->setFocus();
        break;
    case PreviewOption::Units:
        revealOption(txtTotalsReportUnits);
        txtTotalsReportUnits->setFocus();
        break;
    case PreviewOption::Days:
        ignoringFailures([this] {
            for (QCheckBox* box : chkDays) {
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

void frmMain::revealOption(QWidget* w) {
    for (int i = 0; i < tabOptions->count(); ++i) {
        if (tabOptions->widget(i)->isAncestorOf(w)) {
            tabOptions->setCurrentIndex(i);
            break;
        }
    }
}

void frmMain::arvPreview_LoadCompleted() {
    StepRunner run(m_err, u"Private Sub arvPreview_LoadCompleted()&"_s);
    run.step([this] { mnuFileSave->setEnabled(true); });
    run.step([this] { mnuFilePrint->setEnabled(true); });
}

void frmMain::mnuFilePrint_Click() {
    StepRunner run(m_err, u"mnuFilePrint_Click&"_s, u"processing print menu click"_s, false);
    run.step([this] { arvPreview->PrintReport(true); });
}

void frmMain::mnuFileSave_Click() {
    StepRunner run(m_err, u"mnuFileSave_Click&"_s, u"processing menu click"_s, false);
    run.step([this] {
        frmSaveAs dialog(arvPreview->reportSource(), this);
        if (arvPreview->reportSource()) {
            dialog.ReportName = ReportNameFor(m_UserName, m_ComputerName);
        } else {
            // A report document opened from a file: its pages are what is saved.
            dialog.setPages(&arvPreview->pages());
            dialog.ReportName = QFileInfo(m_openedDocument).completeBaseName();
        }
        runDialog(dialog);
    });
}

void frmMain::mnuFileOpenReport_Click() {
    const std::shared_ptr<FileChooser> chooser =
        reportChooser() ? reportChooser() : std::make_shared<DialogFileChooser>();
    const std::optional<QString> path =
        chooser->chooseFile(this, u"Open Report"_s, u"Report documents (*.rdf)|*.rdf|All files (*.*)|*.*|"_s,
                            1, m_openedDocument);
    if (!path || path->isEmpty())
        return;
    engine::PageCollection pages;
    try {
        pages = loadReportDocument(*path);
    } catch (const Error& e) {
        Message(e.description(), MsgFlag::OKOnly | MsgFlag::Exclamation, u"Open Report"_s);
        return;
    }
    ignoringFailures([this] { ClearPreview(); });
    m_openedDocument = *path;
    arvPreview->setJobTitle(QFileInfo(*path).completeBaseName());
    arvPreview->setPages(pages); // raises LoadCompleted: Save and Print are offered
    statusBar()->showMessage(u"Showing the saved report %1"_s.arg(QDir::toNativeSeparators(*path)));
}

void frmMain::mnuFileExit_Click() {
    ignoringFailures([this] { close(); });
}

void frmMain::mnuSelectDataPath_Click() {
    StepRunner run(m_err, u"mnuSelectDataPath_Click&"_s);
    const QString before = GetDataPath(kDefaultDataFileName);
    bool accepted = false;
    run.step([&] {
        frmSelectData dialog(this);
        accepted = runDialog(dialog) == QDialog::Accepted;
    });
    // Cancelled with the same file in use: the file is looked at again, but the list's choice
    // and the shown report stay while the file still holds that entry.
    m_keepShownEntry = !accepted && GetDataPath(kDefaultDataFileName) == before;
    run.step([this] { LoadUserInfo(); });
}

void frmMain::mnuDataFileWait_Click() {
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
                hiveFilePath(SettingsHive)),
            15000);
}

void frmMain::showDataFileWait(const QString& path, int waitedSeconds, int limitSeconds) {
    statusBar()->showMessage(
        u"Waiting for the data file \"%1\": another program is writing to it (%2 of at most %3 seconds; "
        "Tools > Wait for a Locked Data File changes this)"_s.arg(QFileInfo(path).fileName())
            .arg(waitedSeconds)
            .arg(limitSeconds),
        3000);
    statusBar()->repaint();
}

void frmMain::mnuResetAnswers_Click() {
    StepRunner run(m_err, u"mnuResetAnswers_Click&"_s, u"processing menu click"_s, false);
    run.step([] {
        const int answer =
            MsgBox(u"Show again every message you asked not to be shown, with its choices? "_s +
                       u"Answers you told the program to remember will be forgotten."_s,
                   MsgFlag::YesNo | MsgFlag::Question, u"Reset remembered answers"_s, QString(), 0, QString(),
                   nullptr);
        if (answer != MsgAnswer::Yes)
            return;
        if (!ForgetRememberedAnswers(REG_APPROOT()))
            Message(u"The remembered answers could not be reset: the settings file "_s +
                        hiveFilePath(SettingsHive) + u" cannot be written."_s,
                    MsgFlag::OKOnly | MsgFlag::Exclamation, u"Reset remembered answers"_s);
    });
}

void frmMain::mnuHelpContents_Click() {
    ignoringFailures([this] { showHelp(); });
}

void frmMain::showHelp() {
    const QString folder = ProgramFolder();
    QString target;
    if (!ApplicationHelpFile.isEmpty() && QFileInfo(folder + u'/' + ApplicationHelpFile).isFile())
        target = folder + u'/' + ApplicationHelpFile;
    else
        target = folder + u"/manual/index.html"_s;
    const bool shown = services().openUrl && services().openUrl(QUrl::fromLocalFile(target).toString());
    // Without a browser (or another viewer for the file) nothing would happen at all.
    if (!shown)
        Message(u"No program to show the help could be started. You can open the manual in a web "_s +
                    u"browser: "_s + target,
                MsgFlag::OKOnly | MsgFlag::Exclamation, u"Help"_s);
}

void frmMain::mnuHelpAbout_Click() {
    StepRunner run(m_err, u"mnuHelpAbout_Click&"_s, u"processing menu click"_s, false);
    run.step([this] {
        // One about box per window: a second click brings the open one forward.
        if (!m_about) {
            m_about = new frmAbout(this);
            m_about->setAttribute(Qt::WA_DeleteOnClose);
        }
        m_about->show();
        m_about->raise();
        m_about->activateWindow();
    });
}

void frmMain::m_err_Abort() {
    ignoringFailures([this] { close(); });
    ignoringFailures([this] { m_err = nullptr; });
    ignoringFailures([] { EndApplication(); });
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (m_loadJob)
        m_loadJob->cancel();
    ignoringFailures([this] {
        arvPreview->setReportSource(nullptr);
        m_repDay.reset();
        m_repTotals.reset();
        m_repUsers.reset();
    });
    m_unloaded = true;
    event->accept();
    ignoringFailures([this] { m_err = nullptr; });
}

} // namespace tallyrow
