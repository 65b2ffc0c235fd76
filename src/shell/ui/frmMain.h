#pragma once

#include "activity/StoreCache.h"

#include <QDate>
#include <QMainWindow>

class QMenu;
#include <QPointer>
#include <QString>

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
class repUsers;

class DateSelector;
class ErrorReporter;
class HostPropertyStore;
class ActivityPlanner;
class ActivitySource;
struct UserListLoad;
struct CommonReportOptions;
struct PreviewProblem;
class frmAbout;
class repDay;
class repTotals;
namespace engine {
class ReportViewer;
}

/// The program's main window: the report options of both reports, the user-and-computer list,
/// the date range, the viewer that shows the report, and the menus.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    /// The load handler: makes sure a usable data file is in place (asking the user to pick
    /// one, or to agree to close), then applies the start-up defaults and fills the user list.
    /// Returns false when the window closed itself because the user agreed to close.
    bool Form_Load();

    /// The report the options are set up for: 0 = Totals report, 1 = Day report.
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
    bool isLoadingData() const { return m_loadJob != nullptr; }
    /// The cache that holds the data files' stores.
    StoreCache& storeCache() { return *m_cache; }
    /// The source the next report reads (nothing before a data source was chosen).
    ActivitySource* activitySource() const { return m_source.get(); }
    /// Looks whether the data file changed and, when it did and the window is idle, reads it
    /// again in the background (a timer calls this every few seconds).
    void checkDataFileChanged();

    /// The user and computer filters the last preview used ("" = all).
    QString userFilter() const { return m_UserName; }
    QString computerFilter() const { return m_ComputerName; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    /// Makes the options scroll where needed and sizes the window to the screen it is on.
    void fitToScreen();
    void buildUserList(QWidget* options, QVBoxLayout* column);
    void buildShortcuts();
    void buildStatusBar();
    void buildDatePage();
    void buildTimePage();
    void buildDayPanel();
    void buildTotalsPanel();
    void buildMenus();
    void connectOptionChanges();

    void InitReport(int kind);
    void UncheckReports();
    void ClearPreview();
    void LoadChartTypes();
    void CheckInvalidDays();
    void LoadUserInfo();
    void applyUserList(const UserListLoad& list);

    /// Reads the data file's store on the worker thread; the window stays usable meanwhile.
    void startStoreLoad(const QString& path);
    void storeLoadFinished(int generation);
    void showLoadProgress();
    void cancelStoreLoad();
    /// The planner for the data file `path`, made anew when the file is another.
    ActivityPlanner& plannerFor(const QString& path);
    /// The list from a store that was read again: new users appear, the chosen entry stays.
    /// Fills the user list, each entry with the words a screen reader says for it.
    void addUserEntries(const QStringList& entries);
    /// With "Refresh automatically": the shown report made again from the data just read, on
    /// the same page and zoom, the focus left where it is.
    void followFile();
    void applyRefreshedList(const UserListLoad& list);
    /// Says why the data file could not be read, as opening it for the list says it.
    void showLoadFailure(const QString& path, const QString& reason);
    /// Whether the preview can run now with the data file as it is; if not, a read is under way
    /// and the preview runs when it ends.
    bool previewDataReady();

    void cmdPreviewReport_Click();
    /// Takes a typed entry of the user list that names one exactly; says so and returns false for
    /// a search that matches none.
    bool resolveTypedEntry();
    /// Says above the pages that a Preview waits for the read of the data file.
    void showPreviewWaiting();
    /// Marks the shown report as made from an earlier state of the file, and holds back Print.
    void markReportOutOfDate(const QString& reason);
    void previewTotalsReport();
    void previewDayReport();
    void previewUsersReport();
    /// A click on a period of the Totals report or a line of the Users report offers the
    /// reports behind it.
    void offerDrillDown(const QString& name, int ordinal, QPoint globalPos);
    /// What the window showed before a drill-down, to go back to.
    struct ShownReport {
        int kind = 0;
        QDate start;
        QDate end;
        int userEntry = 0;
        QString period;
        QString units;
        int page = 0;
        int zoomMode = 0;
        int zoomPercent = 100;
    };
    ShownReport shownReport() const;
    /// Shows the report `kind` (0 Totals, 1 Day) over start … end for the list entry `entry`.
    void drillTo(int kind, const QDate& start, const QDate& end, int entry, const QString& period);
    /// Back to the report before the last drill-down, on its page and zoom.
    void goBack();
    void buildUsersPanel();
    /// The options both reports share, read from the controls.
    void fillCommonOptions(CommonReportOptions& options) const;
    /// The print job's name: the report, its range and whom it is for.
    QString printJobTitle() const;
    /// Tells the user why the preview was refused and brings the option into focus.
    void showPreviewProblem(const PreviewProblem& problem);
    void arvPreview_LoadCompleted();
    void mnuFilePrint_Click();
    void mnuFileSave_Click();
    /// Shows a saved report document in the viewer, to print or save in another format.
    void mnuFileOpenReport_Click();
    void mnuFileExit_Click();
    void mnuSelectDataPath_Click();
    void mnuResetAnswers_Click();
    /// Asks how long a report waits while the data file is held locked, and keeps the answer.
    void mnuDataFileWait_Click();
    /// Says in the status bar that a report is waiting for the data file.
    void showDataFileWait(const QString& path, int waitedSeconds, int limitSeconds);
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();
    void dtmDateReport_Change();
    void m_err_Abort();

    /// Opens the user manual (or a help file the user installed beside the program).
    void showHelp();
    void showDataSource();
    /// Brings the options page that holds `w` to the front so it can take the focus.
    void revealOption(QWidget* w);
    static int runDialog(QDialog& dialog);

    // Controls, named as the objectName each carries.
    engine::ReportViewer* arvPreview = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblUserName = nullptr;
    QComboBox* cboUserName = nullptr;
    QTabWidget* tabOptions = nullptr;
    DateSelector* dtmDateReport = nullptr;
    QLabel* lblDateChartType = nullptr;
    QComboBox* cboChartType = nullptr;
    QCheckBox* chkDateShowDetails = nullptr;
    QPushButton* cmdPreviewReport = nullptr;
    QStackedWidget* reportPanels = nullptr;
    QWidget* vseDayReport = nullptr;
    QLabel* lblOverDataRange = nullptr;
    QComboBox* cboTotalType = nullptr;
    QLabel* lblonGraph = nullptr;
    QComboBox* cboShowEachDay = nullptr;
    QLabel* lblDayReportDaysToInclude = nullptr;
    /// Monday ... Sunday.
    std::array<QCheckBox*, 7> chkDays{};
    QCheckBox* chkShadeTable = nullptr; ///< Day report: shade the table's cells by their value
    QCheckBox* chkKeyFigures = nullptr; ///< Day report: key figures under the chart
    QWidget* vseTotalsReport = nullptr;
    QWidget* vseUsersReport = nullptr;
    QComboBox* cboGroupBy = nullptr; ///< Users report: a line per user, computer or pair
    QComboBox* cboUsersTimeScale = nullptr;
    std::array<QCheckBox*, 7> chkUsersDays{}; ///< Users report: weekdays, Monday first
    QLabel* Label2 = nullptr;
    QComboBox* cboTimeScale = nullptr;
    QLabel* lblTotalsReportUnits = nullptr;
    QLineEdit* txtTotalsReportUnits = nullptr;
    QComboBox* cboTotalsReportPeriod = nullptr;
    QCheckBox* chkCompare = nullptr;
    QCheckBox* chkFollowFile = nullptr; ///< remake the shown report when the file changes

    QLabel* lblDataSource = nullptr;
    QLabel* lblLoadProgress = nullptr;
    QPushButton* cmdCancelLoad = nullptr;
    QTimer* m_loadTimer = nullptr;
    QAction* mnuFilePrint = nullptr;
    QAction* mnuFileSave = nullptr;
    QAction* mnuFileExit = nullptr;
    QAction* mnuSelectDataPath = nullptr;
    QAction* mnuReportsDay = nullptr;
    QAction* mnuReportsTotals = nullptr;
    QAction* mnuReportsUsers = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpAbout = nullptr;

    std::unique_ptr<HostPropertyStore> m_properties;
    std::shared_ptr<StoreCache> m_cache;
    std::shared_ptr<StoreJob> m_loadJob;
    std::shared_ptr<ActivityPlanner> m_planner;
    QTimer* m_watchTimer = nullptr;
    DataFileStamp m_seenStamp;          ///< the data file as the last look found it
    DataFileStamp m_refusedStamp;       ///< the data file as it was when its rows were refused
    bool m_watchHeld = false;           ///< a read was cancelled: no new one until the file changes
    bool m_refreshAfterPreview = false; ///< the preview asked a changed file by SQL
    QString m_loadPath;
    int m_loadGeneration = 0;
    bool m_listPending = false;
    bool m_previewPending = false;
    /// What the next report reads: the planner of a data file, or SQL on a server.
    std::shared_ptr<ActivitySource> m_source;
    std::unique_ptr<repDay> m_repDay;
    std::unique_ptr<repTotals> m_repTotals;
    std::unique_ptr<repUsers> m_repUsers;
    QPointer<ErrorReporter> m_err;
    QPointer<frmAbout> m_about;
    QString m_UserName;
    QString m_ComputerName;
    QString m_openedDocument; ///< the report document shown, when the viewer shows one
    bool m_keepShownEntry = false;
    std::vector<ShownReport> m_backStack;
    QAction* mnuViewBack = nullptr;
    bool m_sizedOnShow = false;
    bool m_fittedOnShow = false; ///< the next list read keeps the chosen entry and the report
    bool m_unloaded = false;
};

} // namespace tallyrow
