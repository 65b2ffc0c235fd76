#pragma once

#include "support/Session.h"

#include "support/ScriptedErrorReporter.h"
#include "support/Services.h"

#include <QCoreApplication>
#include <QDate>
#include <QGuiApplication>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>

#if __has_include(<QApplication>)
#include <QApplication>
#define TALLYROW_TEST_HAS_WIDGETS 1
#endif

namespace tallyrow::test {

/// A file of the shared test data ($TALLYROW_TEST_DATA, else the tests/data folder of the source tree).
QString fixturePath(const QString& name);

/// A program of the build ($TALLYROW_BIN, else the bin folder beside the test's own folder).
QString binPath(const QString& name);

/// Everything a test may change about the process, put back when it ends: a temporary folder
/// holds the per-user and machine-wide settings (XDG_CONFIG_HOME, XDG_CONFIG_DIRS) and HOME; the
/// services answer with fixed values (today 2024-05-15, en_US locale, user "tester", computer
/// "TESTPC", program and documents folders inside the temporary folder); the test's session
/// starts with no data file or help file and with a scripted error reporter and message box.
/// Not copyable; create one per test.
class ScopedTestEnvironment {
public:
    ScopedTestEnvironment();
    ~ScopedTestEnvironment();
    ScopedTestEnvironment(const ScopedTestEnvironment&) = delete;
    ScopedTestEnvironment& operator=(const ScopedTestEnvironment&) = delete;

    /// The temporary folder (no trailing "/") and a path inside it.
    QString root() const;
    QString path(const QString& relative) const;

    QString homeFolder() const;          ///< HOME
    QString configHome() const;          ///< XDG_CONFIG_HOME
    QString machineConfigDir() const;    ///< the only XDG_CONFIG_DIRS entry
    QString userSettingsFile() const;    ///< the per-user hive's file
    QString machineSettingsFile() const; ///< the machine-wide hive's file

    /// The scripted components now installed (nullptr if a test replaced them with other types).
    ScriptedErrorReporter* errorReporter() const;
    ScriptedMessageBox* messageBox() const;

    /// The session the test's window, dialogs and data-file helpers are handed.
    Session& session() { return m_session; }

    void setToday(const QDate& date) { m_today = date; }
    QDate today() const { return m_today; }
    void setLocale(const QLocale& locale) { m_locale = locale; }
    void setUserName(const QString& name) { m_userName = name; }
    void setComputerName(const QString& name) { m_computerName = name; }
    /// Folders created by the environment: <root>/program and <root>/home/Documents.
    void setProgramFolder(const QString& folder) { m_programFolder = folder; }
    QString programFolder() const { return m_programFolder; }
    void setDocumentsFolder(const QString& folder) { m_documentsFolder = folder; }
    QString documentsFolder() const { return m_documentsFolder; }
    /// Answer of services().compiledHelpViewerRegistered (false unless set).
    void setCompiledHelpViewerRegistered(bool registered) { m_chmViewer = registered; }

    /// What services().openUrl was handed (it answers true).
    const QStringList& openedUrls() const { return m_openedUrls; }
    /// Boxes that reached services().platformMessageBox (answered as Enter would).
    const QList<MessageRequest>& platformRequests() const { return m_platformRequests; }

private:
    struct SavedVariable {
        QByteArray name;
        std::optional<QByteArray> value;
    };

    QTemporaryDir m_dir;
    QList<SavedVariable> m_savedVariables;
    Services m_savedServices;

    QDate m_today{2024, 5, 15};
    QLocale m_locale{QLocale::English, QLocale::UnitedStates};
    QString m_userName = QStringLiteral("tester");
    QString m_computerName = QStringLiteral("TESTPC");
    QString m_programFolder;
    QString m_documentsFolder;
    bool m_chmViewer = false;
    Session m_session;
    QStringList m_openedUrls;
    QList<MessageRequest> m_platformRequests;
};

/// GoogleTest base class: a ScopedTestEnvironment for every test.
class ServicesFixture : public ::testing::Test {
protected:
    void SetUp() override { m_env = std::make_unique<ScopedTestEnvironment>(); }
    void TearDown() override { m_env.reset(); }

    ScopedTestEnvironment& env() { return *m_env; }
    Session& session() { return m_env->session(); }
    ScriptedErrorReporter* errorReporter() const { return m_env->errorReporter(); }
    ScriptedMessageBox* messageBox() const { return m_env->messageBox(); }

private:
    std::unique_ptr<ScopedTestEnvironment> m_env;
};

namespace detail {
inline int& appArgc() {
    static int argc = 1;
    return argc;
}
inline char** appArgv() {
    static char name[] = "tallyrow-test";
    static char* argv[] = {name, nullptr};
    return argv;
}
} // namespace detail

/// The process's application object, created once on first use and kept to the end. A test
/// program uses one kind: once a core application exists, the GUI kinds cannot be made.
inline QCoreApplication* ensureCoreApp() {
    if (!QCoreApplication::instance())
        new QCoreApplication(detail::appArgc(), detail::appArgv());
    return QCoreApplication::instance();
}

inline QGuiApplication* ensureGuiApp() {
    if (!QCoreApplication::instance())
        new QGuiApplication(detail::appArgc(), detail::appArgv());
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance());
}

#ifdef TALLYROW_TEST_HAS_WIDGETS
/// Needs the test to link Qt6::Widgets.
inline QApplication* ensureWidgetsApp() {
    if (!QCoreApplication::instance())
        new QApplication(detail::appArgc(), detail::appArgv());
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}
#endif

} // namespace tallyrow::test
