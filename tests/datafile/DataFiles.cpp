#include "DataFiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace tallyrow::test {

FileFingerprint fingerprint(const QString& path) {
    QFile f(path);
    FileFingerprint fp;
    if (f.open(QIODevice::ReadOnly)) {
        fp.sha1 = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
    }
    const QFileInfo info(path);
    fp.modified = info.lastModified();
    fp.size = info.size();
    return fp;
}

} // namespace tallyrow::test
