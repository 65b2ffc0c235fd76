#pragma once

#include "output/SaveShownReport.h"
#include "support/Session.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;

namespace tallyrow {

class BrowseButton;
class StepRunner;
namespace engine {
class Report;
struct PageCollection;
} // namespace engine

/// The Save dialog of the shown report: proposes a folder and a name, lets the user pick the
/// format and the path, asks before overwriting, writes the file and says whether it worked.
class SaveAsDialog : public QDialog {
    Q_OBJECT
public:
    /// `report` is the report shown in the main window (may be null: nothing can be saved). The
    /// session's data file is never written over, nor the files beside it.
    SaveAsDialog(Session& session, const engine::Report* report, QWidget* parent = nullptr);
    ~SaveAsDialog() override;

    /// Saves these pages (a report document opened from a file) when there is no report.
    void setPages(const engine::PageCollection* pages) { m_pages = pages; }

    /// Base name of the file, without folder or extension; "report" when left empty.
    QString reportName;

    /// Fills the dialog from reportName and the remembered folder. Runs by itself before the
    /// dialog is first shown; callers that never show it (tests) call it themselves.
    void load();

    /// The save action behind OK. False when the user declined to overwrite an existing file:
    /// the dialog then stays open for another name; true once the save is over either way.
    bool saveCurrentReport();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onFormatChosen();
    void onOkClicked();
    void onCancelClicked();
    /// Says the report was saved (a box the user may turn off) and remembers its folder.
    void confirmSaved(StepRunner& run, const QString& path);
    QString proposedPath() const;
    ReportFormat chosenFormat() const;

    QLabel* m_folderLabel = nullptr;
    BrowseButton* m_pathField = nullptr;
    QLabel* m_timeScaleLabel = nullptr;
    QComboBox* m_formatBox = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_okButton = nullptr;

    const engine::Report* m_report;
    const engine::PageCollection* m_pages = nullptr;
    QString m_reportFolder;    ///< always ends in "/"
    QString m_reportExtension; ///< with its dot
    bool m_loaded = false;
    Session& m_session;
};

} // namespace tallyrow
