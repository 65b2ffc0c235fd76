#include "datafile/DataPath.h"

#include "datafile/PostgresUri.h"
#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Registry.h"
#include "support/Services.h"
#include "support/StepRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <utility>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {
const QString kDatabasePathSetting = u"DatabasePath"_s;

// What may be written to the settings file for `dataSource`: a file path as it stands, a server
// URI without its password. The settings file is plain text; libpq finds the password in
// ~/.pgpass or PGPASSFILE at the next start instead.
QString storableDataSource(const QString& dataSource) {
    if (!isPostgresUri(dataSource)) {
        return dataSource;
    }
    QString uri = redactedPostgresUri(dataSource);
    // libpq decodes the keywords of the query part as well, so "pass%77ord=" is a password too.
    const qsizetype authority = uri.indexOf(u"://"_s) + 3;
    const qsizetype slash = uri.indexOf(u'/', authority);
    const qsizetype query = uri.indexOf(u'?', slash < 0 ? authority : slash);
    if (query >= 0) {
        QStringList kept;
        for (const QString& pair : uri.mid(query + 1).split(u'&')) {
            const QString key = QUrl::fromPercentEncoding(pair.section(u'=', 0, 0).toUtf8());
            if (key != u"password"_s) {
                kept << pair;
            }
        }
        uri = uri.left(query) + (kept.isEmpty() ? QString() : u'?' + kept.join(u'&'));
    }
    return uri;
}
} // namespace

QString dataPathOf(Session& session, QString fileName) {
    return withTrail(u"finding the data file&"_s, [&]() -> QString {
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
    StepRunner run(onFailure, u"opening the data file&"_s, QString(), false);
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
    StepRunner run(onFailure, u"closing the data file&"_s, QString(), false);
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
    StepRunner run(onFailure, u"checking the data file&"_s, QString(), false);
    run.step([&] {
        if (candidate.isEmpty()) {
            candidate = dataPathOf(session, kDefaultDataFileName);
        }
    });
    // A server URI is no file to look for: connecting (with the provider's short timeout) is the test.
    run.step([&] {
        opened =
            (isPostgresUri(candidate) || fileExists(candidate)) && openConnection(cn, candidate, onFailure);
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
    StepRunner run(onFailure, u"storing the data file location&"_s, u"Storing the data file location"_s,
                   false);
    run.step([&] {
        if (session.commandLineDataPath.size() >= 2) {
            session.commandLineDataPath = newPath;
            session.dataPath = newPath;
        } else if (sessionOnly) {
            session.dataPath = newPath;
        } else if (!writeSetting(kDatabasePathSetting, storableDataSource(newPath), QString(), true,
                                 Hkey::CurrentUser)) {
            // The store said no: say so rather than let the user believe the location was kept.
            throw Error(ErrNo::PathFileAccess, u"The data file location could not be stored in %1."_s.arg(
                                                   hiveFilePath(Hkey::CurrentUser)));
        }
    });
}

namespace {

// Where a chain of links at `path` ends, with the links of its folders resolved as well; a link
// to nothing ends at the name it points to. The name as given, made absolute, when that folder
// does not exist.
QString resolvedName(const QString& path) {
    QFileInfo info(QFileInfo(path).absoluteFilePath());
    for (int hops = 0; info.isSymLink() && hops < 40; ++hops)
        info.setFile(info.symLinkTarget());
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + u'/' + info.fileName();
}

std::optional<std::pair<dev_t, ino_t>> fileIdentity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return std::pair{st.st_dev, st.st_ino};
}

// The same file: the same device and inode when both exist, else the same resolved name, so a
// companion not yet made is found by its name too.
bool namesSameFile(const QString& a, const QString& b) {
    const auto idA = fileIdentity(a);
    const auto idB = fileIdentity(b);
    if (idA && idB)
        return *idA == *idB;
    return resolvedName(a) == resolvedName(b);
}

} // namespace

std::optional<QString> dataFilePartAt(const QString& output, const QString& dataFile) {
    if (output.isEmpty() || dataFile.isEmpty() || isPostgresUri(dataFile))
        return std::nullopt;
    static const std::pair<const char*, const char*> parts[] = {
        {"", "the data file"},
        {"-wal", "the data file's write-ahead log"},
        {"-journal", "the data file's rollback journal"},
        {"-shm", "the data file's shared-memory index"},
    };
    // SQLite keeps its companions beside the file a link leads to; a writer that opened another
    // hard link of the file keeps them beside that name, which shows in the output's own name.
    const QString real = resolvedName(dataFile);
    const QString out = resolvedName(output);
    const auto data = fileIdentity(real);
    for (const auto& [suffix, words] : parts) {
        const QString ending = QLatin1String(suffix);
        const bool companion =
            namesSameFile(output, dataFile + ending) || namesSameFile(output, real + ending);
        const bool besideLink = !ending.isEmpty() && out.endsWith(ending) && data &&
                                fileIdentity(out.chopped(ending.size())) == data;
        if (companion || besideLink)
            return QString::fromLatin1(words);
    }
    return std::nullopt;
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
