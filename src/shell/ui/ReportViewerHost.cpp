#include "shell/ui/ReportViewerHost.h"

#include "datafile/ui/DialogFileChooser.h"
#include "engine/ui/ReportViewer.h"
#include "output/ReportDocument.h"
#include "output/ui/SaveAsDialog.h"
#include "reports/ReportCatalogue.h"
#include "reports/TableReport.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/MessageBoxEx.h"
#include "support/Registry.h"
#include "support/Services.h"
#include "support/Session.h"
#include "support/StepRunner.h"
#include "support/ui/AnnouncementLabel.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

std::function<void(QMenu&)>& menuRunner() {
    static std::function<void(QMenu&)> runner;
    return runner;
}

std::shared_ptr<FileChooser>& reportChooser() {
    static std::shared_ptr<FileChooser> chooser;
    return chooser;
}

const QString kNoActivityNotice = u"No activity recorded for these options"_s;

QScrollBar* pageScrollBar(engine::ReportViewer* viewer) {
    return viewer->findChild<QScrollArea*>(u"scrPages"_s)->verticalScrollBar();
}

} // namespace

ReportViewerHost::ReportViewerHost(Session& session, WindowSide window, QWidget* parent)
    : QObject(parent), m_session(session), m_window(std::move(window)) {
    m_viewer = new engine::ReportViewer(parent);
    m_viewer->setObjectName(u"arvPreview"_s);
    // Says when a report is ready, to the eye and to a screen reader.
    m_status = new AnnouncementLabel(parent);
    m_status->setObjectName(u"lblReportStatus"_s);
    connect(m_viewer, &engine::ReportViewer::LoadCompleted, this, [this] { onReportShown(); });
    connect(m_viewer, &engine::ReportViewer::textItemClicked, this,
            [this](const QString& name, int ordinal, QPoint at) { offerDrillDown(name, ordinal, at); });
}

ReportViewerHost::~ReportViewerHost() {
    // The viewer lets go of the report before it is released.
    if (m_viewer)
        m_viewer->setReportSource(nullptr);
}

engine::ReportViewer* ReportViewerHost::viewer() const {
    return m_viewer;
}

void ReportViewerHost::setMenuRunner(std::function<void(QMenu&)> runner) {
    menuRunner() = std::move(runner);
}

void ReportViewerHost::setReportChooser(std::shared_ptr<FileChooser> chooser) {
    reportChooser() = std::move(chooser);
}

void ReportViewerHost::addFileActions(QMenu* file) {
    auto makeAction = [this, file](const QString& name, const QString& caption, auto handler) {
        QAction* action = file->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    makeAction(u"mnuFileOpenReport"_s, u"&Open Report..."_s, [this] {
        onOpenReport();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    file->addSeparator();
    m_printAction = makeAction(u"mnuFilePrint"_s, u"&Print..."_s, [this] { onPrint(); });
    m_printAction->setShortcut(QKeySequence::Print);
    m_saveAction = makeAction(u"mnuFileSave"_s, u"&Save..."_s, [this] { onSave(); });
    m_saveAction->setShortcut(QKeySequence::Save);
}

void ReportViewerHost::addBackAction(QMenu* reports) {
    m_backAction = reports->addAction(u"&Back"_s);
    m_backAction->setObjectName(u"mnuViewBack"_s);
    connect(m_backAction, &QAction::triggered, this, [this] { goBack(); });
    m_backAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    m_backAction->setToolTip(u"Back to the report shown before (Alt+Left)"_s);
    m_backAction->setEnabled(false);
    m_viewer->addToolBarAction(m_backAction, u"cmdViewerBack"_s);
}

void ReportViewerHost::show(std::unique_ptr<engine::Report> report, const ReportDescriptor& kind) {
    auto* table = dynamic_cast<TableReport*>(report.get());
    if (table) {
        // A failed step is put to the user with Retry and Ignore; a notice is a message box.
        table->setFailureHandler(askThrough(m_window.errors()));
        table->setNoticeHandler([this](const ReportNotice& notice) {
            showMessageBox(m_session, notice.text,
                           notice.warning ? MsgFlag::Exclamation | MsgFlag::SystemModal : MsgFlag::OKOnly,
                           notice.title);
        });
    }
    // The viewer lets go of the previous instance before it is released.
    m_viewer->setReportSource(nullptr);
    m_shown = std::move(report);
    m_shownKind = &kind;
    m_viewer->setReportSource(m_shown.get());
    if (table && table->hasTable() && kind.foundNothing(*m_shown))
        m_viewer->setNotice(kNoActivityNotice);
}

void ReportViewerHost::clear() {
    m_viewer->setReportSource(nullptr);
    setOutputsEnabled(false);
    m_status->announce({});
}

void ReportViewerHost::release() {
    m_viewer->setReportSource(nullptr);
    m_shown.reset();
}

void ReportViewerHost::setOutputsEnabled(bool enabled) {
    m_saveAction->setEnabled(enabled);
    m_printAction->setEnabled(enabled);
}

bool ReportViewerHost::showsReport() const {
    return m_saveAction->isEnabled();
}

bool ReportViewerHost::showsMadeReport() const {
    return showsReport() && m_viewer->reportSource();
}

void ReportViewerHost::showWaiting() {
    m_viewer->setNotice(u"Report will run when the read finishes"_s);
}

void ReportViewerHost::markOutOfDate(const QString& reason) {
    if (!showsReport())
        return;
    m_viewer->setNotice(u"Out of date: "_s + reason);
    m_viewer->setPrintEnabled(false);
    m_printAction->setEnabled(false);
    m_status->announce(u"Report out of date"_s);
}

ReportViewerHost::Place ReportViewerHost::place(bool withScroll) const {
    Place place;
    place.page = m_viewer->currentPage();
    place.zoomMode = int(m_viewer->zoomMode());
    place.zoomPercent = m_viewer->zoomPercent();
    if (withScroll)
        place.scrolled = pageScrollBar(m_viewer)->value();
    return place;
}

void ReportViewerHost::showPlace(const Place& place) {
    if (place.zoomMode == int(engine::ReportViewer::ZoomMode::Percent))
        m_viewer->setZoomPercent(place.zoomPercent);
    else
        m_viewer->setZoomMode(engine::ReportViewer::ZoomMode(place.zoomMode));
    m_viewer->setCurrentPage(place.page);
    if (place.scrolled)
        pageScrollBar(m_viewer)->setValue(*place.scrolled);
}

void ReportViewerHost::rememberForBack(std::function<void()> reshow) {
    m_backStack.push_back({std::move(reshow), place(false)});
    m_backAction->setEnabled(true);
}

void ReportViewerHost::goBack() {
    if (m_backStack.empty())
        return;
    const BackEntry shown = m_backStack.back();
    m_backStack.pop_back();
    m_backAction->setEnabled(!m_backStack.empty());
    shown.reshow();
    showPlace(shown.place);
}

void ReportViewerHost::offerDrillDown(const QString& name, int ordinal, QPoint globalPos) {
    if (name != u"txtPeriod"_s && name != u"txtName"_s && name != u"chart"_s)
        return;
    if (!m_shown || !m_shownKind || m_viewer->reportSource() != m_shown.get())
        return;
    const QVector<DrillTarget> targets = m_shownKind->drillDown(*m_shown, name, ordinal, m_window.range());
    if (targets.isEmpty())
        return;
    QMenu menu(m_viewer->window());
    menu.setObjectName(u"mnuDrillDown"_s);
    for (const DrillTarget& target : targets) {
        const int entry = m_window.entry(target);
        if (entry < 0)
            return;
        const ReportDescriptor* report = ReportCatalogue::standard().named(target.report);
        if (!report)
            continue;
        menu.addAction(target.caption, this, [=, this] { m_window.drillTo(*report, target, entry); })
            ->setObjectName(target.objectName);
    }
    if (menuRunner())
        menuRunner()(menu);
    else
        menu.exec(globalPos);
}

void ReportViewerHost::onReportShown() {
    StepRunner run(askThrough(m_window.errors()), u"showing the report"_s);
    run.step([this] { m_saveAction->setEnabled(true); });
    run.step([this] { m_printAction->setEnabled(true); });
    run.step([this] {
        if (!m_viewer->reportSource())
            return; // a saved report that was opened is announced by its name
        const int pages = m_viewer->pageCount();
        m_status->announce(pages == 1 ? u"Report ready: 1 page"_s : u"Report ready: %1 pages"_s.arg(pages));
    });
}

void ReportViewerHost::onPrint() {
    StepRunner run(askThrough(m_window.errors()), u"printing the report"_s, u"processing print menu click"_s,
                   false);
    run.step([this] { m_viewer->PrintReport(true); });
}

void ReportViewerHost::onSave() {
    StepRunner run(askThrough(m_window.errors()), u"saving the report"_s, u"processing menu click"_s, false);
    run.step([this] {
        SaveAsDialog dialog(m_session, m_viewer->reportSource(), m_viewer->window());
        if (m_viewer->reportSource()) {
            dialog.reportName = m_window.reportName();
        } else {
            // A report document opened from a file: its pages are what is saved.
            dialog.setPages(&m_viewer->pages());
            dialog.reportName = QFileInfo(m_openedDocument).completeBaseName();
        }
        m_window.runDialog(dialog);
    });
}

void ReportViewerHost::onOpenReport() {
    const std::shared_ptr<FileChooser> chooser =
        reportChooser() ? reportChooser() : std::make_shared<DialogFileChooser>();
    // The report opened last, else the folder reports were last saved to.
    QString start = m_openedDocument;
    if (start.isEmpty())
        ignoringFailures(
            [&] { start = readSetting(u"LastReportFolder"_s, QString(), QString(), true, kSettingsHive); });
    const std::optional<QString> path =
        chooser->chooseFile(m_viewer->window(), u"Open Report"_s,
                            u"Report documents (*.rdf)|*.rdf|All files (*.*)|*.*|"_s, 1, start);
    if (path && !path->isEmpty())
        openReportDocument(*path);
}

bool ReportViewerHost::openReportDocument(const QString& path) {
    engine::PageCollection pages;
    try {
        pages = loadReportDocument(path);
    } catch (const Error& e) {
        tellUser(m_session, e.description(), MsgFlag::OKOnly | MsgFlag::Exclamation, u"Open Report"_s);
        return false;
    }
    ignoringFailures([this] { clear(); });
    m_openedDocument = path;
    m_viewer->setJobTitle(QFileInfo(path).completeBaseName());
    m_viewer->setPages(pages); // raises LoadCompleted: Save and Print are offered
    // On the line a refresh of the data file leaves alone.
    m_status->announce(u"Showing the saved report %1"_s.arg(QDir::toNativeSeparators(path)));
    return true;
}

} // namespace tallyrow
