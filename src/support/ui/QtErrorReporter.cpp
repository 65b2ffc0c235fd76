#include "support/ui/QtErrorReporter.h"

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

QString ErrorReportContent::detailsText() const {
    QString text = productName + u'\n';
    text += QStringLiteral("Error %1: %2\n").arg(number).arg(description);
    text += QStringLiteral("Where: %1\n").arg(where);
    if (!activity.isEmpty())
        text += QStringLiteral("Activity: %1\n").arg(activity);
    if (!supportAddress.isEmpty())
        text += QStringLiteral("Support: %1\n").arg(supportAddress);
    return text;
}

ErrorReportDialog::ErrorReportDialog(const ErrorReportContent& content, QWidget* parent)
    : QDialog(parent), m_content(content) {
    setObjectName(QStringLiteral("frmErrorReport"));
    setWindowTitle(content.productName.isEmpty() ? tr("Error") : tr("%1 - Error").arg(content.productName));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    auto* heading = new QLabel(tr("%1 has met a problem.").arg(content.productName), this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(heading, 1);

    auto makeValue = [this](const QString& name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    auto* form = new QFormLayout;
    form->addRow(tr("Description:"), makeValue(QStringLiteral("lblDescription"), content.description));
    form->addRow(tr("Number:"), makeValue(QStringLiteral("lblNumber"), QString::number(content.number)));
    form->addRow(tr("Where:"), makeValue(QStringLiteral("lblWhere"), content.where));
    form->addRow(tr("Activity:"), makeValue(QStringLiteral("lblActivity"), content.activity));
    if (!content.supportAddress.isEmpty())
        form->addRow(tr("Support:"), makeValue(QStringLiteral("lblSupport"), content.supportAddress));

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
    auto* copy = addButton(QStringLiteral("cmdCopyDetails"), tr("&Copy details"), QDialogButtonBox::HelpRole);
    retry->setDefault(true);

    connect(abort, &QPushButton::clicked, this, [this] { finishWith(ReportAnswer::Abort); });
    connect(retry, &QPushButton::clicked, this, [this] { finishWith(ReportAnswer::Retry); });
    connect(ignore, &QPushButton::clicked, this, [this] { finishWith(ReportAnswer::Ignore); });
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(m_content.detailsText()); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void ErrorReportDialog::finishWith(const QString& answer) {
    m_answer = answer;
    accept();
}

QtErrorReporter::QtErrorReporter(QObject* parent) : ErrorReporter(parent) {}

QString QtErrorReporter::ReportError(bool /*flag*/, const QString& description, long number,
                                     const QString& where, long /*extra*/, const QString& activity) {
    const ErrorReportContent content{ProductName(), SupportAddress(), description, number, where, activity};
    ErrorReportDialog dialog(content, QApplication::activeWindow());
    dialog.exec();
    QString answer = dialog.answer();
    if (answer == ReportAnswer::Abort)
        raiseAbort();
    return answer;
}

} // namespace tallyrow
