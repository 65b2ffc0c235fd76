#pragma once

#include "support/MessageBoxEx.h"
#include "support/Session.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <functional>
#include <memory>

namespace tallyrow {

/// What the core asks of the machine and the person, gathered in one object that start-up fills
/// and tests replace: the clock, the locale, names, folders and the screen's message boxes.
struct Services {
    std::function<QDate()> today;               ///< the current date (no time of day)
    std::function<QLocale()> locale;            ///< short date format and first day of the week
    std::function<QString()> loggedInUserName;  ///< "" when it cannot be told
    std::function<QString()> localComputerName; ///< "" when it cannot be told
    std::function<QString()> programFolder;     ///< folder of the running executable, no trailing "/"
    /// Where the user's documents folder is (it may not exist yet), "" when unknown.
    std::function<QString()> documentsFolder;
    /// Makes the message box showMessageBox uses when none exists yet (Qt dialogs in the desktop program,
    /// a scripted one in tests and the command-line tool).
    std::function<std::unique_ptr<MessageBoxEx>()> makeMessageBox;
    /// Last resort of showMessageBox when the message box itself fails; returns the answer code.
    std::function<int(const MessageRequest&)> platformMessageBox;
    /// Opens an address or a file with the desktop's handler; returns false when nothing took it.
    std::function<bool(const QString&)> openUrl;
    /// Whether some program on this machine is registered to open compiled-help (.chm) files.
    std::function<bool()> compiledHelpViewerRegistered;
};

/// The process's services. Defaults use the real machine; start-up and tests may replace members.
Services& services();

/// Restores the real-machine defaults (tests call it between cases).
void resetServices();

/// The product name shown in captions and handed to the error reporter.
inline const QString kProductName = QStringLiteral("Tallyrow Reports");
/// The support address handed to the error reporter.
inline const QString kSupportAddress = QStringLiteral("support@tallyrow.example");
/// The application title that replaces "~NoTitle~" in message boxes.
QString applicationTitle();

/// The program's message-box wrapper: "~NoTitle~" becomes the application title; makes the
/// session's message box when missing; falls back to the platform box, and raises the failure with
/// "qm showMessageBox Override " in front of its description when that fails too.
int showMessageBox(Session& session, const QString& prompt, int buttons, const QString& title,
                   const QString& helpFile = {}, long helpContext = 0, const QString& rememberName = {},
                   QObject* owner = nullptr);

/// Plain message through showMessageBox; failures are reported with the step "showing a message".
int tellUser(Session& session, const QString& prompt, int buttons, const QString& title);

/// The session's message box, made through services().makeMessageBox when missing. Raises an Error with
/// the step `step` when no message box can be made.
MessageBoxEx& sharedMessageBox(Session& session, const QString& step = {});

/// Makes the session's message box when missing and configures it: Mode 2 and the settings key of the
/// application. A failure is passed on with the step "setting up the message box" added.
void setUpMessageBox(Session& session);

} // namespace tallyrow
