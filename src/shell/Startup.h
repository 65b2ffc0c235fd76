#pragma once

#include "support/Session.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace tallyrow {

class ErrorReporter;

/// What the start-up sequence needs from the toolkit layer. The desktop program fills it with
/// Qt widgets; tests fill it with scripted stand-ins so the order and the failure paths can be
/// checked without a screen.
struct StartupHooks {
    /// Makes the toolkit's themed controls available (may do nothing). Its result is ignored.
    std::function<void()> initThemedControls;
    /// Creates the process's error reporter; a failure (exception) means the program cannot run.
    std::function<std::unique_ptr<ErrorReporter>()> createErrorReporter;
    /// Shows the main window modeless, running its load handler. Throws Error 364 when the
    /// window closed itself while loading (the user declined to choose a data file).
    std::function<void()> showMainWindow;
};

/// The process's start-up sequence: themed controls, error reporter (or the one critical
/// message and return), product name and support address, command line, settings hive, help
/// file, message box, main window. `arguments` are the process arguments without the program
/// name. Returns true when the main window is open afterwards (the caller then runs the event
/// loop), false when the program should end.
bool startProgram(Session& session, const QStringList& arguments, const StartupHooks& hooks);

/// A file named on its own on the command line, as the file manager passes one, when no
/// "datapath" option is given: a report document becomes the session's command-line document, any
/// other file or a server URI its command-line data file. Relative paths are made absolute.
void readFileArgument(Session& session, const QStringList& arguments);

/// Shows the main window through `show`; true when it is open afterwards. A window that closed
/// itself while loading (error 364) ends quietly with false; any other failure is passed on with
/// the step "opening the main window" added.
bool showMainWindow(const std::function<void()>& show);

/// The critical message shown when the error reporter cannot be created.
QString cantInitErrorHandlerPrompt(const QString& cause);

} // namespace tallyrow
