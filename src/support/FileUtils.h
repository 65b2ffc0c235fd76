#pragma once

#include <QString>

class QObject;

namespace tallyrow {

/// Shell folder identifiers; only the documents folder is asked for.
enum class SpecialFolder {
    Personal = 5, ///< the user's documents folder
};

/// What fileExists matches.
enum class FileAttr {
    Normal = 0,     ///< ordinary files only
    Directory = 16, ///< folders match too
};

/// The folder without trailing "/", or "" when it cannot be determined or does not exist; with
/// createIt a missing folder is created first.
QString specialFolder(SpecialFolder specialFolderId, bool createIt = false);

/// Whether something matches `path` (wildcards * and ? in the last component match). With
/// FileAttr::Directory folders match too, and a failing search is retried once with "/"
/// appended. `notFound` (optional) is set to whether a search found nothing. Only * and ? are
/// wildcards (a final ".*" also takes names without extension); hidden files count. Blanks and
/// NULs around the path are removed; an empty path is false without a search. Shows the busy cursor when a
/// GUI exists.
bool fileExists(const QString& path, FileAttr attributes = FileAttr::Normal, bool* notFound = nullptr);

/// Removes every NUL, then leading and trailing blanks.
QString withoutNulsTrimmed(const QString& text);

/// `text` without its leading and trailing blanks: spaces only, so a tab or line break stays
/// part of the text it belongs to.
QString trimBlanks(const QString& text);

/// The folder part: the text before the last "/" ("/" itself for a file in the root), "" when
/// there is no "/".
QString folderOf(const QString& path);

/// Creates every missing level of `path`; never tries to create the root.
void makeDirPath(const QString& path);

/// True when `path` names an existing folder; false for anything else, errors included.
bool folderExists(const QString& path);

QString currentUserName(const QString& def);
QString currentComputerName(const QString& def);

/// Opens the address with the desktop's handler; the outcome is not checked.
void openWebSite(const QString& address, QObject* owner = nullptr);

/// The folder of the running executable (through services()).
QString programFolderPath();

} // namespace tallyrow
