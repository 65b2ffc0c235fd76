#include "support/ui/ErrorReportDialog.h"

#include "support/Error.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tallyrow {

namespace {

// The steps, outermost first, without blank ones.
QString readableWhere(QStringList steps) {
    for (QString& step : steps)
        step = step.trimmed();
    steps.removeAll(QString());
    return steps.join(QStringLiteral(" > "));
}

// System error numbers (negative as signed 32-bit values) are known by their hexadecimal form.
QString readableNumber(long number) {
    if (number >= 0)
        return QString::number(number);
    return QStringLiteral("%1 (0x%2)")
        .arg(number)
        .arg(QString::number(static_cast<quint32>(number), 16).toUpper());
}

} // namespace

QString ErrorReportContent::detailsText() const {
    QString text = productName + u'\n';
    text += QStringLiteral("Error %1: %2\n").arg(readableNumber(number), description);
    text += QStringLiteral("Where: %1\n").arg(readableWhere(steps));
    if (!activity.isEmpty())
        text += QStringLiteral("Activity: %1\n").arg(activity);
    if (!supportAddress.isEmpty())
        text += QStringLiteral("Support: %1\n").arg(supportAddress);
    return text;
}

namespace {

// Failures a user meets in ordinary work (a file missing, refused, not a data file, a disk
// full, a busy server): the description is the message, and the rest is for support.
bool expectedCondition(long number) {
    switch (number) {
    case ErrNo::BadFileName:
    case ErrNo::FileNotFound:
    case 57: // device I/O error
    case 61: // disk full
    case ErrNo::PermissionDenied:
    case 71: // disk not ready
    case ErrNo::PathFileAccess:
    case ErrNo::PathNotFound:
    case ErrNo::DataSource:
        return true;
    default:
        return false;
    }
}

} // namespace

ErrorReportDialog::ErrorReportDialog(const ErrorReportContent& content, QWidget* parent)
    : QDialog(parent), m_content(content) {
    setObjectName(QStringLiteral("frmErrorReport"));
    setWindowTitle(content.productName.isEmpty() ? tr("Error") : tr("%1 - Error").arg(content.productName));
    setModal(true);
    const bool expected = expectedCondition(content.number);

    auto* icon = new QLabel(this);
    icon->setPixmap(
        style()
            ->standardIcon(expected ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxCritical)
            .pixmap(32, 32));
    auto* heading = new QLabel(
        expected ? content.description : tr("%1 has met a problem.").arg(content.productName), this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    heading->setWordWrap(true);
    heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    heading->setMinimumWidth(360);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(heading, 1);
    setAccessibleName(heading->text());

    auto makeValue = [this](const QString& name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    // The number, the steps it happened in and what the program was doing are for support:
    // they stay behind "Show details" (and go on the clipboard with "Copy details").
    m_details = new QWidget(this);
    m_details->setObjectName(QStringLiteral("wdgDetails"));
    auto* details = new QFormLayout(m_details);
    details->setContentsMargins(0, 0, 0, 0);
    auto* description = makeValue(QStringLiteral("lblDescription"), content.description);
    auto* form = new QFormLayout;
    if (expected) {
        details->addRow(tr("Description:"), description);
    } else {
        form->addRow(tr("Description:"), description);
        setAccessibleDescription(content.description);
    }
    details->addRow(tr("Number:"), makeValue(QStringLiteral("lblNumber"), readableNumber(content.number)));
    details->addRow(tr("Where:"), makeValue(QStringLiteral("lblWhere"), readableWhere(content.steps)));
    auto* activity = makeValue(QStringLiteral("lblActivity"), content.activity);
    details->addRow(tr("Activity:"), activity);
    details->setRowVisible(activity, !content.activity.isEmpty());
    if (!content.supportAddress.isEmpty())
        details->addRow(tr("Support:"), makeValue(QStringLiteral("lblSupport"), content.supportAddress));
    m_details->hide();

    QDialogButtonBox* buttons = buildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    if (expected) {
        QString text =
            tr("Retry tries again once the cause is put right; Ignore goes on without this step; "
               "Abort ends the program. Nothing is lost either way: the program only reads its data.");
        if (!content.advice.isEmpty())
            text += u' ' + content.advice;
        auto* whatToDo = makeValue(QStringLiteral("lblWhatToDo"), text);
        layout->addWidget(whatToDo);
        setAccessibleDescription(text);
    }
    layout->addLayout(form);
    layout->addWidget(m_details);
    layout->addWidget(buttons);
}

QDialogButtonBox* ErrorReportDialog::buildButtons() {
    auto* buttons = new QDialogButtonBox(this);
    auto addButton = [&](const QString& name, const QString& text, QDialogButtonBox::ButtonRole role) {
        auto* button = buttons->addButton(text, role);
        button->setObjectName(name);
        button->setAutoDefault(false);
        return button;
    };
    auto* abort = addButton(QStringLiteral("cmdAbort"), tr("&Abort"), QDialogButtonBox::DestructiveRole);
    auto* retry = addButton(QStringLiteral("cmdRetry"), tr("&Retry"), QDialogButtonBox::AcceptRole);
    auto* ignore = addButton(QStringLiteral("cmdIgnore"), tr("&Ignore"), QDialogButtonBox::RejectRole);
    auto* more = addButton(QStringLiteral("cmdShowDetails"), tr("Show &details"), QDialogButtonBox::HelpRole);
    auto* copy = addButton(QStringLiteral("cmdCopyDetails"), tr("&Copy details"), QDialogButtonBox::HelpRole);
    retry->setDefault(true);
    abort->setToolTip(tr("End the program (nothing is lost)"));
    retry->setToolTip(tr("Try the step again"));
    ignore->setToolTip(tr("Go on without this step"));

    connect(abort, &QPushButton::clicked, this, [this] { finishWith(ReportAnswer::Abort); });
    connect(retry, &QPushButton::clicked, this, [this] { finishWith(ReportAnswer::Retry); });
    connect(ignore, &QPushButton::clicked, this, [this] { finishWith(ReportAnswer::Ignore); });
    connect(more, &QPushButton::clicked, this, [this, more] {
        m_details->setVisible(!m_details->isVisible());
        more->setText(m_details->isVisible() ? tr("Hide &details") : tr("Show &details"));
        adjustSize();
    });
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(m_content.detailsText()); });

    return buttons;
}

void ErrorReportDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Screen readers announce it as they announce a message box.
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void ErrorReportDialog::finishWith(ReportAnswer answer) {
    m_answer = answer;
    accept();
}

} // namespace tallyrow
