#pragma once

#include "activity/DateRange.h"
#include "activity/StoreCache.h"
#include "support/Session.h"

#include <QDate>
#include <QMainWindow>

class QMenu;
#include <QPointer>
#include <QString>
#include <QVariant>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace tallyrow {

class FileChooser;
class TableReport;
class ReportOptionsPanel;
struct ReportDescriptor;
struct ReportSettings;
struct DrillTarget;

class DateSelector;
class ErrorReporter;
class HostPropertyStore;
class ActivityPlanner;
class ActivitySource;
struct UserListLoad;
class DataFileController;
struct DataFileRead;
struct PreviewProblem;
class AboutDialog;
class AnnouncementLabel;
namespace engine {
class Report;
class ReportViewer;
} // namespace engine

/// The program's main window: the report options of both reports, the user-and-computer list,
/// the date range, the viewer that shows the report, and the menus.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Session& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// The load handler: makes sure a usable data file is in place (asking the user to pick
    /// one, or to agree to close), then applies the start-up defaults and fills the user list.
    /// Returns false when the window closed itself because the user agreed to close.
    bool load();

    /// The code of the report the options are set up for (0 the Totals report, 1 the Day report,
    /// 2 the Users report).
    int CurrentReport = 0;

    /// Runs the window's modal dialogs (change data file, save). The desktop calls exec();
    /// tests install a runner that answers the dialog without a screen.
    using DialogRunner = std::function<int(QDialog&)>;
    static void setDialogRunner(DialogRunner runner);

    /// The window's size at its first show: bounded by the screen it opens on.
    QSize sizeHint() const override;

    /// The folder for saved copies of data files' stores that windows made from now on use
    /// (empty: none); nothing resets it to the user's cache folder.
    static void setStoreCacheFolder(std::optional<QString> folder);
    /// The chooser File > Open Report shows (null: the desktop's file dialog); tests put a fake.
    static void setReportChooser(std::shared_ptr<FileChooser> chooser);
    /// Shows the pop-up menus the window offers (null: at the mouse); tests answer them.
    static void setMenuRunner(std::function<void(QMenu&)> runner);
    /// Whether the data file is being read on the worker thread.
    bool isLoadingData() const;
    /// The cache that holds the data files' stores.
    StoreCache& storeCache();
    /// The source the next report reads (nothing before a data source was chosen).
    ActivitySource* activitySource() const;
    /// Looks whether the data file changed and, when it did and the window is idle, reads it
    /// again in the background (a timer calls this every few seconds).
    void checkDataFileChanged();
    /// How often the data file is looked at besides being watched (for tests; 3 s by default).
    void setDataFileLookInterval(int milliseconds);

    /// The user and computer filters the last preview used ("" = all).
    QString userFilter() const { return m_userFilter; }
    QString computerFilter() const { return m_computerFilter; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    /// Offers the data file dialog until the data file is usable; false when the program is to close.
    bool settleDataFile();
    void buildControls();
    /// Makes the options scroll where needed and sizes the window to the screen it is on.
    void fitToScreen();
    void orderTabStops();
    void buildUserList(QWidget* options, QVBoxLayout* column);
    void buildShortcuts();
    void buildStatusBar();
    void buildDatePage();
    void buildTimePage();
    void buildMenus();
    void connectOptionChanges();

    void initReport(const ReportDescriptor& report);
    /// The place of `report` in the catalogue: the index of its panel and its menu item.
    static std::size_t catalogueIndex(const ReportDescriptor& report);
    void uncheckReports();
    void clearPreview();
    void loadChartTypes();
    void checkInvalidDays();
    void loadUserList();
    void applyUserList(const UserListLoad& list);

    /// Shows the progress of a read of the data file that began, with its Cancel button.
    void showReadStarted();
    void showLoadProgress();
    void cancelStoreLoad();
    /// Takes up the end of a read of the data file: the list, a waiting Preview, a followed report.
    void onDataFileRead(const DataFileRead& read);
    /// Fills the user list from a read that succeeded.
    void applyReadList(const DataFileRead& read);
    /// The list from a store that was read again: new users appear, the chosen entry stays.
    /// Fills the user list, each entry with the words a screen reader says for it.
    void addUserEntries(const QStringList& entries);
    /// With "Refresh automatically": the shown report made again from the data just read, on
    /// the same page and zoom, the focus left where it is.
    void followFile();
    void applyRefreshedList(const UserListLoad& list);
    /// Says why the data file could not be read, as opening it for the list says it; a file put
    /// right while the error report about it was open (Retry) is read again instead, and a
    /// waiting preview made from it.
    void showLoadFailure(const QString& path, const QString& reason, bool preview);
    /// Whether the preview can run now with the data file as it is; if not, a read is under way
    /// and the preview runs when it ends.
    bool previewDataReady();

    void onPreviewClicked();
    /// Takes a typed entry of the user list that names one exactly; says so and returns false for
    /// a search that matches none.
    bool resolveTypedEntry();
    /// Says above the pages that a Preview waits for the read of the data file.
    void showPreviewWaiting();
    /// Marks the shown report as made from an earlier state of the file, and holds back Print.
    void markReportOutOfDate(const QString& reason);
    /// Makes `report` put its failures and notices to the user.
    void tellUserOf(TableReport& report);
    /// Makes the report the options are set up for and shows it.
    void previewReport();
    /// A click on a period of the Totals report or a line of the Users report offers the
    /// reports behind it.
    void offerDrillDown(const QString& name, int ordinal, QPoint globalPos);
    /// What the window showed before a drill-down, to go back to.
    struct ShownReport {
        const ReportDescriptor* report = nullptr;
        DateRange range;
        int userEntry = 0;
        std::vector<QVariant> panelStates; ///< each option panel's state, in catalogue order
        int page = 0;
        int zoomMode = 0;
        int zoomPercent = 100;
    };
    ShownReport shownReport() const;
    /// The range the date selector shows, and showing one there (the weekdays follow it).
    DateRange chosenRange() const;
    void showRange(const DateRange& range);
    /// Shows `report` over `range` for the list entry `entry`, by `period` when one is given.
    void drillTo(const ReportDescriptor& report, const DateRange& range, int entry, const QString& period);
    /// The user list's entry of a drill-down target's person; -1 when the list has none.
    int entryOf(const DrillTarget& target) const;
    /// Back to the report before the last drill-down, on its page and zoom.
    void goBack();
    /// The settings every report shares, read from the controls.
    ReportSettings commonSettings() const;
    /// The print job's name: the report, its range and whom it is for.
    QString printJobTitle() const;
    /// Tells the user why the preview was refused and brings the option into focus.
    void showPreviewProblem(const PreviewProblem& problem);
    void onReportShown();
    void onPrint();
    void onSave();
    /// Shows a saved report document in the viewer, to print or save in another format.
    void onOpenReport();
    void onExit();
    void onChangeDataFile();
    void onResetAnswers();
    /// Asks how long a report waits while the data file is held locked, and keeps the answer.
    void onDataFileWait();
    /// Says in the status bar that a report is waiting for the data file.
    void showDataFileWait(const QString& path, int waitedSeconds, int limitSeconds);
    void onHelpContents();
    void onAbout();
    void onDatesChanged();
    void onAbortChosen();

    /// Opens the user manual (or a help file the user installed beside the program).
    void showHelp();
    void showDataSource();
    /// Brings the options page that holds `w` to the front so it can take the focus.
    void revealOption(QWidget* w);
    static int runDialog(QDialog& dialog);

    // Controls, named by what they do; each carries the objectName the tests and screen readers know it by.
    engine::ReportViewer* m_viewer = nullptr;
    QLabel* m_titleLabel = nullptr;
    QLabel* m_userLabel = nullptr;
    QComboBox* m_userList = nullptr;
    QTabWidget* m_optionTabs = nullptr;
    DateSelector* m_dateSelector = nullptr;
    QLabel* m_chartTypeLabel = nullptr;
    QComboBox* m_chartTypeBox = nullptr;
    QCheckBox* m_showDetailsBox = nullptr;
    QPushButton* m_previewButton = nullptr;
    QStackedWidget* m_reportPanels = nullptr;
    /// One options panel and one Reports menu item per report of the catalogue, in its order.
    std::vector<ReportOptionsPanel*> m_panels;
    std::vector<QAction*> m_reportActions;
    QCheckBox* m_followFileBox = nullptr; ///< remake the shown report when the file changes

    QLabel* m_dataSourceLabel = nullptr;
    AnnouncementLabel* m_reportStatus = nullptr;
    QLabel* m_loadProgressLabel = nullptr;
    QPushButton* m_cancelLoadButton = nullptr;
    QTimer* m_loadTimer = nullptr;
    QAction* m_printAction = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_changeDataFileAction = nullptr;
    QAction* m_helpContentsAction = nullptr;
    QAction* m_aboutAction = nullptr;

    std::unique_ptr<HostPropertyStore> m_properties;
    /// The data file: what reports read, its reads and the look whether it changed.
    DataFileController* m_files = nullptr;
    /// The report the options are set up for.
    const ReportDescriptor* m_report = nullptr;
    /// The report last made for the viewer, and which report it is.
    std::unique_ptr<engine::Report> m_shownReport;
    const ReportDescriptor* m_shownKind = nullptr;
    QPointer<ErrorReporter> m_err;
    QPointer<AboutDialog> m_about;
    QString m_userFilter;
    QString m_computerFilter;
    QString m_openedDocument; ///< the report document shown, when the viewer shows one
    bool m_keepShownEntry = false;
    std::vector<ShownReport> m_backStack;
    QAction* m_backAction = nullptr;
    bool m_sizedOnShow = false;
    bool m_fittedOnShow = false; ///< the next list read keeps the chosen entry and the report
    bool m_unloaded = false;
    Session& m_session; ///< the data file and help file of this run
};

} // namespace tallyrow
