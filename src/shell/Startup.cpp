#include "shell/Startup.h"

#include "datafile/DataSource.h"

#include "output/ReportDocument.h"
#include "support/CommandLine.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/Registry.h"
#include "support/Services.h"
#include "support/StepRunner.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace tallyrow {

QString cantInitErrorHandlerPrompt(const QString& cause) {
    return u"I am not able to run the error handler. I can't run without this! You may need to re-install"_s +
           u"\r\n\r\n"_s + u"The cause of the problem was: "_s + cause;
}

bool startProgram(Session& session, const QStringList& arguments, const StartupHooks& hooks) {
    // Steps 1 and 2 run straight through; whatever failed is looked at afterwards, because
    // without an error reporter nothing can be reported the usual way.
    QString failure;
    bool failed = false;
    try {
        if (hooks.initThemedControls)
            hooks.initThemedControls();
    } catch (...) {
        failed = true;
        failure = currentError().description();
    }
    try {
        session.errorReporter = hooks.createErrorReporter ? hooks.createErrorReporter() : nullptr;
        if (!session.errorReporter)
            throw Error(ErrNo::Unexpected, u"The error reporter could not be created"_s);
    } catch (...) {
        failed = true;
        failure = currentError().description();
    }
    if (failed) {
        session.errorReporter.reset();
        try {
            showMessageBox(session, cantInitErrorHandlerPrompt(failure),
                           MsgFlag::OKOnly | MsgFlag::Critical | MsgFlag::SystemModal,
                           u"Can't initilise error handler"_s, QString(), 0, QString(), nullptr);
        } catch (...) {
            // Nothing is left to tell the user with; the process ends either way.
        }
        return false;
    }

    bool windowOpen = false;
    StepRunner run(askThrough(session.errorReporter.get()), u"starting the program"_s,
                   u"loading the application"_s);
    run.step([&] {
        session.errorReporter->setProductName(kProductName);
        session.errorReporter->setSupportAddress(kSupportAddress);
        session.errorReporter->setAdvice(
            u"If the data file is the problem, choose another with Tools > Change Data File."_s);
    });
    run.step([&] { parseCommandLine(session, arguments); });
    run.step([&] { readFileArgument(session, arguments); });
    run.step([&] { chooseHelpFile(session, u"tyrow.chm"_s, u"tyrow.hlp"_s); });
    run.step([&] { setUpMessageBox(session); });
    run.step([&] { windowOpen = showMainWindow(hooks.showMainWindow); });
    return windowOpen;
}

void readFileArgument(Session& session, const QStringList& arguments) {
    // The "datapath=" form keeps its meaning, spaces in its path included.
    if (arguments.size() != 1 || arguments.first().contains(u"datapath="_s, Qt::CaseInsensitive))
        return;
    const QString& named = arguments.first();
    if (named.isEmpty() || named.startsWith(u'-'))
        return;
    const DataSource source = DataSource(named).absolute();
    const QString path = source.filePath();
    if (path.isEmpty()) {
        session.commandLineDataPath = named; // a server
        return;
    }
    if (isReportDocumentFile(path))
        session.commandLineDocument = path;
    else
        session.commandLineDataPath = path;
}

bool showMainWindow(const std::function<void()>& show) {
    try {
        if (!show)
            return false;
        show();
        return true;
    } catch (...) {
        Error e = currentError();
        if (e.number() == ErrNo::ObjectUnloaded)
            return false; // the user chose to close rather than pick a data file
        e.addStep(u"opening the main window"_s);
        throw e;
    }
}

} // namespace tallyrow
