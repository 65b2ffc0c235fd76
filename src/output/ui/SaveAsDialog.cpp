#include "output/ui/SaveAsDialog.h"

#include "datafile/DataSource.h"

#include "datafile/ui/BrowseButton.h"
#include "support/ui/AccessibleNames.h"
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

SaveAsDialog::SaveAsDialog(Session& session, const engine::Report* report, QWidget* parent)
    : QDialog(parent), m_report(report), m_session(session) {
    setObjectName(u"frmSaveAs"_s);
    setModal(true);

    m_folderLabel = new QLabel(u"Save to the following location"_s, this);
    m_folderLabel->setObjectName(u"Label1"_s);
    m_pathField = new BrowseButton(this);
    m_pathField->setObjectName(u"BrowseButton1"_s);
    m_timeScaleLabel = new QLabel(u"Save as"_s, this);
    m_timeScaleLabel->setObjectName(u"Label2"_s);
    m_formatBox = new QComboBox(this);
    m_formatBox->setObjectName(u"cboSaveAs"_s);
    m_formatBox->setEditable(false);
    m_timeScaleLabel->setBuddy(m_formatBox);
    m_cancelButton = new QPushButton(u"Cancel"_s, this);
    m_cancelButton->setObjectName(u"CancelButton"_s);
    m_okButton = new QPushButton(u"OK"_s, this);
    m_okButton->setObjectName(u"OKButton"_s);
    m_okButton->setDefault(true);

    // Three rows as in the classic dialog: caption, path with browse button, format and buttons.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 10, 8, 8);
    grid->setVerticalSpacing(8);
    grid->addWidget(m_folderLabel, 0, 0, 1, 4);
    grid->addWidget(m_pathField, 1, 0, 1, 4);
    grid->addWidget(m_timeScaleLabel, 2, 0);
    grid->addWidget(m_formatBox, 2, 1);
    grid->addWidget(m_cancelButton, 2, 2);
    grid->addWidget(m_okButton, 2, 3);
    grid->setColumnStretch(1, 1);
    m_formatBox->setMinimumWidth(205);
    m_cancelButton->setMinimumWidth(65);
    m_okButton->setMinimumWidth(65);
    setMinimumWidth(436);

    connect(m_formatBox, &QComboBox::currentIndexChanged, this, [this] {
        if (m_loaded)
            onFormatChosen();
    });
    connect(m_okButton, &QPushButton::clicked, this, [this] { onOkClicked(); });
    // The path field is named by the label above it, and Return in it saves, as OK does.
    if (auto* path = m_pathField->findChild<QLineEdit*>(u"txtPath"_s)) {
        m_folderLabel->setBuddy(path);
        connect(path, &QLineEdit::returnPressed, m_okButton, &QPushButton::click);
    }
    nameFieldsByTheirLabels(this);
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { onCancelClicked(); });
}

SaveAsDialog::~SaveAsDialog() = default;

void SaveAsDialog::showEvent(QShowEvent* event) {
    if (!m_loaded)
        load();
    QDialog::showEvent(event);
}

ReportFormat SaveAsDialog::chosenFormat() const {
    return static_cast<ReportFormat>(m_formatBox->currentData().toInt());
}

QString SaveAsDialog::proposedPath() const {
    return m_reportFolder + reportName + m_reportExtension;
}

void SaveAsDialog::load() {
    m_loaded = true;
    StepRunner run(askThrough(m_session.errorReporter.get()), u"opening the save dialog"_s);
    run.step([this] {
        m_reportFolder = readSetting(u"LastReportFolder"_s, QString(), QString(), true, kSettingsHive);
    });
    // The folder last saved to while it is still there (a removed disk is no proposal), else the
    // documents folder, else home. Never the program's own folder, which users cannot write to.
    run.step([this] {
        if (!m_reportFolder.isEmpty() && !folderExists(m_reportFolder))
            m_reportFolder.clear();
    });
    run.step([this] {
        if (m_reportFolder.isEmpty()) {
            m_reportFolder = specialFolder(SpecialFolder::Personal, false);
            if (!m_reportFolder.isEmpty() && !folderExists(m_reportFolder))
                m_reportFolder.clear();
        }
    });
    run.step([this] {
        if (m_reportFolder.isEmpty())
            m_reportFolder = QDir::homePath();
    });
    run.step([this] {
        if (!m_reportFolder.endsWith(u'/'))
            m_reportFolder += u'/';
    });
    run.step([this] {
        if (reportName.isEmpty())
            reportName = u"report"_s;
    });
    run.step([this] {
        const QSignalBlocker quiet(m_formatBox);
        m_formatBox->clear();
        for (const ReportFormatInfo& format : reportFormats())
            m_formatBox->addItem(QString(format.listEntry), static_cast<int>(format.format));
        m_formatBox->setCurrentIndex(0);
    });
    run.step([this] { onFormatChosen(); });
    run.step([this] { m_pathField->setPath(proposedPath()); });
}

void SaveAsDialog::onFormatChosen() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"choosing the format"_s);
    run.step([this] {
        const ReportFormatInfo& format = reportFormatInfo(chosenFormat());
        m_reportExtension = QString(format.extension);
        m_pathField->setFilter(QString(format.filter));
    });
    run.step([this] { m_pathField->setDialogTitle(u"Save "_s + reportName + u" as..."_s); });
    run.step([this] { m_pathField->setPath(proposedPath()); });
    run.step([this] { setWindowTitle(u"Save "_s + reportName); });
}

void SaveAsDialog::onOkClicked() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"saving the report"_s);
    bool done = true;
    run.step([&] { done = saveCurrentReport(); });
    if (done)
        accept();
}

void SaveAsDialog::onCancelClicked() {
    reject();
}

bool SaveAsDialog::saveCurrentReport() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"saving the report"_s);
    QString path;
    int answer = MsgAnswer::Yes;
    bool saved = false;
    QString failure;
    if (!run.step([&] { path = m_pathField->Path(); }))
        return true;
    // The data file and the files its writer keeps beside it are never written over.
    if (const auto part = DataSource(m_session.dataPath).partAt(path)) {
        run.step([&] {
            tellUser(m_session,
                     u"Sorry, I couldn't save the report: "_s + path + u"\r\n"_s +
                         u"It is %1; choose another name."_s.arg(*part),
                     MsgFlag::OKOnly | MsgFlag::Critical, u"Report not saved"_s);
        });
        return false;
    }
    const bool asked = run.step([&] {
        if (!fileExists(path))
            return;
        MessageBoxEx& box = sharedMessageBox(m_session);
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
        saved = !m_report && m_pages ? saveReport(*m_pages, path, chosenFormat(), &failure)
                                     : saveShownReport(m_report, path, chosenFormat(), &failure);
    });
    if (run.left())
        return true;
    if (saved) {
        confirmSaved(run, path);
    } else {
        run.step([&] {
            tellUser(m_session,
                     u"Sorry, I couldn't save the report: "_s + path + u"\r\n"_s +
                         saveFailureReason(path, failure),
                     MsgFlag::OKOnly | MsgFlag::Critical | MsgFlag::SystemModal, u"Report not saved"_s);
        });
    }
    // A report that could not be written keeps the dialog open for another name or folder.
    return saved;
}

void SaveAsDialog::confirmSaved(StepRunner& run, const QString& path) {
    run.step([&] {
        MessageBoxEx& box = sharedMessageBox(m_session);
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
        writeSetting(u"LastReportFolder"_s, folder, QString(), true, kSettingsHive);
    });
}

} // namespace tallyrow
