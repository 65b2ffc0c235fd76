#include "support/Services.h"

#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/Registry.h"
#include "support/ScriptedErrorReporter.h"
#include "support/StepRunner.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>

#include <cstdio>

#include <pwd.h>
#include <unistd.h>

namespace tallyrow {

namespace {

QString userName() {
    QString fromEnv = qEnvironmentVariable("USER");
    if (!fromEnv.isEmpty())
        return fromEnv;
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return {};
}

QString executableFolder() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return exe.isEmpty() ? QString() : QFileInfo(exe).absolutePath();
}

QString documentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

bool openWithDesktop(const QString& address) {
    // QDesktopServices needs the GUI's platform plugin; without one, ask the desktop's opener.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QDesktopServices::openUrl(QUrl::fromUserInput(address));
    return QProcess::startDetached(QStringLiteral("xdg-open"), {address});
}

bool chmHandlerRegistered() {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return false;
    QProcess probe;
    probe.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                          QStringLiteral("application/vnd.ms-htmlhelp")});
    if (!probe.waitForFinished(3000)) {
        probe.kill();
        probe.waitForFinished(1000);
        return false;
    }
    return probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0 &&
           !probe.readAllStandardOutput().trimmed().isEmpty();
}

// Without a screen, a box is written to stderr and answered as Enter would answer it.
int consoleMessageBox(const MessageRequest& request) {
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(request.title), qUtf8Printable(request.prompt));
    return defaultMessageAnswer(request.buttons);
}

Services defaultServices() {
    Services s;
    s.today = [] { return QDate::currentDate(); };
    // The system's locale (LC_ALL, LC_TIME …), unless the program set another (tallyrow-export
    // --locale).
    s.locale = [] { return QLocale(); };
    s.loggedInUserName = userName;
    s.localComputerName = [] { return QSysInfo::machineHostName(); };
    s.programFolder = executableFolder;
    s.documentsFolder = documentsFolder;
    s.makeMessageBox = []() -> std::unique_ptr<MessageBoxEx> {
        auto box = std::make_unique<ScriptedMessageBox>();
        box->setEcho(stderr);
        return box;
    };
    s.platformMessageBox = consoleMessageBox;
    s.openUrl = openWithDesktop;
    s.compiledHelpViewerRegistered = chmHandlerRegistered;
    return s;
}

} // namespace

Services& services() {
    static Services instance = defaultServices();
    return instance;
}

void resetServices() {
    services() = defaultServices();
}

QString applicationTitle() {
    return kProductName;
}

MessageBoxEx& sharedMessageBox(Session& session, const QString& step) {
    if (!session.messageBox && services().makeMessageBox)
        session.messageBox = services().makeMessageBox();
    if (!session.messageBox)
        throw Error(ErrNo::Unexpected, QStringLiteral("The message box could not be created"), step);
    return *session.messageBox;
}

int showMessageBox(Session& session, const QString& prompt, int buttons, const QString& title,
                   const QString& helpFile, long helpContext, const QString& rememberName, QObject* owner) {
    const QString shownTitle = title == QLatin1String("~NoTitle~") ? applicationTitle() : title;
    try {
        return sharedMessageBox(session, QStringLiteral("showing a message"))
            .Show(prompt, buttons, shownTitle, helpFile, helpContext, rememberName, owner);
    } catch (...) {
        const Error first = currentError();
        try {
            if (!services().platformMessageBox)
                throw first;
            MessageRequest request;
            request.prompt = prompt;
            request.buttons = buttons;
            request.title = shownTitle;
            request.helpFile = helpFile;
            request.helpContext = helpContext;
            request.owner = owner;
            return services().platformMessageBox(request);
        } catch (...) {
            const Error second = currentError();
            throw Error(second.number(), QStringLiteral("qm MsgBox Override ") + second.description(),
                        second.steps());
        }
    }
}

int tellUser(Session& session, const QString& prompt, int buttons, const QString& title) {
    int answer = 0;
    StepRunner run(askThrough(session.errorReporter.get()), QStringLiteral("showing a message"), {}, false);
    run.step([&] { answer = showMessageBox(session, prompt, buttons, title, {}, 0, {}, nullptr); });
    return answer;
}

void setUpMessageBox(Session& session) {
    withStep(QStringLiteral("setting up the message box"), [&] {
        MessageBoxEx& box = sharedMessageBox(session);
        box.setMode(2);
        box.setSettingsKey(applicationKey());
    });
}

} // namespace tallyrow
