#include "datafile/DataSource.h"

#include "datafile/DataFileKind.h"
#include "datafile/JetProvider.h"
#include "datafile/PostgresProvider.h"
#include "datafile/PostgresUri.h"
#include "datafile/Provider.h"
#include "datafile/SqliteProvider.h"
#include "support/Error.h"

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

DataSource::DataSource(QString pathOrUri)
    : m_kind(pathOrUri.isEmpty()        ? Kind::None
             : isPostgresUri(pathOrUri) ? Kind::Server
                                        : Kind::File),
      m_location(std::move(pathOrUri)) {}

DataSource DataSource::absolute() const {
    return m_kind == Kind::File ? DataSource(QFileInfo(m_location).absoluteFilePath()) : *this;
}

QString DataSource::shownName() const {
    return m_kind == Kind::Server ? redactedPostgresUri(m_location) : m_location;
}

QString DataSource::noun() const {
    return m_kind == Kind::Server ? u"the database"_s : u"the data file"_s;
}

QString DataSource::storable() const {
    if (m_kind != Kind::Server) {
        return m_location;
    }
    QString uri = redactedPostgresUri(m_location);
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

QString DataSource::filePath() const {
    return m_kind == Kind::File ? m_location : QString();
}

std::optional<QString> DataSource::partAt(const QString& output) const {
    const QString dataFile = filePath();
    if (output.isEmpty() || dataFile.isEmpty())
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

QString DataSource::absence() const {
    if (m_kind != Kind::File)
        return {};
    const QFileInfo info(m_location);
    if (!info.exists())
        return u"the file does not exist"_s;
    if (info.isDir())
        return u"it is a folder, not a file"_s;
    return {};
}

bool DataSource::keepsSavedCopy() const {
    return m_kind == Kind::File;
}

std::unique_ptr<Connection::Provider> DataSource::open() const {
    switch (m_kind) {
    case Kind::None:
        throw Error(ErrNo::DataSource, u"Cannot open the data file: no file was named."_s);
    case Kind::Server:
        return openPostgresProvider(m_location);
    case Kind::File:
        break;
    }
    const QString& dataSource = m_location;
    const DataFileProbe probe = probeDataFile(dataSource);
    switch (probe.kind) {
    case DataFileKind::Missing:
        throw openFailure(dataSource, u"the file does not exist"_s);
    case DataFileKind::Folder:
        throw openFailure(dataSource, u"it is a folder, not a file"_s);
    case DataFileKind::Unreadable:
        throw openFailure(dataSource, u"the file cannot be read (%1)"_s.arg(probe.detail));
    case DataFileKind::Empty:
        throw openFailure(dataSource, u"the file is empty"_s);
    case DataFileKind::SQLite:
        return openSqliteProvider(dataSource);
    case DataFileKind::Jet:
        return openJetProvider(dataSource);
    case DataFileKind::Other:
        break;
    }
    throw openFailure(dataSource, u"it is not a data file (neither an SQLite nor an Access database)"_s);
}

} // namespace tallyrow
