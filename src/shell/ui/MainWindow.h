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
class QPushButton;

namespace tallyrow {

class FileChooser;
class ReportOptionsPanel;
struct ReportDescriptor;
struct ReportSettings;
struct DrillTarget;

class DateSelector;
class ErrorReporter;
class HostPropertyStore;
class ActivitySource;
struct UserListLoad;
class DataFileController;
class DataFilePrompts;
class OptionTabs;
class DataFileStatus;
class UserListBox;
struct DataFileRead;
struct PreviewProblem;
class ReportViewerHost;

/// The program's main window: the report options of both reports, the user-and-computer list,
/// the date range, the viewer that shows the report, and the menus. It lays out its parts and
/// carries a Preview from the options to the viewer host; the parts do the rest.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Session& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// The load handler: makes sure a usable data file is in place (asking the user to pick
    /// one, or to agree to close), then applies the start-up defaults and fills the user list.
    /// Returns false when the window closed itself because the user agreed to close.
    bool load();

    /// Shows the saved report document at `path` in the viewer, to print or save in another
    /// format; a document that cannot be read is refused in a message box. True when shown.
    bool openReportDocument(const QString& path);

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
    void buildControls();
    /// Makes the options scroll where needed and sizes the window to the screen it is on.
    void fitToScreen();
    void orderTabStops();
    void buildShortcuts();
    void buildViewerHost();
    void buildStatusBar();
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

    /// Takes up the end of a read of the data file: the list, a waiting Preview, a followed report.
    void onDataFileRead(const DataFileRead& read);
    /// Fills the user list from a read that succeeded.
    void applyReadList(const DataFileRead& read);
    /// With "Refresh automatically": the shown report made again from the data just read, on
    /// the same page and zoom, the focus left where it is.
    void followFile();
    /// Whether the preview can run now with the data file as it is; if not, a read is under way
    /// and the preview runs when it ends.
    bool previewDataReady();

    void onPreviewClicked();
    /// Takes a typed entry of the user list that names one exactly; says so and returns false for
    /// a search that matches none.
    bool resolveTypedEntry();
    /// Makes the report the options are set up for and shows it.
    void previewReport();
    /// What the window showed before a drill-down, to go back to.
    struct ShownReport {
        const ReportDescriptor* report = nullptr;
        DateRange range;
        int userEntry = 0;
        std::vector<QVariant> panelStates; ///< each option panel's state, in catalogue order
    };
    ShownReport shownReport() const;
    /// The range the date selector shows, and showing one there (the weekdays follow it).
    DateRange chosenRange() const;
    void showRange(const DateRange& range);
    /// Shows `report` over the target's range for the list entry `entry`, by its period when one is given.
    void drillTo(const ReportDescriptor& report, const DrillTarget& target, int entry);
    /// Sets the options up as `shown` had them and makes the report again.
    void reshow(const ShownReport& shown);
    /// The settings every report shares, read from the controls.
    ReportSettings commonSettings() const;
    /// The print job's name: the report, its range and whom it is for.
    QString printJobTitle() const;
    /// Tells the user why the preview was refused and brings the option into focus.
    void showPreviewProblem(const PreviewProblem& problem);
    void onExit();
    void onChangeDataFile();
    void onDatesChanged();
    void onAbortChosen();

    void showDataSource();
    static int runDialog(QDialog& dialog);

    // Controls, named by what they do; each carries the objectName the tests and screen readers know it by.
    /// The viewer and the report it shows.
    ReportViewerHost* m_host = nullptr;
    QLabel* m_titleLabel = nullptr;
    UserListBox* m_users = nullptr;
    QComboBox* m_userList = nullptr; ///< the users' list itself
    OptionTabs* m_optionTabs = nullptr;
    DateSelector* m_dateSelector = nullptr;
    QComboBox* m_chartTypeBox = nullptr;
    QCheckBox* m_showDetailsBox = nullptr;
    QPushButton* m_previewButton = nullptr;
    /// One options panel and one Reports menu item per report of the catalogue, in its order.
    std::vector<ReportOptionsPanel*> m_panels;
    std::vector<QAction*> m_reportActions;
    QCheckBox* m_followFileBox = nullptr; ///< remake the shown report when the file changes

    /// The data file's name, the progress of its read and the wait for it, on the status bar.
    DataFileStatus* m_fileStatus = nullptr;
    /// The data file dialog and the messages about a file that does not open or read.
    std::unique_ptr<DataFilePrompts> m_prompts;

    std::unique_ptr<HostPropertyStore> m_properties;
    /// The data file: what reports read, its reads and the look whether it changed.
    DataFileController* m_files = nullptr;
    /// The report the options are set up for.
    const ReportDescriptor* m_report = nullptr;
    QPointer<ErrorReporter> m_err;
    QString m_userFilter;
    QString m_computerFilter;
    bool m_keepShownEntry = false;
    bool m_sizedOnShow = false;
    bool m_fittedOnShow = false; ///< the next list read keeps the chosen entry and the report
    bool m_unloaded = false;
    Session& m_session; ///< the data file and help file of this run
};

} // namespace tallyrow
