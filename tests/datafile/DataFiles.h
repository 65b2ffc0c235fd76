#pragma once

#include "testsupport/ActivityData.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace tallyrow::test {

/// Bytes and modification time of a file, to prove it was not touched.
struct FileFingerprint {
    QByteArray sha1;
    QDateTime modified;
    qint64 size = -1;
    bool operator==(const FileFingerprint&) const = default;
};
FileFingerprint fingerprint(const QString& path);

} // namespace tallyrow::test
