#include "output/ui/frmSaveAs.h"

#include "datafile/DataPath.h"

#include "datafile/ui/BrowseButton.h"
#include "engine/Report.h"
#include "output/SaveReport.h"
#include "output/SaveShownReport.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/FileUtils.h"
#include "support/Registry.h"
#include "support/Services.h"
#include "support/StepRunner.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

using namespace Qt::StringLiterals;

namespace tallyrow {

frmSaveAs::frmSaveAs(const engine::Report* report, QWidget* parent) : QDialog(parent), m_report(report) {
    setObjectName(u"frmSaveAs"_s);
    setModal(true);

    Label1 = new QLabel(u"Save to the following location"_s, this);
    Label1->setObjectName(u"Label1"_s);
    BrowseButton1 = new BrowseButton(this);
    BrowseButton1->setObjectName(u"BrowseButton1"_s);
    Label2 = new QLabel(u"Save as"_s, this);
    Label2->setObjectName(u"Label2"_s);
    cboSaveAs = new QComboBox(this);
    cboSaveAs->setObjectName(u"cboSaveAs"_s);
    cboSaveAs->setEditable(false);
    Label2->setBuddy(cboSaveAs);
    CancelButton = new QPushButton(u"Cancel"_s, this);
    CancelButton->setObjectName(u"CancelButton"_s);
    OKButton = new QPushButton(u"OK"_s, this);
    OKButton->setObjectName(u"OKButton"_s);
    OKButton->setDefault(true);

    // Three rows as in the classic dialog: caption, path with browse button, format and buttons.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 10, 8, 8);
    grid->setVerticalSpacing(8);
    grid->addWidget(Label1, 0, 0, 1, 4);
    grid->addWidget(BrowseButton1, 1, 0, 1, 4);
    grid->addWidget(Label2, 2, 0);
    grid->addWidget(cboSaveAs, 2, 1);
    grid->addWidget(CancelButton, 2, 2);
    grid->addWidget(OKButton, 2, 3);
    grid->setColumnStretch(1, 1);
    cboSaveAs->setMinimumWidth(205);
    CancelButton->setMinimumWidth(65);
    OKButton->setMinimumWidth(65);
    setMinimumWidth(436);

    connect(cboSaveAs, &QComboBox::currentIndexChanged, this, [this] {
        if (m_loaded)
            cboSaveAs_Click();
    });
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButton_Click(); });
    // The path field is named by the label above it, and Return in it saves, as OK does.
    if (auto* path = BrowseButton1->findChild<QLineEdit*>(u"txtPath"_s)) {
        Label1->setBuddy(path);
        connect(path, &QLineEdit::returnPressed, OKButton, &QPushButton::click);
    }
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButton_Click(); });
}

frmSaveAs::~frmSaveAs() = default;

void frmSaveAs::showEvent(QShowEvent* event) {
    if (!m_loaded)
        Form_Load();
    QDialog::showEvent(event);
}

ReportFormat frmSaveAs::chosenFormat() const {
    return static_cast<ReportFormat>(cboSaveAs->currentData().toInt());
}

QString frmSaveAs::proposedPath() const {
    return ReportFolder + ReportName + ReportExtension;
}

void frmSaveAs::Form_Load() {
    m_loaded = true;
    StepRunner run(gErrorReporter.get(), u"&"_s);
    run.step([this] {
        ReportFolder = GetRegSetting(u"LastReportFolder"_s, QString(), QString(), true, SettingsHive);
    });
    // The folder last saved to while it is still there (a removed disk is no proposal), else the
    // documents folder, else home. Never the program's own folder, which users cannot write to.
    run.step([this] {
        if (!ReportFolder.isEmpty() && !FolderExists(ReportFolder))
            ReportFolder.clear();
    });
    run.step([this] {
        if (ReportFolder.isEmpty()) {
            ReportFolder = GetSpecialFolder(SpecialFolder::Personal, false);
            if (!ReportFolder.isEmpty() && !FolderExists(ReportFolder))
                ReportFolder.clear();
        }
    });
    run.step([this] {
        if (ReportFolder.isEmpty())
            ReportFolder = QDir::homePath();
    });
    run.step([this] {
        if (!ReportFolder.endsWith(u'/'))
            ReportFolder += u'/';
    });
    run.step([this] {
        if (ReportName.isEmpty())
            ReportName = u"report"_s;
    });
    run.step([this] {
        const QSignalBlocker quiet(cboSaveAs);
        cboSaveAs->clear();
        for (const ReportFormatInfo& format : reportFormats())
            cboSaveAs->addItem(QString(format.listEntry), static_cast<int>(format.format));
        cboSaveAs->setCurrentIndex(0);
    });
    run.step([this] { cboSaveAs_Click(); });
    run.step([this] { BrowseButton1->setPath(proposedPath()); });
}

void frmSaveAs::cboSaveAs_Click() {
    StepRunner run(gErrorReporter.get(), u"&"_s);
    run.step([this] {
        const ReportFormatInfo& format = reportFormatInfo(chosenFormat());
        ReportExtension = QString(format.extension);
        BrowseButton1->setFilter(QString(format.filter));
    });
    run.step([this] { BrowseButton1->setDialogTitle(u"Save "_s + ReportName + u" as..."_s); });
    run.step([this] { BrowseButton1->setPath(proposedPath()); });
    run.step([this] { setWindowTitle(u"Save "_s + ReportName); });
}

void frmSaveAs::OKButton_Click() {
    StepRunner run(gErrorReporter.get(), u"&"_s);
    bool done = true;
    run.step([&] { done = SaveCurrentReport(); });
    if (done)
        accept();
}

void frmSaveAs::CancelButton_Click() {
    reject();
}

bool frmSaveAs::SaveCurrentReport() {
    StepRunner run(gErrorReporter.get(), u"SaveCurrentReport&"_s);
    QString path;
    int answer = MsgAnswer::Yes;
    bool saved = false;
    QString failure;
    if (!run.step([&] { path = BrowseButton1->Path(); }))
        return true;
    // The data file and the files its writer keeps beside it are never written over.
    if (const auto part = dataFilePartAt(path, SessionDataPath)) {
        run.step([&] {
            Message(u"Sorry, I couldn't save the report: "_s + path + u"\r\n"_s +
                        u"It is %1; choose another name."_s.arg(*part),
                    MsgFlag::OKOnly | MsgFlag::Critical, u"Report not saved"_s);
        });
        return false;
    }
    const bool asked = run.step([&] {
        if (!DoesFileExist(path))
            return;
        MessageBoxEx& box = sharedMessageBox();
        box.setShowCheckBox(true);
        box.setCheckBoxCaption(u"Always overwrite without asking"_s);
        box.setCheckedAnswer(MsgAnswer::Yes);
        answer = box.Show(u"The file '"_s + path + u"' already exists. Do you want to overwrite it?"_s,
                          MsgFlag::YesNo | MsgFlag::Question, u"File exists"_s, QString(), -1,
                          u"Always overwrite report"_s, this);
    });
    // No to overwriting: the user picks another name in the dialog, which stays open. A question
    // that could not be asked is no Yes either.
    if (run.left())
        return true;
    if (!asked || answer != MsgAnswer::Yes)
        return false;
    run.step([&] {
        saved = !m_report && m_pages ? SaveReport(*m_pages, path, chosenFormat(), &failure)
                                     : SaveShownReport(m_report, path, chosenFormat(), &failure);
    });
    if (run.left())
        return true;
    if (saved) {
        run.step([&] {
            MessageBoxEx& box = sharedMessageBox();
            box.setShowCheckBox(true);
            box.setCheckBoxCaption(u"Don't show this message again"_s);
            box.Show(u"Report saved as: "_s + path,
                     MsgFlag::OKOnly | MsgFlag::Information | MsgFlag::SetForeground, u"Report saved"_s,
                     QString(), -1, u"Report saved confirmation"_s, this);
        });
        // The folder the user actually saved to is the one to offer next time.
        run.step([&] {
            QString folder = QFileInfo(path).absolutePath();
            if (!folder.endsWith(u'/'))
                folder += u'/';
            SetRegSetting(u"LastReportFolder"_s, folder, QString(), true, SettingsHive);
        });
    } else {
        run.step([&] {
            Message(u"Sorry, I couldn't save the report: "_s + path + u"\r\n"_s +
                        saveFailureReason(path, failure),
                    MsgFlag::OKOnly | MsgFlag::Critical | MsgFlag::SystemModal, u"Report not saved"_s);
        });
    }
    return true;
}

} // namespace tallyrow
