#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QMainWindow;

namespace tallyrow {

class AboutDialog;
class ErrorReporter;
struct Session;

/// The window's Help menu and its F1 key: the user manual (or a help file the user installed
/// beside the program) and the About box.
class HelpMenu final : public QObject {
    Q_OBJECT
public:
    /// Adds the Help menu to `window`'s menu bar, and F1 that opens the help wherever the focus is
    /// in the window; failed steps go to `errors()`.
    HelpMenu(Session& session, std::function<ErrorReporter*()> errors, QMainWindow* window);

    /// Opens the user manual, or says where it is when nothing can show it.
    void showHelp();

private:
    void showAbout();

    Session& m_session;
    std::function<ErrorReporter*()> m_errors;
    QMainWindow* m_window;
    QPointer<AboutDialog> m_about;
};

} // namespace tallyrow
