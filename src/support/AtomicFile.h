#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <optional>

namespace tallyrow {

/// What to do with a symbolic link found at the target of writeFileAtomically.
enum class LinkAtTarget {
    Follow,  ///< write the file the link leads to (the link itself stays)
    Replace, ///< put the new file in place of the link; what it led to is left alone
};

/// The outcome of writeFileAtomically.
struct FileWriteResult {
    bool ok = false;
    int error = 0;  ///< errno of the step that failed; 0 when ok or when the target was refused
    QString reason; ///< why it failed, in the system's words ("No space left on device")

    explicit operator bool() const { return ok; }
};

/// Puts `content` at `path` so that the file is either the old one or the whole new one.
///
/// The bytes go to a new file beside the target, every write, the sync to the disk and the
/// close are checked, and only then is it renamed over the target. On any failure the target is
/// left as it was and nothing is left behind. A file that is replaced keeps its permission bits;
/// a new file gets 0666 less the umask. An existing target that is not a regular file (a folder,
/// a device, a pipe, a socket) is refused without being touched. The temporary file is removed
/// too when SIGINT, SIGTERM or SIGHUP end the program (see removeTemporariesOnSignals), and is
/// locked with flock while it is written.
///
/// With LinkAtTarget::Follow, a path that names one of this process's open descriptors (see
/// descriptorNamedBy) is written straight through that descriptor instead: a file the shell
/// opened for the program, to append to say, is written as it was opened and never replaced.
FileWriteResult writeFileAtomically(const QString& path, const QByteArray& content,
                                    LinkAtTarget links = LinkAtTarget::Follow);

/// Who may read a new file: everybody the umask allows, or its owner only (a replacement keeps
/// the bits of the file it replaces either way).
enum class NewFileAccess { Umask, OwnerOnly };

/// Hands a new file's bytes to `write` piece by piece; returns false to stop (the write then
/// fails with ECANCELED and nothing is left behind). `write` returns false when a piece could not
/// be written; the producer then stops.
using FileContent = std::function<bool(const std::function<bool(const char*, std::size_t)>& write)>;

/// Whether a new file is synced to the disk before it replaces the old one (a document), or left
/// to the system to write back (a cache whose every byte is checked when read: a copy lost or
/// torn in a crash is only made again).
enum class FileSync { ToDisk, Cache };

/// writeFileAtomically for content made while it is written, so a large file is never held in
/// memory whole.
FileWriteResult writeFileAtomically(const QString& path, const FileContent& content,
                                    LinkAtTarget links = LinkAtTarget::Follow,
                                    NewFileAccess access = NewFileAccess::Umask,
                                    FileSync sync = FileSync::ToDisk);

/// The open descriptor of this process that `path` names, itself or through links: /dev/stdout
/// (1), /dev/stdin, /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/<this process>/fd/N. Nothing
/// for any other path.
std::optional<int> descriptorNamedBy(const QString& path);

/// When `path` exists (links followed) and is not a regular file: what it is, in words that
/// fit after "it is" ("a folder", "a named pipe", "a character device", ...). Nothing for a
/// regular file or a missing one.
std::optional<QString> nonRegularFileKind(const QString& path);

} // namespace tallyrow
