#include "TestEnv.h"

#include "support/CommandLine.h"
#include "support/ErrorReporter.h"
#include "support/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tallyrow::test {

namespace {

QString sourceTestData() {
    // The build names the fixtures folder by its absolute path: __FILE__ may be relative (a compiler
    // cache that rewrites paths), and the tests run from the build folder.
    return QStringLiteral(TALLYROW_SOURCE_TEST_DATA);
}

QString selfFolder() {
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return QFileInfo(exe).absolutePath();
}

} // namespace

QString fixturePath(const QString& name) {
    QString folder = qEnvironmentVariable("TALLYROW_TEST_DATA");
    if (folder.isEmpty())
        folder = sourceTestData();
    return QDir::cleanPath(folder + u'/' + name);
}

QString binPath(const QString& name) {
    QString folder = qEnvironmentVariable("TALLYROW_BIN");
    if (folder.isEmpty())
        folder = selfFolder() + QStringLiteral("/../bin");
    return QDir::cleanPath(folder + u'/' + name);
}

ScopedTestEnvironment::ScopedTestEnvironment() {
    if (!m_dir.isValid())
        ADD_FAILURE() << "cannot create a temporary folder";
    for (const char* name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        SavedVariable saved{QByteArray(name), std::nullopt};
        if (qEnvironmentVariableIsSet(name))
            saved.value = qgetenv(name);
        m_savedVariables.append(saved);
    }
    QDir().mkpath(homeFolder());
    QDir().mkpath(configHome());
    QDir().mkpath(machineConfigDir());
    QDir().mkpath(path(QStringLiteral("home/.local/share")));
    qputenv("HOME", homeFolder().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", machineConfigDir().toLocal8Bit());
    qputenv("XDG_DATA_HOME", path(QStringLiteral("home/.local/share")).toLocal8Bit());
    // Saved copies of data files go to the test's own cache folder, never the user's.
    qputenv("XDG_CACHE_HOME", path(QStringLiteral("home/.cache")).toLocal8Bit());

    m_programFolder = path(QStringLiteral("program"));
    m_documentsFolder = path(QStringLiteral("home/Documents"));
    QDir().mkpath(m_programFolder);
    QDir().mkpath(m_documentsFolder);

    m_savedServices = services();
    Services& s = services();
    s.today = [this] { return m_today; };
    s.locale = [this] { return m_locale; };
    s.loggedInUserName = [this] { return m_userName; };
    s.localComputerName = [this] { return m_computerName; };
    s.programFolder = [this] { return m_programFolder; };
    s.documentsFolder = [this] { return m_documentsFolder; };
    s.makeMessageBox = []() -> std::unique_ptr<MessageBoxEx> {
        return std::make_unique<ScriptedMessageBox>();
    };
    s.platformMessageBox = [this](const MessageRequest& request) {
        m_platformRequests.append(request);
        return defaultMessageAnswer(request.buttons);
    };
    s.openUrl = [this](const QString& address) {
        m_openedUrls.append(address);
        return true;
    };
    s.compiledHelpViewerRegistered = [this] { return m_chmViewer; };

    m_session.errorReporter = std::make_unique<ScriptedErrorReporter>();
    m_session.messageBox = std::make_unique<ScriptedMessageBox>();
}

ScopedTestEnvironment::~ScopedTestEnvironment() {
    services() = m_savedServices;
    for (const SavedVariable& saved : m_savedVariables) {
        if (saved.value)
            qputenv(saved.name.constData(), *saved.value);
        else
            qunsetenv(saved.name.constData());
    }
}

QString ScopedTestEnvironment::root() const {
    return m_dir.path();
}

QString ScopedTestEnvironment::path(const QString& relative) const {
    return m_dir.path() + u'/' + relative;
}

QString ScopedTestEnvironment::homeFolder() const {
    return path(QStringLiteral("home"));
}

QString ScopedTestEnvironment::configHome() const {
    return path(QStringLiteral("home/.config"));
}

QString ScopedTestEnvironment::machineConfigDir() const {
    return path(QStringLiteral("etc/xdg"));
}

QString ScopedTestEnvironment::userSettingsFile() const {
    return hiveFilePath(Hkey::CurrentUser);
}

QString ScopedTestEnvironment::machineSettingsFile() const {
    return hiveFilePath(Hkey::LocalMachine);
}

ScriptedErrorReporter* ScopedTestEnvironment::errorReporter() const {
    return dynamic_cast<ScriptedErrorReporter*>(m_session.errorReporter.get());
}

ScriptedMessageBox* ScopedTestEnvironment::messageBox() const {
    return dynamic_cast<ScriptedMessageBox*>(m_session.messageBox.get());
}

} // namespace tallyrow::test
