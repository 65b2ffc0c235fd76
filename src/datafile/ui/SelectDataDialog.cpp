#include "datafile/ui/SelectDataDialog.h"

#include "datafile/DataPath.h"
#include "datafile/DataSource.h"
#include "datafile/PostgresUri.h"
#include "datafile/ui/BrowseButton.h"
#include "support/ui/AccessibleNames.h"
#include "datafile/TemplateCopy.h"
#include "support/CommandLine.h"
#include "support/ErrorReporter.h"
#include "support/FileUtils.h"
#include "support/MessageBoxEx.h"
#include "support/Services.h"
#include "support/StepRunner.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

const QString kNoTitle = u"~NoTitle~"_s;
const QString kTemplateName = u"/empty.yrt"_s;
const QString kDataFilter = u"All Files (*.*)|*.*|Tallyrow Data Files(*.yrd)|*.yrd|All Data "
                            u"Files(*.yrd;*.mdb;*.accdb)|*.yrd;*.mdb;*.accdb|"_s;
const QString kDialogTitle = u"Tallyrow data file"_s;

// Design sizes in twips (1/1440 inch).
constexpr int kDialogWidth = 6480;
constexpr int kButtonWidth = 1215;
constexpr int kLogoWidth = 1170;
constexpr int kLogoHeight = 1260;

int twips(const QWidget* w, int value) {
    return qRound(value * w->logicalDpiX() / 1440.0);
}

// Whether the text in the path field names something the dialog can offer to open. Only files
// count. The file search answers a folder name ending in "/" with the folder's first file, so a
// folder is ruled out by name as well. A server URI counts too: whether the server answers is
// found out by connecting, when the choice is applied.
bool namesExistingSource(const QString& path) {
    const DataSource source(path);
    if (source.filePath().isEmpty())
        return !source.isEmpty();
    return fileExists(path) && !QFileInfo(withoutNulsTrimmed(path)).isDir();
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setMinimumWidth(twips(parent, kButtonWidth));
    return button;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    return label;
}

} // namespace

QPixmap tallyrowLogo(const QSize& size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // A data drum (a cylinder seen slightly from above) carrying a group of five tally marks.
    const qreal w = size.width();
    const qreal h = size.height();
    const QRectF body(w * 0.1, h * 0.12, w * 0.8, h * 0.76);
    const qreal lid = body.height() * 0.2;

    QPainterPath drum;
    drum.moveTo(body.left(), body.top() + lid / 2);
    drum.lineTo(body.left(), body.bottom() - lid / 2);
    drum.arcTo(QRectF(body.left(), body.bottom() - lid, body.width(), lid), 180, 180);
    drum.lineTo(body.right(), body.top() + lid / 2);
    drum.arcTo(QRectF(body.left(), body.top(), body.width(), lid), 0, -180);
    QLinearGradient side(body.topLeft(), body.topRight());
    side.setColorAt(0, QColor(0x1f, 0x5f, 0x9f));
    side.setColorAt(0.45, QColor(0x4f, 0x94, 0xd4));
    side.setColorAt(1, QColor(0x17, 0x47, 0x7a));
    p.setPen(QPen(QColor(0x10, 0x33, 0x58), 1.2));
    p.setBrush(side);
    p.drawPath(drum);
    p.setBrush(QColor(0x8c, 0xbd, 0xea));
    p.drawEllipse(QRectF(body.left(), body.top(), body.width(), lid));

    p.setPen(QPen(Qt::white, qMax(1.5, w * 0.045), Qt::SolidLine, Qt::RoundCap));
    const qreal top = body.top() + lid * 1.3;
    const qreal bottom = body.bottom() - lid * 0.9;
    const qreal step = body.width() / 6;
    for (int i = 1; i <= 4; ++i)
        p.drawLine(QPointF(body.left() + step * i, top), QPointF(body.left() + step * i, bottom));
    p.drawLine(QPointF(body.left() + step * 0.6, bottom - (bottom - top) * 0.15),
               QPointF(body.left() + step * 5.4, top + (bottom - top) * 0.15));
    return pixmap;
}

SelectDataDialog::SelectDataDialog(Session& session, QWidget* parent)
    : QDialog(parent), m_properties{{u"FilterIndex"_s, 2},
                                    {u"Filter"_s, kDataFilter},
                                    {u"DialogTitle"_s, kDialogTitle}},
      m_session(session) {
    setObjectName(u"frmSelectData"_s);
    setWindowTitle(u"Tallyrow data file"_s);
    setModal(true);

    m_explanationLabel =
        makeLabel(this, u"lblExplanation"_s,
                  u"Please provide the location of the file that contains your Tallyrow data"_s);
    QFont bold = m_explanationLabel->font();
    bold.setBold(true);
    m_explanationLabel->setFont(bold);
    m_detailsLabel = makeLabel(this, u"lblDetails"_s, {});
    m_detailsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_logo = new QLabel(this);
    m_logo->setObjectName(u"imgLogo"_s);
    m_logo->setPixmap(tallyrowLogo(QSize(twips(this, kLogoWidth), twips(this, kLogoHeight))));
    m_logo->setAlignment(Qt::AlignCenter);
    m_pathField = new BrowseButton(this);
    m_pathField->setObjectName(u"brsDataPath"_s);
    m_pathField->ReadProperties(m_properties);
    if (auto* path = m_pathField->findChild<QLineEdit*>(u"txtPath"_s))
        m_explanationLabel->setBuddy(path); // names the field for a screen reader
    m_newDataLabel =
        makeLabel(this, u"lblNewData"_s,
                  u"To create a new file, enter the full path and file name in the box above and click the "
                  u"'New' button"_s);
    m_newButton = makeButton(this, u"cmdNew"_s, u"New"_s);
    m_useFromNowOnBox = new QCheckBox(u"Use this file from now on"_s, this);
    m_useFromNowOnBox->setObjectName(u"chkUseFromNowOn"_s);
    m_useFromNowOnBox->setToolTip(u"Also open this file at the next start of the program"_s);
    m_noteLabel =
        makeLabel(this, u"lblNote"_s,
                  u"NOTE: You must have sufficient system privileges to open or create a data file"_s);
    m_cancelButton = makeButton(this, u"cmdCancel"_s, u"Cancel"_s);
    m_applyButton = makeButton(this, u"cmdApply"_s, u"Apply"_s);
    m_okButton = makeButton(this, u"cmdOK"_s, u"OK"_s);
    m_okButton->setDefault(true);

    buildLayout();

    setTabOrder(m_okButton, m_cancelButton);
    setTabOrder(m_cancelButton, m_applyButton);
    setTabOrder(m_applyButton, m_newButton);
    setTabOrder(m_newButton, m_pathField);
    setTabOrder(m_pathField, m_useFromNowOnBox);

    connect(m_pathField, &BrowseButton::Change, this, &SelectDataDialog::onPathChanged);
    connect(m_okButton, &QPushButton::clicked, this, &SelectDataDialog::onOkClicked);
    connect(m_applyButton, &QPushButton::clicked, this, &SelectDataDialog::onApplyClicked);
    connect(m_cancelButton, &QPushButton::clicked, this, &SelectDataDialog::onCancelClicked);
    connect(m_newButton, &QPushButton::clicked, this, &SelectDataDialog::onNewClicked);

    load();
    nameFieldsByTheirLabels(this);

    // The window opens with the focus on the first control of the focus order that can take it
    // (OK, or the path while there is no file to take), not on whichever child was created first.
    const QList<QWidget*> focusOrder{m_okButton, m_pathField, m_cancelButton, m_applyButton, m_newButton};
    for (QWidget* w : focusOrder) {
        if (w->isEnabled()) {
            w->setFocus();
            break;
        }
    }
}

SelectDataDialog::~SelectDataDialog() = default;

void SelectDataDialog::keyPressEvent(QKeyEvent* event) {
    // Escape is the keyboard's Cancel: at start-up it asks whether to close the program rather
    // than bring the same dialog back.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        onCancelClicked();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SelectDataDialog::buildLayout() {
    auto* top = new QHBoxLayout;
    top->addWidget(m_detailsLabel, 1);
    top->addWidget(m_logo, 0, Qt::AlignTop);

    auto* newRow = new QHBoxLayout;
    newRow->addWidget(m_newButton, 0, Qt::AlignTop);
    newRow->addSpacing(twips(this, 135));
    newRow->addWidget(m_newDataLabel, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_cancelButton);
    buttons->addStretch(1);
    buttons->addWidget(m_applyButton);
    buttons->addSpacing(twips(this, 195));
    buttons->addWidget(m_okButton);

    auto* main = new QVBoxLayout(this);
    main->addWidget(m_explanationLabel);
    main->addLayout(top);
    main->addSpacing(twips(this, 90));
    main->addWidget(m_pathField);
    main->addWidget(m_useFromNowOnBox);
    main->addLayout(newRow);
    main->addSpacing(twips(this, 150));
    main->addWidget(m_noteLabel);
    main->addSpacing(twips(this, 75));
    main->addLayout(buttons);

    setMinimumWidth(twips(this, kDialogWidth));
}

void SelectDataDialog::load() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"opening the data file dialog"_s);
    // Setting the path runs the change handler, which enables OK and Apply for an existing file.
    run.step([&] { m_pathField->setPath(dataPathOf(m_session, kDefaultDataFileName)); });
    run.step([&] {
        m_detailsLabel->setText(
            u"To choose an existing data file, please type the full path to the file here, or "
            u"click on the 'Browse' button to locate the file."_s +
            u"\n\n"_s +
            u"OK changes the file for this session. Tick 'Use this file from now on' to open it "
            u"at the next start as well."_s);
    });
    // A file named on the command line rules this run and is never stored, so there is no
    // default to change.
    run.step([&] { m_useFromNowOnBox->setEnabled(m_session.commandLineDataPath.size() < 2); });
    run.step([&] { m_okButton->setEnabled(namesExistingSource(m_pathField->Path())); });
    // Nothing has been chosen yet, so there is nothing to apply.
    run.step([&] { m_applyButton->setEnabled(false); });
    run.step([&] { m_newButton->setEnabled(fileExists(programFolderPath() + kTemplateName)); });
}

void SelectDataDialog::onPathChanged() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"checking the location typed"_s);
    // Only existence is checked while typing; whether the file opens is checked when applied.
    run.step([&] {
        const bool exists = namesExistingSource(m_pathField->Path());
        m_applyButton->setEnabled(exists);
        m_okButton->setEnabled(exists);
    });
}

bool SelectDataDialog::applyChanges() {
    bool result = false;
    StepRunner run(askThrough(m_session.errorReporter.get()), u"taking the data file"_s);
    QString path;
    bool usable = false;
    run.step([&] { path = m_pathField->Path(); });
    // An empty text would make checkDataPath test the session's own file and then store "" as the
    // session's file; it never names a data file.
    run.step([&] {
        usable = !path.isEmpty() && checkDataPath(m_session, path, askThrough(m_session.errorReporter.get()));
    });
    if (usable) {
        // The stored default first: storing it leaves the session alone, so the session switch
        // follows either way.
        if (m_useFromNowOnBox->isEnabled() && m_useFromNowOnBox->isChecked())
            run.step(
                [&] { saveDataPath(m_session, path, false, askThrough(m_session.errorReporter.get())); });
        run.step([&] { saveDataPath(m_session, path, true, askThrough(m_session.errorReporter.get())); });
        run.step([&] { m_applyButton->setEnabled(false); });
        run.step([&] { result = true; });
    } else {
        run.step([&] {
            showMessageBox(
                m_session,
                u"The path "_s + redactedPostgresUri(path) +
                    u" is not a valid Tallyrow data file, or you do not have sufficient system privileges to "
                    u"open the file. Please choose a valid file that you have read access to."_s,
                MsgFlag::Exclamation | MsgFlag::OKOnly, kNoTitle, {}, 0, {}, this);
        });
    }
    return result;
}

void SelectDataDialog::onOkClicked() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"confirming the data file"_s);
    bool applied = false;
    run.step([&] { applied = applyChanges(); });
    if (applied)
        run.step([&] { accept(); });
}

void SelectDataDialog::onApplyClicked() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"applying the data file"_s);
    run.step([&] { applyChanges(); });
}

void SelectDataDialog::onCancelClicked() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"closing the data file dialog"_s);
    run.step([&] { m_cancelled = true; });
    run.step([&] { reject(); });
}

// The new file's path as typed, with ".yrd" added when it names neither kind: it must have its
// folder, and a file already there is overwritten only when the user says Yes.
bool SelectDataDialog::newTargetAgreed(StepRunner& run, QString& target) {
    bool stop = false;
    // Every step below works on the target: without one there is nothing to go on with.
    if (!run.step([&] {
            target = m_pathField->Path();
            const QString extension = target.right(4).toLower();
            if (extension != u".yrd"_s && extension != u".mdb"_s)
                target += u".yrd"_s;
        }))
        return false;

    // A name without its folder would land wherever the program happened to be started; a server
    // URI is no file either (and its password is never shown).
    run.step([&] {
        if (!QDir::isAbsolutePath(target)) {
            showMessageBox(m_session,
                           u"Please type the full path of the new file, with its folder, for example "_s +
                               QDir::homePath() + u"/Tallyrow/data.yrd."_s,
                           MsgFlag::Exclamation | MsgFlag::OKOnly, kNoTitle, {}, 0, {}, this);
            stop = true;
        }
    });
    if (stop)
        return false;

    // An unanswered question is no Yes: the file stays as it is.
    const bool overwriteAsked = run.step([&] {
        if (fileExists(target)) {
            const int answer = showMessageBox(
                m_session,
                u"There is already a file named "_s + redactedPostgresUri(target) +
                    u" Are you sure you want to overwrite it? This will permanently destroy "
                    u"all data in the existing file. "_s,
                MsgFlag::YesNo | MsgFlag::Question | MsgFlag::DefaultButton2, kNoTitle, {}, 0, {}, this);
            stop = answer == MsgAnswer::No;
        }
    });
    return overwriteAsked && !stop;
}

void SelectDataDialog::onNewClicked() {
    StepRunner run(askThrough(m_session.errorReporter.get()), u"creating a new data file"_s);
    QString templatePath;
    QString target;
    bool stop = false;

    const bool templateChecked = run.step([&] {
        templatePath = programFolderPath() + kTemplateName;
        if (!fileExists(templatePath)) {
            showMessageBox(
                m_session,
                u"I can't create a new data file, the template file is missing or has been damaged. Please "
                u"reinstall Tallyrow to rectify this problem"_s,
                MsgFlag::Critical | MsgFlag::OKOnly, kNoTitle, {}, 0, {}, this);
            stop = true;
        }
    });
    if (!templateChecked || stop)
        return;

    if (!newTargetAgreed(run, target))
        return;

    if (!folderReady(run, target))
        return;

    // A failed copy goes to the error report, whose Retry runs the copy again; after Ignore
    // there is no new file to show or to offer.
    if (!run.step([&] { copyTemplate(templatePath, target); }))
        return;
    run.step([&] { m_pathField->setPath(target); });
    run.step([&] {
        m_applyButton->setEnabled(true);
        m_okButton->setEnabled(true);
    });
}

// The new file's folder exists, or is made after the user agrees. False: go no further.
bool SelectDataDialog::folderReady(StepRunner& run, const QString& target) {
    QString folder;
    bool stop = false;
    bool folderMissing = false;
    if (!run.step([&] {
            folder = folderOf(target);
            folderMissing = !folderExists(folder);
        }))
        return false;
    if (folderMissing) {
        const bool createAsked = run.step([&] {
            const int answer =
                showMessageBox(m_session,
                               u"The folder "_s + redactedPostgresUri(folder) +
                                   u" does not exist. Would you like to create it?"_s,
                               MsgFlag::OKCancel | MsgFlag::Question, kNoTitle, {}, 0, {}, this);
            stop = answer == MsgAnswer::Cancel;
        });
        if (!createAsked || stop)
            return false;
        run.step([&] { makeDirPath(folder); });
        run.step([&] {
            if (!folderExists(folder)) {
                showMessageBox(
                    m_session,
                    u"I was not able to make the folder. Please make sure you have the enough system "
                    u"privileges "
                    u"to create a folder."_s,
                    MsgFlag::OKOnly, kNoTitle, {}, 0, {}, this);
                stop = true;
            }
        });
        if (stop)
            return false;
    }
    return true;
}

} // namespace tallyrow
