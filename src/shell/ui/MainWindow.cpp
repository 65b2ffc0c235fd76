#include "shell/ui/MainWindow.h"

#include "datafile/DataPath.h"
#include "datafile/MemoryPropertyStore.h"
#include "datafile/DataSource.h"
#include "activity/ActivityPlanner.h"
#include "activity/StoreCache.h"
#include "dateselector/ui/DateSelector.h"
#include "engine/ChartDefinition.h"
#include "engine/ui/ReportViewer.h"
#include "reports/ReportCatalogue.h"
#include "shell/PreviewRequest.h"
#include "shell/ReportOptions.h"
#include "shell/UserList.h"
#include "shell/ui/EndApplication.h"
#include "shell/ui/DataFileController.h"
#include "shell/ui/DataFilePrompts.h"
#include "shell/ui/DataFileStatus.h"
#include "shell/ui/HelpMenu.h"
#include "shell/ui/OptionControls.h"
#include "shell/ui/OptionTabs.h"
#include "shell/ui/ReportOptionsPanel.h"
#include "shell/ui/ReportViewerHost.h"
#include "shell/ui/ToolsMenu.h"
#include "shell/ui/UserListBox.h"
#include "support/CommandLine.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/FileUtils.h"
#include "support/ui/AccessibleNames.h"
#include "support/ui/AnnouncementLabel.h"
#include "support/ui/NamedListAccessible.h"
#include "support/MessageBoxEx.h"
#include "support/Registry.h"
#include "support/Services.h"
#include "support/StepRunner.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>
#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

MainWindow::DialogRunner& dialogRunner() {
    static MainWindow::DialogRunner runner;
    return runner;
}

std::optional<QString>& storeCacheFolder() {
    static std::optional<QString> folder;
    return folder;
}

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
    m_prompts = std::make_unique<DataFilePrompts>(m_session, *m_files, &MainWindow::runDialog, this);
    connect(m_files, &DataFileController::readStarted, this, [this] { m_fileStatus->showReadStarted(); });
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"Tyrow Reports"_s);
    NamedListAccessible::install(); // before the first list is made
    buildControls();
    buildMenus();
    nameFieldsByTheirLabels(this);
    connectOptionChanges();
    fitToScreen();
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
    delete m_fileStatus;
    m_fileStatus = nullptr;
    // The user list signals as it is destroyed with the window's children, when this window's
    // own part is already gone: nothing here may answer it then.
    if (m_userList)
        disconnect(m_userList, nullptr, this, nullptr);
    // A read under way reports back to this window: it ends before the window does.
    delete m_files;
    m_files = nullptr;
}

void MainWindow::setDialogRunner(DialogRunner runner) {
    dialogRunner() = std::move(runner);
}

void MainWindow::setMenuRunner(std::function<void(QMenu&)> runner) {
    ReportViewerHost::setMenuRunner(std::move(runner));
}

void MainWindow::setReportChooser(std::shared_ptr<FileChooser> chooser) {
    ReportViewerHost::setReportChooser(std::move(chooser));
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
    // Each options page scrolls when it is taller than the room it gets.
    m_optionTabs->scrollPages();
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
    chain << m_previewButton << m_followFileBox << tabStopsIn(m_host->viewer());
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

    m_users = new UserListBox(options, column);
    m_userList = m_users->list();

    m_optionTabs = new OptionTabs(
        [this](const QString& key, const QVariant& def) { return m_properties->read(key, def); }, options);
    m_dateSelector = m_optionTabs->dateSelector();
    m_chartTypeBox = m_optionTabs->chartTypeBox();
    m_showDetailsBox = m_optionTabs->showDetailsBox();
    m_panels = m_optionTabs->panels();

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

    buildViewerHost();

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(u"vseMain"_s);
    splitter->addWidget(options);
    splitter->addWidget(m_host->viewer());
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setCollapsible(0, false);
    splitter->setCollapsible(1, false);
    options->setMinimumWidth(280);
    options->setMaximumWidth(420);
    setCentralWidget(splitter);

    connect(m_previewButton, &QPushButton::clicked, this, [this] { onPreviewClicked(); });
    connect(m_dateSelector, &DateSelector::Change, this, [this] { onDatesChanged(); });

    buildShortcuts();
    buildStatusBar();
}

void MainWindow::buildViewerHost() {
    ReportViewerHost::WindowSide side;
    side.runDialog = &MainWindow::runDialog;
    side.errors = [this] { return m_err.data(); };
    side.range = [this] { return chosenRange(); };
    side.reportName = [this] { return reportNameFor(m_userFilter, m_computerFilter); };
    side.entry = [this](const DrillTarget& target) {
        return target.forPerson ? m_users->entryOf(target) : m_userList->currentIndex();
    };
    side.drillTo = [this](const ReportDescriptor& report, const DrillTarget& target, int entry) {
        drillTo(report, target, entry);
    };
    m_host = new ReportViewerHost(m_session, std::move(side), this);
}

void MainWindow::buildStatusBar() {
    m_fileStatus = new DataFileStatus(statusBar(), m_host->statusLabel(), *m_files, this);
}

void MainWindow::buildShortcuts() {
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
    m_fileStatus->showSource(DataSource(dataPathOf(m_session, kDefaultDataFileName)).shownName());
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
    m_host->addFileActions(file);
    file->addSeparator();
    makeAction(file, u"mnuFileExit"_s, u"E&xit"_s, [this] {
        onExit();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    new ToolsMenu(m_session,
                  {[this] { onChangeDataFile(); }, &MainWindow::runDialog, [this] { return m_err.data(); }},
                  *m_fileStatus, this);

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
    m_host->addBackAction(reports);

    new HelpMenu(
        m_session, [this] { return m_err.data(); }, this);
}

void MainWindow::connectOptionChanges() {
    auto clear = [this] { ignoringFailures([this] { clearPreview(); }); };
    for (QComboBox* list : {m_chartTypeBox, m_userList})
        connect(list, &QComboBox::currentIndexChanged, this, clear);
    connect(m_showDetailsBox, &QCheckBox::toggled, this, clear);
    for (ReportOptionsPanel* panel : m_panels)
        connect(panel, &ReportOptionsPanel::changed, this, clear);
}

bool MainWindow::openReportDocument(const QString& path) {
    return m_host->openReportDocument(path);
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
    run.step([&] { unload = !m_prompts->settle(); });
    if (unload) {
        m_unloaded = true;
        m_files->stop();
        close();
        return false;
    }
    run.step([this] { setWindowTitle(u"Tallyrow Reports - "_s + currentUserName(QString())); });
    run.step([this] { m_host->setOutputsEnabled(false); });
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
        m_optionTabs->chartTypeLabel()->setEnabled(report.choosesChart);
    });
    const std::size_t index = catalogueIndex(report);
    run.step([&] { m_reportActions[index]->setChecked(true); });
    run.step([&] { m_optionTabs->reportPanels()->setCurrentWidget(m_panels[index]); });
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
    m_host->clear();
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
        ignoringFailures([this] { m_prompts->tellNotOpening(); });
        return;
    }
    applyUserList(list);
}

void MainWindow::applyUserList(const UserListLoad& list) {
    if (m_users->apply(list, std::exchange(m_keepShownEntry, false)))
        ignoringFailures([this] { clearPreview(); });
}

void MainWindow::onDataFileRead(const DataFileRead& read) {
    m_fileStatus->showReadEnded();
    if (read.outcome == DataFileRead::Outcome::Cancelled) {
        if (read.preview)
            m_host->viewer()->setNotice(QString());
        statusBar()->showMessage(
            u"Reading the data file was cancelled. Preview or F5 reads the file again."_s);
        return;
    }
    if (read.outcome == DataFileRead::Outcome::Failed) {
        if (read.preview)
            m_host->viewer()->setNotice(QString());
        // A report still shown was made from the file before this change: it says so, and is
        // not printed as if current, until a good run.
        m_host->markOutOfDate(
            u"the data file changed and could not be read again (%1)"_s.arg(read.error.section(u'\n', 0, 0)));
        m_prompts->tellReadFailure(read.path, read.error, read.preview);
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
    if (read.list && m_userList->count() == 0 && m_host->showsReport()) {
        // A report for everybody was made while the list was still empty: the list fills
        // with that entry chosen, and the report stays.
        m_users->applyRefreshed(loaded);
        m_users->chooseEverybody();
    } else if (read.list) {
        applyUserList(loaded);
    } else {
        m_users->applyRefreshed(loaded);
    }
    statusBar()->clearMessage();
}

void MainWindow::followFile() {
    // Only a report made from the options as they stand (any change of them took it away), and
    // never one opened from a report document.
    if (!m_followFileBox->isChecked() || !m_host->showsMadeReport())
        return;
    const ReportViewerHost::Place place = m_host->place(true);
    QWidget* focused = QApplication::focusWidget();
    onPreviewClicked();
    m_host->showPlace(place);
    if (focused && QApplication::focusWidget() != focused)
        focused->setFocus(); // the refreshed report never takes the focus from where the user is
}

void MainWindow::checkDataFileChanged() {
    m_files->checkChanged();
}

void MainWindow::setDataFileLookInterval(int milliseconds) {
    m_files->setLookInterval(milliseconds);
}

bool MainWindow::previewDataReady() {
    if (m_files->readyForPreview(dataPathOf(m_session, kDefaultDataFileName), chosenRange()))
        return true;
    m_host->showWaiting();
    return false;
}

bool MainWindow::resolveTypedEntry() {
    if (m_users->resolveTyped(m_session))
        return true;
    m_optionTabs->reveal(m_userList);
    m_users->selectTyped();
    return false;
}

void MainWindow::onPreviewClicked() {
    if (!resolveTypedEntry() || !previewDataReady())
        return;
    StepRunner run(askThrough(m_err), u"making the report"_s);
    run.step([this] { m_users->chosen(m_userFilter, m_computerFilter); });
    run.step([this] {
        m_host->viewer()->setJobTitle(printJobTitle());
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
    m_host->show(std::move(prepared.report), report);
}

MainWindow::ShownReport MainWindow::shownReport() const {
    ShownReport shown;
    shown.report = m_report;
    shown.range = chosenRange();
    shown.userEntry = m_userList->currentIndex();
    for (const ReportOptionsPanel* panel : m_panels)
        shown.panelStates.push_back(panel->state());
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

void MainWindow::drillTo(const ReportDescriptor& report, const DrillTarget& target, int entry) {
    m_host->rememberForBack([this, shown = shownReport()] { reshow(shown); });
    initReport(report);
    showRange(target.range);
    if (entry >= 0)
        m_userList->setCurrentIndex(entry);
    m_panels[catalogueIndex(report)]->showPeriod(target.period);
    onPreviewClicked();
}

void MainWindow::reshow(const ShownReport& shown) {
    initReport(*shown.report);
    showRange(shown.range);
    m_userList->setCurrentIndex(shown.userEntry);
    for (std::size_t i = 0; i < m_panels.size() && i < shown.panelStates.size(); ++i)
        m_panels[i]->restoreState(shown.panelStates[i]);
    onPreviewClicked();
}

void MainWindow::showPreviewProblem(const PreviewProblem& problem) {
    tellUser(m_session, problem.message, MsgFlag::Information, u"Tallyrow"_s);
    QWidget* control = problem.focus == PreviewOption::DateRange
                           ? m_dateSelector
                           : m_panels[catalogueIndex(*m_report)]->controlOf(problem.focus);
    if (!control)
        return;
    m_optionTabs->reveal(control);
    control->setFocus();
}

void MainWindow::onExit() {
    ignoringFailures([this] { close(); });
}

void MainWindow::onChangeDataFile() {
    StepRunner run(askThrough(m_err), u"changing the data file"_s);
    const QString before = dataPathOf(m_session, kDefaultDataFileName);
    bool accepted = false;
    run.step([&] { accepted = m_prompts->choose(); });
    // Cancelled with the same file in use: the file is looked at again, but the list's choice
    // and the shown report stay while the file still holds that entry.
    m_keepShownEntry = !accepted && dataPathOf(m_session, kDefaultDataFileName) == before;
    run.step([this] { loadUserList(); });
}

void MainWindow::onAbortChosen() {
    ignoringFailures([this] { close(); });
    ignoringFailures([this] { m_err = nullptr; });
    ignoringFailures([this] { endApplication(m_session); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_files->cancel();
    m_files->stop();
    ignoringFailures([this] { m_host->release(); });
    m_unloaded = true;
    event->accept();
    ignoringFailures([this] { m_err = nullptr; });
}

} // namespace tallyrow
