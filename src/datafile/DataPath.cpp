#include "datafile/DataPath.h"

#include "datafile/DataSource.h"
#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Registry.h"
#include "support/Services.h"
#include "support/StepRunner.h"

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {
const QString kDatabasePathSetting = u"DatabasePath"_s;
} // namespace

QString dataPathOf(Session& session, QString fileName) {
    return withStep(u"finding the data file"_s, [&]() -> QString {
        if (session.dataPath.size() > 1) {
            return session.dataPath;
        }
        if (!fileName.startsWith(u'/')) {
            fileName.prepend(u'/');
        }
        if (!session.commandLineDataPath.isEmpty()) {
            session.dataPath = session.commandLineDataPath;
            return session.dataPath;
        }
        session.dataPath = readSettingWithFallback(kDatabasePathSetting, QString(), QString(), true);
        if (!session.dataPath.isEmpty()) {
            return session.dataPath;
        }
        const QString documents = specialFolder(SpecialFolder::Personal, false);
        const QString besideProgram = programFolderPath() + fileName;
        if (documents.size() < 4) {
            if (fileExists(besideProgram)) {
                session.dataPath = besideProgram;
            }
            return session.dataPath;
        }
        session.dataPath = documents + u'/' + ApplicationName + fileName;
        if (fileExists(session.dataPath)) {
            return session.dataPath;
        }
        if (fileExists(besideProgram)) {
            session.dataPath = besideProgram;
        }
        return session.dataPath;
    });
}

QString connectionStringOf(const QString& path) {
    // The database password is the empty text; the trailing blank stays.
    return u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source="_s + path + u"; Jet OLEDB:Database Password = "_s;
}

bool openConnection(std::unique_ptr<Connection>& cn, const QString& path, const FailureHandler& onFailure) {
    bool result = false;
    StepRunner run(onFailure, u"opening the data file"_s, QString(), false);
    // A connection whose open failed is no connection, even when the user chose to go on: the
    // caller would take a file that does not open, or read through a closed connection.
    const bool opened = run.step([&] { cn = std::make_unique<Connection>(); }) &&
                        run.step([&] { cn->Open(connectionStringOf(path), QString(), QString(), -1); });
    if (opened) {
        run.step([&] { result = true; });
    }
    return result;
}

bool closeConnection(std::unique_ptr<Connection>& cn, const FailureHandler& onFailure) {
    bool result = false;
    StepRunner run(onFailure, u"closing the data file"_s, QString(), false);
    run.step([&] {
        if (cn && cn->State() != 0) {
            cn->Close();
        }
    });
    run.step([&] { cn.reset(); });
    run.step([&] { result = true; });
    return result;
}

bool checkDataPath(Session& session, const QString& path, const FailureHandler& onFailure) {
    bool result = false;
    QString candidate = path;
    bool opened = false;
    std::unique_ptr<Connection> cn;
    StepRunner run(onFailure, u"checking the data file"_s, QString(), false);
    run.step([&] {
        if (candidate.isEmpty()) {
            candidate = dataPathOf(session, kDefaultDataFileName);
        }
    });
    // A server URI is no file to look for: connecting (with the provider's short timeout) is the test.
    run.step([&] {
        const DataSource source(candidate);
        const bool there = source.filePath().isEmpty() ? !source.isEmpty() : fileExists(candidate);
        opened = there && openConnection(cn, candidate, onFailure);
    });
    run.step([&] {
        if (opened) {
            closeConnection(cn, onFailure);
            result = true;
        }
    });
    return result;
}

void saveDataPath(Session& session, const QString& newPath, bool sessionOnly,
                  const FailureHandler& onFailure) {
    StepRunner run(onFailure, u"storing the data file location"_s, u"Storing the data file location"_s,
                   false);
    run.step([&] {
        if (session.commandLineDataPath.size() >= 2) {
            session.commandLineDataPath = newPath;
            session.dataPath = newPath;
        } else if (sessionOnly) {
            session.dataPath = newPath;
        } else if (!writeSetting(kDatabasePathSetting, DataSource(newPath).storable(), QString(), true,
                                 Hkey::CurrentUser)) {
            // The store said no: say so rather than let the user believe the location was kept.
            throw Error(ErrNo::PathFileAccess, u"The data file location could not be stored in %1."_s.arg(
                                                   hiveFilePath(Hkey::CurrentUser)));
        }
    });
}

std::chrono::seconds savedDataFileWait() {
    bool number = false;
    const int seconds = readSettingWithFallback(u"DataFileWaitSeconds"_s, QString(), QString(), true)
                            .trimmed()
                            .toInt(&number);
    return number && seconds >= 0 && seconds <= 3600 ? std::chrono::seconds(seconds)
                                                     : std::chrono::seconds(60);
}

bool saveDataFileWait(std::chrono::seconds wait) {
    return writeSetting(u"DataFileWaitSeconds"_s, QString::number(wait.count()), QString(), true,
                        kSettingsHive);
}

} // namespace tallyrow
