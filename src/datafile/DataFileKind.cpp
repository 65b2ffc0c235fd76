#include "datafile/DataFileKind.h"

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
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {DataFileKind::Unreadable, QString::fromLocal8Bit(std::strerror(errno))};
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? DataFileProbe{DataFileKind::Folder, {}} : notARegularFile(st.st_mode);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {DataFileKind::Unreadable, file.errorString()};
    }
    const QByteArray head = file.read(32);
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
