#pragma once

#include "output/SaveShownReport.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;

namespace tallyrow {

class BrowseButton;
namespace engine {
class Report;
struct PageCollection;
} // namespace engine

/// The Save dialog of the shown report: proposes a folder and a name, lets the user pick the
/// format and the path, asks before overwriting, writes the file and says whether it worked.
class frmSaveAs : public QDialog {
    Q_OBJECT
public:
    /// `report` is the report shown in the main window (may be null: nothing can be saved).
    explicit frmSaveAs(const engine::Report* report, QWidget* parent = nullptr);
    ~frmSaveAs() override;

    /// Saves these pages (a report document opened from a file) when there is no report.
    void setPages(const engine::PageCollection* pages) { m_pages = pages; }

    /// Base name of the file, without folder or extension; "report" when left empty.
    QString ReportName;

    /// Fills the dialog from ReportName and the remembered folder. Runs by itself before the
    /// dialog is first shown; callers that never show it (tests) call it themselves.
    void Form_Load();

    /// The save action behind OK. False when the user declined to overwrite an existing file:
    /// the dialog then stays open for another name; true once the save is over either way.
    bool SaveCurrentReport();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void cboSaveAs_Click();
    void OKButton_Click();
    void CancelButton_Click();
    QString proposedPath() const;
    ReportFormat chosenFormat() const;

    QLabel* Label1 = nullptr;
    BrowseButton* BrowseButton1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cboSaveAs = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* OKButton = nullptr;

    const engine::Report* m_report;
    const engine::PageCollection* m_pages = nullptr;
    QString ReportFolder;    ///< always ends in "/"
    QString ReportExtension; ///< with its dot
    bool m_loaded = false;
};

} // namespace tallyrow
