#pragma once

#include "datafile/HostPropertyStore.h"

#include <QDialog>
#include <QPixmap>
#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tallyrow {

class BrowseButton;
class StepRunner;

/// Set by the data file dialog's Cancel button and never cleared by it; whoever opens the
/// dialog clears it first and, when it comes back set, knows the user gave up choosing.
extern bool SelectDataCancelled;

/// The modal dialog that points the session at another data file, or creates a new, empty one
/// from the template beside the program. It never changes the stored default location.
///
/// Child objects by objectName: lblExplanation, lblDetails, imgLogo, brsDataPath (BrowseButton),
/// chkUseFromNowOn, lblNewData, cmdNew, lblNote, cmdCancel, cmdApply, cmdOK. With
/// chkUseFromNowOn ticked, a file taken is also stored as the user's default ("DatabasePath"). OK closes with
/// Accepted once a file was taken; Cancel closes with Rejected after setting SelectDataCancelled; closing the
/// window frame rejects without touching the flag.
class frmSelectData : public QDialog {
    Q_OBJECT
public:
    explicit frmSelectData(QWidget* parent = nullptr);
    ~frmSelectData() override;

    /// Takes the file in the path field as the session's data file when it opens as a data
    /// file, and says so to the user when it does not. True when the file was taken.
    bool ApplyChanges();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void brsDataPath_Change();
    void cmdOK_Click();
    void cmdApply_Click();
    void cmdCancel_Click();
    void cmdNew_Click();
    bool folderReady(StepRunner& run, const QString& target);
    void buildLayout();

    QLabel* lblExplanation;
    QLabel* lblDetails;
    QLabel* imgLogo;
    BrowseButton* brsDataPath;
    QCheckBox* chkUseFromNowOn;
    QLabel* lblNewData;
    QPushButton* cmdNew;
    QLabel* lblNote;
    QPushButton* cmdCancel;
    QPushButton* cmdApply;
    QPushButton* cmdOK;
    /// What this window keeps for its browse control: the data file filters and the title.
    MemoryPropertyStore m_properties;
};

/// The dialog's logo, drawn rather than loaded so the program carries no image files.
QPixmap tallyrowLogo(const QSize& size);

} // namespace tallyrow
