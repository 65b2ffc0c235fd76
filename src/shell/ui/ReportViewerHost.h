#pragma once

#include "activity/DateRange.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QDialog;
class QMenu;
class QPoint;
class QWidget;

namespace tallyrow {

class AnnouncementLabel;
class ErrorReporter;
class FileChooser;
struct DrillTarget;
struct ReportDescriptor;
struct Session;
namespace engine {
class Report;
class ReportViewer;
} // namespace engine

/// The viewer and what it shows: a report made from the window's options or a saved report
/// document, Print and Save of it, the drill-down menu on a shown report and Back to the report
/// before. The options themselves stay the window's: it is asked for them through `WindowSide`.
class ReportViewerHost final : public QObject {
    Q_OBJECT
public:
    /// What the host needs of the window's options.
    struct WindowSide {
        std::function<int(QDialog&)> runDialog;       ///< runs a modal dialog
        std::function<ErrorReporter*()> errors;       ///< where failed steps are put to the user
        std::function<DateRange()> range;             ///< the range the options show
        std::function<QString()> reportName;          ///< the name a saved report is offered under
        std::function<int(const DrillTarget&)> entry; ///< a target's entry of the user list; -1: none
        /// Shows `report` over the target's range for list entry `entry`, by the target's period.
        std::function<void(const ReportDescriptor&, const DrillTarget&, int)> drillTo;
    };

    ReportViewerHost(Session& session, WindowSide window, QWidget* parent);
    ~ReportViewerHost() override;

    /// The pop-up menus the host offers are shown by `runner` (null: at the mouse); tests answer them.
    static void setMenuRunner(std::function<void(QMenu&)> runner);
    /// The chooser File > Open Report shows (null: the desktop's file dialog); tests put a fake.
    static void setReportChooser(std::shared_ptr<FileChooser> chooser);

    engine::ReportViewer* viewer() const;
    /// The status-bar label that says when a report is ready or out of date.
    AnnouncementLabel* statusLabel() const { return m_status; }

    /// Adds Open Report, Print and Save to `file`, and Back to `reports` and the viewer's tool bar.
    void addFileActions(QMenu* file);
    void addBackAction(QMenu* reports);

    /// Shows `report`, made as `kind` from the options; its failures and notices go to the user.
    void show(std::unique_ptr<engine::Report> report, const ReportDescriptor& kind);
    /// Takes the shown report away: nothing to print or save until the next one is shown.
    void clear();
    /// Lets go of the shown report (the window closes).
    void release();
    void setOutputsEnabled(bool enabled);
    /// Whether a report or document is shown that can be saved.
    bool showsReport() const;
    /// Whether the viewer shows a report made from the options (not an opened document).
    bool showsMadeReport() const;
    /// Says that a Preview waits for the read of the data file.
    void showWaiting();
    /// Marks the shown report as made from an earlier state of the file, and holds back Print.
    void markOutOfDate(const QString& reason);

    /// Where the viewer stands in the shown report.
    struct Place {
        int page = 0;
        int zoomMode = 0;
        int zoomPercent = 100;
        std::optional<int> scrolled; ///< the pages' scroll position, when it is kept too
    };
    Place place(bool withScroll) const;
    void showPlace(const Place& place);

    /// Remembers the report shown now for Back; `reshow` sets its options up again and makes it.
    void rememberForBack(std::function<void()> reshow);
    /// Back to the report before the last drill-down, on its page and zoom.
    void goBack();

    /// Shows the saved report document at `path`; one that cannot be read is refused in a
    /// message box. True when shown.
    bool openReportDocument(const QString& path);

private:
    void onReportShown();
    void onPrint();
    void onSave();
    void onOpenReport();
    /// A click on a period of the Totals report or a line of the Users report offers the
    /// reports behind it.
    void offerDrillDown(const QString& name, int ordinal, QPoint globalPos);

    struct BackEntry {
        std::function<void()> reshow;
        Place place;
    };

    Session& m_session;
    WindowSide m_window;
    QPointer<engine::ReportViewer> m_viewer;
    AnnouncementLabel* m_status = nullptr;
    QAction* m_printAction = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_backAction = nullptr;
    /// The report last made for the viewer, and which report it is.
    std::unique_ptr<engine::Report> m_shown;
    const ReportDescriptor* m_shownKind = nullptr;
    QString m_openedDocument; ///< the report document shown, when the viewer shows one
    std::vector<BackEntry> m_backStack;
};

} // namespace tallyrow
