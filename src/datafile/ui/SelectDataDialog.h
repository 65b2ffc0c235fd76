#pragma once

#include "support/Session.h"

#include "datafile/MemoryPropertyStore.h"

#include <QDialog>
#include <QPixmap>
#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tallyrow {

class BrowseButton;
class StepRunner;

/// The modal dialog that points the session at another data file, or creates a new, empty one
/// from the template beside the program. It never changes the stored default location.
///
/// Child objects by objectName: lblExplanation, lblDetails, imgLogo, brsDataPath (BrowseButton),
/// chkUseFromNowOn, lblNewData, cmdNew, lblNote, cmdCancel, cmdApply, cmdOK. With chkUseFromNowOn
/// ticked, a file taken is also stored as the user's default ("DatabasePath"). OK closes with
/// Accepted once a file was taken; Cancel closes with Rejected and cancelled() true; closing the
/// window frame rejects and leaves cancelled() false.
class SelectDataDialog : public QDialog {
    Q_OBJECT
public:
    explicit SelectDataDialog(Session& session, QWidget* parent = nullptr);
    ~SelectDataDialog() override;

    /// Takes the file in the path field as the session's data file when it opens as a data
    /// file, and says so to the user when it does not. True when the file was taken.
    bool applyChanges();
    /// True once Cancel (or Escape) closed the dialog: the user gave up choosing a file.
    bool cancelled() const { return m_cancelled; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void load();
    void onPathChanged();
    void onOkClicked();
    void onApplyClicked();
    void onCancelClicked();
    void onNewClicked();
    bool newTargetAgreed(StepRunner& run, QString& target);
    bool folderReady(StepRunner& run, const QString& target);
    void buildLayout();

    QLabel* m_explanationLabel;
    QLabel* m_detailsLabel;
    QLabel* m_logo;
    BrowseButton* m_pathField;
    QCheckBox* m_useFromNowOnBox;
    QLabel* m_newDataLabel;
    QPushButton* m_newButton;
    QLabel* m_noteLabel;
    QPushButton* m_cancelButton;
    QPushButton* m_applyButton;
    QPushButton* m_okButton;
    bool m_cancelled = false;
    /// What this window keeps for its browse control: the data file filters and the title.
    MemoryPropertyStore m_properties;
    Session& m_session;
};

/// The dialog's logo, drawn rather than loaded so the program carries no image files.
QPixmap tallyrowLogo(const QSize& size);

} // namespace tallyrow
