#include "shell/ui/DataFilePrompts.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/ui/SelectDataDialog.h"
#include "shell/ui/DataFileController.h"
#include "support/ErrorReporter.h"
#include "support/MessageBoxEx.h"
#include "support/Services.h"
#include "support/Session.h"
#include "support/StepRunner.h"

#include <QDialog>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {
// Said after Ignore on a data file that does not open: what happened, then where to go next.
const QString kOpeningProblem =
    u"There was a problem opening the database. Please make sure you have selected a valid database"
    ". To choose another, use Tools > Change Data File."_s;
} // namespace

DataFilePrompts::DataFilePrompts(Session& session, DataFileController& files,
                                 std::function<int(QDialog&)> runDialog, QWidget* window)
    : m_session(session), m_files(files), m_runDialog(std::move(runDialog)), m_window(window) {}

bool DataFilePrompts::settle() {
    while (!checkDataPath(m_session, QString(), askThrough(m_session.errorReporter.get()))) {
        // Abort in an error report about the file ends the program here and now.
        if (m_session.ended)
            return false;
        bool cancelled = false;
        {
            SelectDataDialog dialog(m_session, m_window);
            m_runDialog(dialog);
            cancelled = dialog.cancelled();
        }
        if (m_session.ended)
            return false;
        if (!cancelled)
            continue;
        const int answer = showMessageBox(
            m_session, kProductName + u" needs a data file to operate. Are you sure you want to close?"_s,
            MsgFlag::YesNo | MsgFlag::Question, u"Confirm shutdown"_s, QString(), 0, QString(), nullptr);
        if (answer == MsgAnswer::Yes)
            return false;
    }
    return true;
}

bool DataFilePrompts::choose() {
    SelectDataDialog dialog(m_session, m_window);
    return m_runDialog(dialog) == QDialog::Accepted;
}

void DataFilePrompts::tellNotOpening() {
    showMessageBox(m_session, kOpeningProblem, MsgFlag::OKOnly, u"Problem opening database"_s, QString(), 0,
                   QString(), nullptr);
}

void DataFilePrompts::tellReadFailure(const QString& path, const QString& reason, bool preview) {
    // A file that does not open at all is reported as opening it for the list always was.
    std::unique_ptr<Connection> cn;
    bool retried = false;
    const FailureHandler ask = askThrough(m_session.errorReporter.get());
    const bool opens = openConnection(cn, path, [&](const Failure& failure) {
        const StepAnswer answer = ask(failure);
        retried = retried || answer == StepAnswer::Retry;
        return answer;
    });
    closeConnection(cn);
    if (opens && retried) {
        // The file was put right while the error report was open: it is read again, and the
        // reason it was refused before no longer holds.
        m_files.readAgain(path, preview);
        return;
    }
    ignoringFailures([&] {
        if (!opens)
            tellNotOpening();
        else
            tellUser(m_session, reason, MsgFlag::OKOnly | MsgFlag::Exclamation,
                     u"Problem reading data file"_s);
    });
}

} // namespace tallyrow
