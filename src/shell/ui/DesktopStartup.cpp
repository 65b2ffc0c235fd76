#include "shell/ui/DesktopStartup.h"

#include "engine/PagePainter.h"
#include "shell/Startup.h"
#include "shell/ui/EndApplication.h"
#include "shell/ui/MainWindow.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/Services.h"
#include "support/ui/QtErrorReporter.h"
#include "support/ui/QtMessageBox.h"

#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

// The platform's own style where the desktop provides one; the bare "Windows" style that Qt
// falls back to elsewhere looks dated, so Fusion takes its place.
void initThemedControls() {
    if (!qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE"))
        return;
    const QString current = QApplication::style() ? QApplication::style()->name() : QString();
    if (current.isEmpty() || current.compare(u"windows"_s, Qt::CaseInsensitive) == 0)
        QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
}

} // namespace

int runDesktop(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Tallyrow Reports"_s);
    QApplication::setOrganizationName(u"Quenmarsh"_s);
    QApplication::setApplicationVersion(QString::fromLatin1(TALLYROW_VERSION));
    QApplication::setDesktopFileName(u"tallyrow-reports"_s);
    QApplication::setWindowIcon(QIcon::fromTheme(u"tallyrow-reports"_s, QIcon(u":/tallyrow-reports.svg"_s)));
    installWidgetServices();
    engine::registerReportFonts();

    // What this run knows of its data file and help, handed to the window and its dialogs.
    Session session;
    QPointer<MainWindow> window;
    StartupHooks hooks;
    hooks.initThemedControls = initThemedControls;
    hooks.createErrorReporter = [] { return std::unique_ptr<ErrorReporter>(new QtErrorReporter); };
    hooks.showMainWindow = [&window, &session] {
        if (!window)
            window = new MainWindow(session);
        window->setAttribute(Qt::WA_DeleteOnClose);
        if (!window->load())
            throw Error(ErrNo::ObjectUnloaded, u"Object was unloaded"_s);
        window->show();
        // A report document named on the command line (the file manager's "open with") is shown
        // once the window is up.
        if (!session.commandLineDocument.isEmpty())
            window->openReportDocument(session.commandLineDocument);
    };

    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    const bool open = startProgram(session, arguments, hooks);
    int code = 0;
    if (open && !session.ended)
        code = QApplication::exec();
    delete window.data();
    session.errorReporter.reset();
    return code;
}

} // namespace tallyrow
