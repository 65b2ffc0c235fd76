#include "support/AtomicFile.h"

#include "support/TemporaryFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

QString systemReason(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

FileWriteResult failure(int err) {
    return {false, err, systemReason(err)};
}

QString kindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return u"a folder"_s;
    if (S_ISFIFO(mode))
        return u"a named pipe"_s;
    if (S_ISCHR(mode))
        return u"a character device"_s;
    if (S_ISBLK(mode))
        return u"a block device"_s;
    if (S_ISSOCK(mode))
        return u"a socket"_s;
    return u"a special file"_s;
}

// Where a chain of links at `path` ends; `path` itself when it is no link. A link to nothing
// ends at the name it points to, so the file is created there. A link is followed only where the
// kernel's protected-symlinks rule would follow it: not one that another user owns in a shared
// folder (sticky and writable by all) unless that user owns the folder too; such a link gives a
// refusal in `refused`.
QString endOfLinks(const QString& path, QString& refused) {
    QFileInfo info(path);
    for (int hops = 0; info.isSymLink() && hops < 40; ++hops) {
        struct stat link {};
        struct stat folder {};
        if (::lstat(QFile::encodeName(info.absoluteFilePath()).constData(), &link) == 0 &&
            ::stat(QFile::encodeName(info.absolutePath()).constData(), &folder) == 0 &&
            (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0 &&
            link.st_uid != ::geteuid() && link.st_uid != folder.st_uid) {
            const struct passwd* owner = ::getpwuid(link.st_uid);
            refused =
                u"it is a link owned by %1 in the shared folder %2, and links there are followed only when "
                "they are yours"_s.arg(owner ? QString::fromLocal8Bit(owner->pw_name)
                                             : QString::number(link.st_uid),
                                       info.absolutePath());
            return {};
        }
        info.setFile(info.symLinkTarget());
    }
    return info.filePath();
}

// Creates a new, empty file "<folder>/.<name>.XXXXXX" with `mode` (less the umask), registered
// in `slot` so that a signal ending the program removes it, and locked (flock) while it is open
// so that a cleaner can tell it from one whose writer is gone.
int createTemporary(const QString& target, mode_t mode, QByteArray& tempName, int& slot) {
    const QFileInfo info(target);
    const QString prefix = info.absolutePath() + u"/."_s + info.fileName() + u'.';
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))]);
        tempName = QFile::encodeName(prefix + suffix);
        slot = registerTemporary(tempName.constData());
        const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            return fd;
        }
        const int err = errno;
        releaseTemporary(slot);
        slot = -1;
        errno = err;
        if (err != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const char* data, std::size_t left) {
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        left -= std::size_t(n);
    }
    return true;
}

// Makes the rename itself survive a crash; a folder that cannot be synced (some file systems
// refuse) does not undo a file that is already in place.
void syncFolder(const QString& target) {
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The descriptor a path of the kernel's or of /dev names: /dev/stdout, /dev/fd/3,
// /proc/self/fd/3, /proc/<this process>/fd/3.
std::optional<int> descriptorOfName(const QString& path) {
    static const QString streams[] = {u"/dev/stdin"_s, u"/dev/stdout"_s, u"/dev/stderr"_s};
    for (int i = 0; i < 3; ++i) {
        if (path == streams[i])
            return i;
    }
    const QStringList parts = path.split(u'/');
    // "", "dev", "fd", "N" or "", "proc", "self", "fd", "N"
    const bool devFd = parts.size() == 4 && parts[1] == u"dev"_s && parts[2] == u"fd"_s;
    const bool procFd =
        parts.size() == 5 && parts[1] == u"proc"_s && parts[3] == u"fd"_s &&
        (parts[2] == u"self"_s || parts[2] == u"thread-self"_s || parts[2] == QString::number(::getpid()));
    if (!devFd && !procFd)
        return std::nullopt;
    bool number = false;
    const int fd = parts.last().toInt(&number);
    if (!number || fd < 0 || parts.last() != QString::number(fd))
        return std::nullopt;
    return fd;
}

// Writes all of `content` to `fd`: 0, or the error that stopped it (ECANCELED when the content
// itself stopped).
int writeContent(int fd, const FileContent& content) {
    int writeError = 0;
    const bool whole = content([&](const char* data, std::size_t size) {
        if (writeAll(fd, data, size))
            return true;
        writeError = errno;
        return false;
    });
    return whole ? 0 : writeError != 0 ? writeError : ECANCELED;
}

FileWriteResult writeToDescriptor(int fd, const FileContent& content) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return failure(errno);
    if (const int error = writeContent(fd, content))
        return failure(error);
    // A file is synced as a replaced one would be; a pipe or a terminal has nothing to sync.
    if (S_ISREG(st.st_mode) && ::fsync(fd) != 0)
        return failure(errno);
    return {true, 0, {}};
}

} // namespace

std::optional<int> descriptorNamedBy(const QString& path) {
    QString current = path;
    for (int hops = 0; !current.isEmpty() && hops < 40; ++hops) {
        const QString clean = QDir::cleanPath(QFileInfo(current).absoluteFilePath());
        if (const auto fd = descriptorOfName(clean))
            return fd;
        const QFileInfo info(clean);
        if (!info.isSymLink())
            return std::nullopt;
        current = info.symLinkTarget();
    }
    return std::nullopt;
}

FileWriteResult writeFileAtomically(const QString& path, const QByteArray& content, LinkAtTarget links) {
    return writeFileAtomically(
        path, [&](const auto& write) { return write(content.constData(), std::size_t(content.size())); },
        links);
}

FileWriteResult writeFileAtomically(const QString& path, const FileContent& content, LinkAtTarget links,
                                    NewFileAccess access, FileSync sync) {
    if (path.isEmpty())
        return failure(ENOENT);
    // A name of an open descriptor leads to a file the shell opened for us (perhaps to append
    // to): it is written through the descriptor and never replaced.
    if (links == LinkAtTarget::Follow) {
        if (const auto fd = descriptorNamedBy(path))
            return writeToDescriptor(*fd, content);
    }
    QString refused;
    const QString target = links == LinkAtTarget::Follow ? endOfLinks(path, refused) : path;
    if (!refused.isEmpty())
        return {false, 0, refused};
    const QByteArray native = QFile::encodeName(target);

    // The permission bits of the file being replaced; never set-id bits, which would otherwise
    // pass to a file that now belongs to whoever saved it.
    std::optional<mode_t> keptMode;
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode) && !S_ISREG(st.st_mode))
            return {false, 0, u"it is %1, not a regular file"_s.arg(kindOf(st.st_mode))};
        if (S_ISREG(st.st_mode))
            keptMode = st.st_mode & 0777;
    } else if (errno != ENOENT) {
        return failure(errno);
    }

    // A replacement starts private and gets the old bits once it is complete, so it is never
    // readable by more people than the old file was.
    QByteArray tempName;
    int slot = -1;
    const int fd =
        createTemporary(target, keptMode || access == NewFileAccess::OwnerOnly ? 0600 : 0666, tempName, slot);
    if (fd < 0)
        return failure(errno);
    auto abandon = [&](int err, bool open) {
        if (open)
            ::close(fd);
        ::unlink(tempName.constData());
        releaseTemporary(slot);
        return failure(err);
    };
    if (const int error = writeContent(fd, content))
        return abandon(error, true);
    if (keptMode && ::fchmod(fd, *keptMode) != 0)
        return abandon(errno, true);
    // A write can be taken into the cache and fail only when it reaches the disk: the sync and
    // the close are where a full disk or a failing device says so.
    if (sync == FileSync::ToDisk && ::fsync(fd) != 0)
        return abandon(errno, true);
    if (::close(fd) != 0)
        return abandon(errno, false);
    if (::rename(tempName.constData(), native.constData()) != 0)
        return abandon(errno, false);
    releaseTemporary(slot);
    if (sync == FileSync::ToDisk)
        syncFolder(target);
    return {true, 0, {}};
}

std::optional<QString> nonRegularFileKind(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (native.isEmpty() || ::stat(native.constData(), &st) != 0 || S_ISREG(st.st_mode))
        return std::nullopt;
    return kindOf(st.st_mode);
}

} // namespace tallyrow
