#include "support/FileUtils.h"

#include "support/Error.h"
#include "support/Services.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

namespace tallyrow {

namespace {

// Shows the busy cursor for its lifetime when there is a GUI to show it on.
class BusyCursor {
public:
    BusyCursor() : m_active(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        if (m_active)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor() {
        if (m_active)
            QGuiApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool m_active;
};

bool hasWildcard(const QString& name) {
    return name.contains(u'*') || name.contains(u'?');
}

// Only * and ? are wildcards; every other character, brackets included, stands for itself. As on
// the desktop the program came from, a final ".*" also takes names without an extension.
QRegularExpression wildcardExpression(QString pattern) {
    const bool anyExtension = pattern.endsWith(QLatin1String(".*"));
    if (anyExtension)
        pattern.chop(2);
    QString expression;
    for (const QChar c : pattern) {
        if (c == u'*')
            expression += QStringLiteral(".*");
        else if (c == u'?')
            expression += u'.';
        else
            expression += QRegularExpression::escape(QString(c));
    }
    if (anyExtension)
        expression += QStringLiteral("(?:\\..*)?");
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::DotMatchesEverythingOption);
}

// One directory search: does anything match `path` (a wildcard name in its last component)?
// A path ending in "/" searches the folder's own entries, where "." always matches folders.
bool searchFirst(const QString& path, bool folders) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder =
        slash < 0 ? QStringLiteral(".") : (slash == 0 ? QStringLiteral("/") : path.left(slash));
    QString pattern = path.mid(slash + 1);
    if (pattern.isEmpty()) {
        if (!QFileInfo(folder).isDir())
            return false;
        if (folders)
            return true;
        pattern = QStringLiteral("*");
    }
    if (!hasWildcard(pattern)) {
        const QFileInfo info(path);
        return info.exists() && (folders || !info.isDir());
    }
    const QDir dir(folder);
    if (!dir.exists())
        return false;
    QDir::Filters filters = QDir::Files | QDir::Hidden | QDir::System;
    if (folders)
        filters |= QDir::Dirs | QDir::NoDotAndDotDot;
    const QRegularExpression match = wildcardExpression(pattern);
    const QStringList names = dir.entryList(filters, QDir::NoSort);
    for (const QString& name : names)
        if (match.match(name).hasMatch())
            return true;
    return false;
}

} // namespace

QString specialFolder(SpecialFolder specialFolderId, bool createIt) {
    return withStep(QStringLiteral("finding a special folder"), [&]() -> QString {
        if (specialFolderId != SpecialFolder::Personal || !services().documentsFolder)
            return {};
        QString folder = services().documentsFolder();
        while (folder.size() > 1 && folder.endsWith(u'/'))
            folder.chop(1);
        if (folder.isEmpty())
            return {};
        if (createIt && !QFileInfo(folder).isDir())
            QDir().mkpath(folder);
        // A folder that is not there (and was not made) is no answer.
        return QFileInfo(folder).isDir() ? folder : QString();
    });
}

QString withoutNulsTrimmed(const QString& text) {
    QString out = text;
    out.remove(QChar(u'\0'));
    return trimBlanks(out);
}

QString trimBlanks(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text[start] == u' ')
        ++start;
    while (end > start && text[end - 1] == u' ')
        --end;
    return text.mid(start, end - start);
}

bool fileExists(const QString& path, FileAttr attributes, bool* notFound) {
    return withStep(QStringLiteral("looking for the file"), [&]() -> bool {
        BusyCursor busy;
        if (notFound)
            *notFound = false;
        const QString cleaned = withoutNulsTrimmed(path);
        if (cleaned.isEmpty())
            return false;
        const bool folders = attributes == FileAttr::Directory;
        if (searchFirst(cleaned, folders))
            return true;
        // One more try with a trailing "/", which searches inside the folder itself.
        if (folders && !cleaned.endsWith(u'/') && searchFirst(cleaned + u'/', folders))
            return true;
        if (notFound)
            *notFound = true;
        return false;
    });
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    // The root stays the root: a file in "/" lives in "/", not in "".
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

void makeDirPath(const QString& path) {
    withStep(QStringLiteral("making the folder"), [&] {
        if (path.isEmpty())
            return;
        const QString walked = path + u'/';
        for (qsizetype pos = walked.indexOf(u'/'); pos >= 0; pos = walked.indexOf(u'/', pos + 1)) {
            const QString prefix = walked.left(pos);
            // An empty prefix is the root (or the "//" of a doubled separator): never created.
            if (prefix.isEmpty() || prefix.endsWith(u'/'))
                continue;
            if (QFileInfo::exists(prefix))
                continue;
            if (!QDir().mkdir(prefix))
                throw Error(ErrNo::PathFileAccess, QStringLiteral("Path/File access error"));
        }
    });
}

bool folderExists(const QString& path) {
    try {
        return !path.isEmpty() && QFileInfo(path).isDir();
    } catch (...) {
        return false;
    }
}

QString currentUserName(const QString& def) {
    return withStep(QStringLiteral("finding the user's name"), [&]() -> QString {
        const QString name = services().loggedInUserName ? services().loggedInUserName() : QString();
        return name.isEmpty() ? def : name;
    });
}

QString currentComputerName(const QString& def) {
    return withStep(QStringLiteral("finding the computer's name"), [&]() -> QString {
        const QString name = services().localComputerName ? services().localComputerName() : QString();
        return name.isEmpty() ? def : name;
    });
}

void openWebSite(const QString& address, QObject* /*owner*/) {
    withStep(QStringLiteral("opening the web site"), [&] {
        if (services().openUrl)
            services().openUrl(address);
    });
}

QString programFolderPath() {
    return services().programFolder ? services().programFolder() : QString();
}

} // namespace tallyrow
