#include "support/ui/QtMessageBox.h"

#include "support/ScriptedErrorReporter.h"
#include "support/Services.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <utility>

namespace tallyrow {

namespace {

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int answer;
    const char16_t* objectName;
    /// The caption with its Alt key, whatever the desktop's theme would write on the button.
    const char16_t* text;
};

QList<ButtonSpec> buttonsFor(int flags) {
    const ButtonSpec ok{QMessageBox::Ok, MsgAnswer::OK, u"cmdOK", u"&OK"};
    const ButtonSpec cancel{QMessageBox::Cancel, MsgAnswer::Cancel, u"cmdCancel", u"&Cancel"};
    const ButtonSpec abort{QMessageBox::Abort, MsgAnswer::Abort, u"cmdAbort", u"&Abort"};
    const ButtonSpec retry{QMessageBox::Retry, MsgAnswer::Retry, u"cmdRetry", u"&Retry"};
    const ButtonSpec ignore{QMessageBox::Ignore, MsgAnswer::Ignore, u"cmdIgnore", u"&Ignore"};
    const ButtonSpec yes{QMessageBox::Yes, MsgAnswer::Yes, u"cmdYes", u"&Yes"};
    const ButtonSpec no{QMessageBox::No, MsgAnswer::No, u"cmdNo", u"&No"};
    switch (flags & 0xF) {
    case MsgFlag::OKCancel:
        return {ok, cancel};
    case MsgFlag::AbortRetryIgnore:
        return {abort, retry, ignore};
    case MsgFlag::YesNoCancel:
        return {yes, no, cancel};
    case MsgFlag::YesNo:
        return {yes, no};
    case MsgFlag::RetryCancel:
        return {retry, cancel};
    default:
        return {ok};
    }
}

QMessageBox::Icon iconFor(int flags) {
    switch (flags & 0x70) {
    case MsgFlag::Critical:
        return QMessageBox::Critical;
    case MsgFlag::Question:
        return QMessageBox::Question;
    case MsgFlag::Exclamation:
        return QMessageBox::Warning;
    case MsgFlag::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

QWidget* ownerWidget(QObject* owner) {
    if (auto* widget = qobject_cast<QWidget*>(owner))
        return widget->window();
    return QApplication::activeWindow();
}

// Builds, shows and answers one box; `checkBox` is filled when the request asks for one.
MessageResult runBox(const MessageRequest& request) {
    QMessageBox box(ownerWidget(request.owner));
    box.setObjectName(QStringLiteral("frmMessageBox"));
    box.setWindowTitle(request.title);
    box.setText(request.prompt);
    box.setIcon(iconFor(request.buttons));

    const QList<ButtonSpec> definitions = buttonsFor(request.buttons);
    QList<std::pair<QAbstractButton*, int>> answers;
    for (const ButtonSpec& definition : definitions) {
        QPushButton* button = box.addButton(definition.button);
        button->setObjectName(QString::fromUtf16(definition.objectName));
        button->setText(QString::fromUtf16(definition.text));
        answers.append({button, definition.answer});
    }
    const int defaultIndex = (request.buttons & 0xF00) >> 8;
    box.setDefaultButton(
        static_cast<QPushButton*>(answers.value(defaultIndex < answers.size() ? defaultIndex : 0).first));
    // Escape answers Cancel where there is one, and OK on a box with only OK.
    for (const auto& [button, answer] : std::as_const(answers))
        if (answer == MsgAnswer::Cancel || (answers.size() == 1 && answer == MsgAnswer::OK))
            box.setEscapeButton(button);

    QCheckBox* checkBox = nullptr;
    if (request.showCheckBox) {
        checkBox = new QCheckBox(request.checkBoxCaption, &box);
        checkBox->setObjectName(QStringLiteral("chkRemember"));
        box.setCheckBox(checkBox);
    }
    if (request.buttons & MsgFlag::SetForeground) {
        box.show();
        box.raise();
        box.activateWindow();
    }
    box.exec();

    MessageResult result;
    result.answer = defaultMessageAnswer(request.buttons);
    for (const auto& [button, answer] : std::as_const(answers))
        if (box.clickedButton() == button)
            result.answer = answer;
    result.checked = checkBox && checkBox->isChecked();
    return result;
}

} // namespace

MessageResult QtMessageBox::present(const MessageRequest& request) {
    return runBox(request);
}

int showPlainMessageBox(const MessageRequest& request) {
    MessageRequest plain = request;
    plain.showCheckBox = false;
    return runBox(plain).answer;
}

namespace {

// Whether the desktop names a program for the address. QDesktopServices hands a link to
// xdg-open and reports success as soon as that starts, even when xdg-open then finds no
// program at all and says so on a terminal nobody reads.
bool desktopHandles(const QUrl& url) {
    if (!qEnvironmentVariableIsEmpty("BROWSER"))
        return true;
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (query.isEmpty())
        return !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
    const QString type =
        url.isLocalFile() ? QStringLiteral("text/html") : QStringLiteral("x-scheme-handler/") + url.scheme();
    QProcess ask;
    ask.start(query, {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!ask.waitForFinished(3000)) {
        ask.kill();
        ask.waitForFinished();
        return true; // a slow desktop is given the benefit of the doubt
    }
    return ask.exitCode() == 0 && !ask.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

void installWidgetServices() {
    Services& s = services();
    s.makeMessageBox = []() -> std::unique_ptr<MessageBoxEx> { return std::make_unique<QtMessageBox>(); };
    s.platformMessageBox = showPlainMessageBox;
    s.openUrl = [](const QString& address) {
        const QUrl url = QUrl::fromUserInput(address);
        return desktopHandles(url) && QDesktopServices::openUrl(url);
    };
}

} // namespace tallyrow
