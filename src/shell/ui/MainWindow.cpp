#include "shell/ui/MainWindow.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/MemoryPropertyStore.h"
#include "datafile/DataSource.h"
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
#include "reports/ReportCatalogue.h"
#include "reports/TableReport.h"
#include "shell/PreviewRequest.h"
#include "shell/ReportOptions.h"
#include "shell/UserList.h"
#include "shell/ui/EndApplication.h"
#include "shell/ui/AboutDialog.h"
#include "shell/ui/DataFileController.h"
#include "shell/ui/OptionControls.h"
#include "shell/ui/ReportOptionsPanel.h"
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

} // namespace

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QMainWindow(parent),
      m_properties(std::make_unique<MemoryPropertyStore>(
          std::initializer_list<std::pair<QString, QVariant>>{{u"period"_s, kPeriodWeek}})),
      m_session(session) {
    m_files = new DataFileController(
        std::make_shared<StoreCache>(storeCacheFolder().value_or(StoreCache::defaultCacheFolder())),
        [this](const DataFileRead& read) { onDataFileRead(read); }, this);
    connect(m_files, &DataFileController::readStarted, this, [this] { showReadStarted(); });
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

bool MainWindow::isLoadingData() const {
    return m_files->isReading();
}

StoreCache& MainWindow::storeCache() {
    return m_files->cache();
}

ActivitySource* MainWindow::activitySource() const {
    return m_files->source().get();
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
    // A read under way reports back to this window: it ends before the window does.
    delete m_files;
    m_files = nullptr;
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
        if (m_files && m_files->isReading())
            m_loadProgressLabel->show();
    });
    m_loadTimer = new QTimer(this);
    m_loadTimer->setInterval(100);
    connect(m_loadTimer, &QTimer::timeout, this, [this] { showLoadProgress(); });
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
    const QString shown = DataSource(dataPathOf(m_session, kDefaultDataFileName)).shownName();
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

    for (const ReportDescriptor& report : ReportCatalogue::standard().reports()) {
        ReportOptionsPanel* panel = ReportOptionsPanel::make(report, m_reportPanels);
        m_reportPanels->addWidget(panel);
        m_panels.push_back(panel);
    }
    m_optionTabs->addTab(timePage, u"Time"_s);
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
    for (const ReportDescriptor& report : ReportCatalogue::standard().reports()) {
        QAction* action = makeAction(reports, report.menuName, report.menuCaption, [this, &report] {
            StepRunner run(askThrough(m_err), u"choosing the %1 report"_s.arg(report.title));
            run.step([&] { initReport(report); });
        });
        action->setCheckable(true);
        m_reportActions.push_back(action);
    }
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
    for (QComboBox* list : {m_chartTypeBox, m_userList})
        connect(list, &QComboBox::currentIndexChanged, this, clear);
    connect(m_showDetailsBox, &QCheckBox::toggled, this, clear);
    for (ReportOptionsPanel* panel : m_panels)
        connect(panel, &ReportOptionsPanel::changed, this, clear);
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
    StepRunner run(askThrough(m_session.errorReporter.get()), u"opening the main window"_s);
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
        m_files->stop();
        close();
        return false;
    }
    run.step([this] { setWindowTitle(u"Tallyrow Reports - "_s + currentUserName(QString())); });
    run.step([this] {
        m_saveAction->setEnabled(false);
        m_printAction->setEnabled(false);
    });
    run.step([this] { loadChartTypes(); });
    run.step([this] { initReport(*ReportCatalogue::standard().named(u"totals"_s)); });
    run.step([this] {
        for (ReportOptionsPanel* panel : m_panels)
            panel->reset();
    });
    run.step([this] { m_dateSelector->SetDates(services().today().addDays(-7), kPeriodWeek, 1); });
    run.step([this] { checkInvalidDays(); });
    run.step([this] { loadUserList(); });
    return !m_unloaded;
}

void MainWindow::initReport(const ReportDescriptor& report) {
    StepRunner run(askThrough(m_err), u"setting up the report's options"_s);
    run.step([this] { ignoringFailures([this] { clearPreview(); }); });
    run.step([this] { uncheckReports(); });
    run.step([&] {
        m_report = &report;
        CurrentReport = report.code;
    });
    run.step([&] {
        m_chartTypeBox->setEnabled(report.choosesChart);
        m_chartTypeLabel->setEnabled(report.choosesChart);
    });
    const std::size_t index = catalogueIndex(report);
    run.step([&] { m_reportActions[index]->setChecked(true); });
    run.step([&] { m_reportPanels->setCurrentWidget(m_panels[index]); });
    run.step([&] { m_previewButton->setText(u"Preview %1 Report"_s.arg(report.title)); });
    run.step([&] { m_chartTypeBox->setCurrentIndex(m_chartTypeBox->findData(report.defaultChart)); });
    run.step([&] { m_titleLabel->setText(report.heading); });
}

std::size_t MainWindow::catalogueIndex(const ReportDescriptor& report) {
    const auto& reports = ReportCatalogue::standard().reports();
    return std::size_t(&report - reports.data());
}

void MainWindow::uncheckReports() {
    StepRunner run(askThrough(m_err), u"switching reports"_s);
    for (QAction* action : m_reportActions)
        run.step([action] { action->setChecked(false); });
}

void MainWindow::clearPreview() {
    m_viewer->setReportSource(nullptr);
    m_printAction->setEnabled(false);
    m_saveAction->setEnabled(false);
    m_reportStatus->announce({});
}

void MainWindow::loadChartTypes() {
    StepRunner run(askThrough(m_err), u"filling the chart type list"_s);
    run.step([this] { m_chartTypeBox->clear(); });
    for (const engine::ChartTypeName& type : engine::chartTypeNames())
        run.step([&] { m_chartTypeBox->addItem(type.windowName, type.code); });
}

void MainWindow::checkInvalidDays() {
    StepRunner run(askThrough(m_err), u"checking the weekdays in the range"_s);
    run.step([this] {
        const WeekdaySet available = availableWeekdays(chosenRange());
        for (ReportOptionsPanel* panel : m_panels)
            panel->showAvailableDays(available);
    });
}

void MainWindow::onDatesChanged() {
    StepRunner run(askThrough(m_err), u"changing the dates"_s);
    run.step([this] { checkInvalidDays(); });
    run.step([this] { ignoringFailures([this] { clearPreview(); }); });
}

void MainWindow::loadUserList() {
    ignoringFailures([this] { showDataSource(); });
    const QString path = dataPathOf(m_session, kDefaultDataFileName);
    if (m_files->useSource(path)) {
        // A saved copy of the file as it is now is opened at once; otherwise the file is read
        // off this thread and the list fills when it is in.
        if (const QString problem = m_files->cache().folderProblem(); !problem.isEmpty())
            statusBar()->showMessage(problem, 15000);
        if (const auto store = m_files->cache().fresh(path)) {
            m_files->noteSeen(path);
            ignoringFailures([&] {
                applyUserList(userListFromRows(store->answer(ActivityQuery::userList()).users,
                                               currentUserName(u"<Unknown>"_s),
                                               currentComputerName(u"<Unknown>"_s)));
            });
            return;
        }
        m_files->readForList(path);
        return;
    }
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

void MainWindow::showReadStarted() {
    showLoadProgress();
    m_loadProgressLabel->show();
    m_cancelLoadButton->show();
    m_cancelLoadButton->setEnabled(true);
    m_loadTimer->start();
}

void MainWindow::showLoadProgress() {
    if (m_files->isReading())
        m_loadProgressLabel->setText(u"Reading data file\u2026 %1%"_s.arg(m_files->progress()));
}

void MainWindow::cancelStoreLoad() {
    if (!m_files->isReading())
        return;
    m_files->cancel();
    m_cancelLoadButton->setEnabled(false);
    m_loadProgressLabel->setText(u"Stopping\u2026"_s);
}

void MainWindow::onDataFileRead(const DataFileRead& read) {
    m_loadTimer->stop();
    m_loadProgressLabel->hide();
    m_cancelLoadButton->hide();
    if (read.outcome == DataFileRead::Outcome::Cancelled) {
        if (read.preview)
            m_viewer->setNotice(QString());
        statusBar()->showMessage(
            u"Reading the data file was cancelled. Preview or F5 reads the file again."_s);
        return;
    }
    if (read.outcome == DataFileRead::Outcome::Failed) {
        if (read.preview)
            m_viewer->setNotice(QString());
        // A report still shown was made from the file before this change: it says so, and is
        // not printed as if current, until a good run.
        markReportOutOfDate(
            u"the data file changed and could not be read again (%1)"_s.arg(read.error.section(u'\n', 0, 0)));
        showLoadFailure(read.path, read.error, read.preview);
        return;
    }
    ignoringFailures([&] { applyReadList(read); });
    if (read.preview)
        onPreviewClicked();
    else if (!read.list)
        followFile();
}

void MainWindow::applyReadList(const DataFileRead& read) {
    const UserListLoad loaded =
        userListFromRows(read.store->answer(ActivityQuery::userList()).users, currentUserName(u"<Unknown>"_s),
                         currentComputerName(u"<Unknown>"_s));
    if (read.list && m_userList->count() == 0 && m_saveAction->isEnabled()) {
        // A report for everybody was made while the list was still empty: the list fills
        // with that entry chosen, and the report stays.
        applyRefreshedList(loaded);
        const QSignalBlocker quiet(m_userList);
        const int everybody = m_userList->findText(kAllUsers + kUserSeparator + kAllComputers);
        if (everybody >= 0)
            m_userList->setCurrentIndex(everybody);
    } else if (read.list) {
        applyUserList(loaded);
    } else {
        applyRefreshedList(loaded);
    }
    statusBar()->clearMessage();
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
    m_files->checkChanged();
}

void MainWindow::setDataFileLookInterval(int milliseconds) {
    m_files->setLookInterval(milliseconds);
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
        m_files->readAgain(path, preview);
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
    if (m_files->readyForPreview(dataPathOf(m_session, kDefaultDataFileName), chosenRange()))
        return true;
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
    StepRunner run(askThrough(m_err), u"making the report"_s);
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
        previewReport();
    });
    m_files->readAfterPreview();
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

ReportSettings MainWindow::commonSettings() const {
    ReportSettings settings;
    settings.range = chosenRange();
    settings.chartType = m_chartTypeBox->currentData().toInt();
    settings.details = m_showDetailsBox->isChecked();
    settings.user = m_userFilter;
    settings.computer = m_computerFilter;
    // The session's data file is resolved here, at the window's edge; the report only reads it.
    settings.dataFile = dataPathOf(m_session, kDefaultDataFileName);
    return settings;
}

void MainWindow::previewReport() {
    const ReportDescriptor& report = *m_report;
    ReportSettings settings = commonSettings();
    // The range is judged before the report's own options, as the pages stand in the window.
    if (const auto problem = dateRangeProblem(settings.range)) {
        showPreviewProblem(*problem);
        return;
    }
    if (const auto problem = m_panels[catalogueIndex(report)]->fill(settings)) {
        showPreviewProblem(*problem);
        return;
    }
    PreparedReport prepared = previewRequest(report, settings, m_files->source());
    if (!prepared.report) {
        showPreviewProblem(prepared.problem);
        return;
    }
    auto* table = dynamic_cast<TableReport*>(prepared.report.get());
    if (table)
        tellUserOf(*table);
    // The viewer lets go of the previous instance before it is released.
    m_viewer->setReportSource(nullptr);
    m_shownReport = std::move(prepared.report);
    m_shownKind = &report;
    m_viewer->setReportSource(m_shownReport.get());
    if (table && table->hasTable() && report.foundNothing(*m_shownReport))
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

void MainWindow::offerDrillDown(const QString& name, int ordinal, QPoint globalPos) {
    if (name != u"txtPeriod"_s && name != u"txtName"_s && name != u"chart"_s)
        return;
    if (!m_shownReport || !m_shownKind || m_viewer->reportSource() != m_shownReport.get())
        return;
    const QVector<DrillTarget> targets = m_shownKind->drillDown(*m_shownReport, name, ordinal, chosenRange());
    if (targets.isEmpty())
        return;
    QMenu menu(this);
    menu.setObjectName(u"mnuDrillDown"_s);
    for (const DrillTarget& target : targets) {
        const int entry = target.forPerson ? entryOf(target) : m_userList->currentIndex();
        if (entry < 0)
            return;
        const ReportDescriptor* report = ReportCatalogue::standard().named(target.report);
        if (!report)
            continue;
        menu.addAction(target.caption, this,
                       [=, this] { drillTo(*report, target.range, entry, target.period); })
            ->setObjectName(target.objectName);
    }
    if (menuRunner())
        menuRunner()(menu);
    else
        menu.exec(globalPos);
}

int MainWindow::entryOf(const DrillTarget& target) const {
    const QString entry = UserEntry(target.user ? QVariant(*target.user) : QVariant(kAllUsers),
                                    target.computer ? QVariant(*target.computer) : QVariant(kAllComputers));
    int index = m_userList->findText(entry);
    if (index < 0 && target.user && !target.computer) {
        // A user on one computer has no "all computers" entry: that one pair is all of it.
        const QModelIndexList pairs = m_userList->model()->match(
            m_userList->model()->index(0, 0), Qt::DisplayRole, *target.user + kUserSeparator, 2,
            Qt::MatchStartsWith | Qt::MatchCaseSensitive);
        if (pairs.size() == 1)
            index = pairs.front().row();
    }
    return index;
}

MainWindow::ShownReport MainWindow::shownReport() const {
    ShownReport shown;
    shown.report = m_report;
    shown.range = chosenRange();
    shown.userEntry = m_userList->currentIndex();
    for (const ReportOptionsPanel* panel : m_panels)
        shown.panelStates.push_back(panel->state());
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

void MainWindow::drillTo(const ReportDescriptor& report, const DateRange& range, int entry,
                         const QString& period) {
    m_backStack.push_back(shownReport());
    m_backAction->setEnabled(true);
    initReport(report);
    showRange(range);
    if (entry >= 0)
        m_userList->setCurrentIndex(entry);
    m_panels[catalogueIndex(report)]->showPeriod(period);
    onPreviewClicked();
}

void MainWindow::goBack() {
    if (m_backStack.empty())
        return;
    const ShownReport shown = m_backStack.back();
    m_backStack.pop_back();
    m_backAction->setEnabled(!m_backStack.empty());
    initReport(*shown.report);
    showRange(shown.range);
    m_userList->setCurrentIndex(shown.userEntry);
    for (std::size_t i = 0; i < m_panels.size() && i < shown.panelStates.size(); ++i)
        m_panels[i]->restoreState(shown.panelStates[i]);
    onPreviewClicked();
    if (shown.zoomMode == int(engine::ReportViewer::ZoomMode::Percent))
        m_viewer->setZoomPercent(shown.zoomPercent);
    else
        m_viewer->setZoomMode(engine::ReportViewer::ZoomMode(shown.zoomMode));
    m_viewer->setCurrentPage(shown.page);
}

void MainWindow::showPreviewProblem(const PreviewProblem& problem) {
    tellUser(m_session, problem.message, MsgFlag::Information, u"Tallyrow"_s);
    QWidget* control = problem.focus == PreviewOption::DateRange
                           ? m_dateSelector
                           : m_panels[catalogueIndex(*m_report)]->controlOf(problem.focus);
    if (!control)
        return;
    revealOption(control);
    control->setFocus();
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
    StepRunner run(askThrough(m_err), u"showing the report"_s);
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
    StepRunner run(askThrough(m_err), u"printing the report"_s, u"processing print menu click"_s, false);
    run.step([this] { m_viewer->PrintReport(true); });
}

void MainWindow::onSave() {
    StepRunner run(askThrough(m_err), u"saving the report"_s, u"processing menu click"_s, false);
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
    StepRunner run(askThrough(m_err), u"changing the data file"_s);
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
    StepRunner run(askThrough(m_err), u"resetting the remembered answers"_s, u"processing menu click"_s,
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
    StepRunner run(askThrough(m_err), u"showing About"_s, u"processing menu click"_s, false);
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
    m_files->cancel();
    m_files->stop();
    ignoringFailures([this] {
        m_viewer->setReportSource(nullptr);
        m_shownReport.reset();
    });
    m_unloaded = true;
    event->accept();
    ignoringFailures([this] { m_err = nullptr; });
}

} // namespace tallyrow
