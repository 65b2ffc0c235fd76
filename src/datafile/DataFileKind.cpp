#include "datafile/DataFileKind.h"

#include "datafile/KeptDescriptor.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyrow {

namespace {

DataFileProbe notARegularFile(mode_t mode) {
    const char* kind = S_ISFIFO(mode)   ? "a named pipe"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "a special file";
    return {DataFileKind::Unreadable,
            QStringLiteral("it is %1, not a regular file").arg(QLatin1String(kind))};
}

} // namespace

DataFileProbe probeDataFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (native.isEmpty() || ::stat(native.constData(), &st) != 0) {
        if (errno == EACCES) {
            return {DataFileKind::Unreadable, QString::fromLocal8Bit(std::strerror(errno))};
        }
        return {DataFileKind::Missing, {}};
    }
    if (S_ISDIR(st.st_mode)) {
        return {DataFileKind::Folder, {}};
    }
    // A pipe or a device is refused before it is opened: opening a pipe waits for a writer, and
    // a device may never end. The file is opened without waiting and judged again by what was
    // opened, in case the name was given to something else in between.
    if (!S_ISREG(st.st_mode)) {
        return notARegularFile(st.st_mode);
    }
    // Through a descriptor kept open: closing one would drop the locks a connection of this
    // process holds on the file.
    struct stat opened {};
    const int fd = keptDescriptor(native, opened);
    if (fd < 0) {
        if (errno == EINVAL) {
            return S_ISDIR(opened.st_mode) ? DataFileProbe{DataFileKind::Folder, {}}
                                           : notARegularFile(opened.st_mode);
        }
        return {DataFileKind::Unreadable, QString::fromLocal8Bit(std::strerror(errno))};
    }
    char bytes[32];
    const ssize_t got = ::pread(fd, bytes, sizeof bytes, 0);
    if (got < 0) {
        return {DataFileKind::Unreadable, QString::fromLocal8Bit(std::strerror(errno))};
    }
    const QByteArray head(bytes, int(got));
    if (head.isEmpty()) {
        return {DataFileKind::Empty, {}};
    }
    if (head.startsWith(QByteArrayLiteral("SQLite format 3\0"))) {
        return {DataFileKind::SQLite, {}};
    }
    // Jet files start with a page-type 0 byte, three zero bytes, then the format name.
    const QByteArray name = head.mid(4, 15);
    if (name == QByteArrayLiteral("Standard Jet DB") || name == QByteArrayLiteral("Standard ACE DB")) {
        return {DataFileKind::Jet, {}};
    }
    return {DataFileKind::Other, {}};
}

} // namespace tallyrow
