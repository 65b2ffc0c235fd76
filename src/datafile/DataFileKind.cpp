#include "datafile/DataFileKind.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tallyrow {

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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
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
