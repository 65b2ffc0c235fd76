#pragma once

#include <QObject>

#include <functional>

class QDialog;
class QMainWindow;

namespace tallyrow {

class DataFileStatus;
class ErrorReporter;
struct Session;

/// The window's Tools menu: Change Data File, how long a report waits for a locked data file,
/// and forgetting the answers the user asked the program to remember.
class ToolsMenu final : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> changeDataFile;
        std::function<int(QDialog&)> runDialog;
        std::function<ErrorReporter*()> errors; ///< where failed steps are put to the user
    };
    /// Adds the Tools menu to `window`'s menu bar; the wait is asked and shown by `status`.
    ToolsMenu(Session& session, Actions actions, DataFileStatus& status, QMainWindow* window);

private:
    void resetAnswers();

    Session& m_session;
    Actions m_actions;
};

} // namespace tallyrow
