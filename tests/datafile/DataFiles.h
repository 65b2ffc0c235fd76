#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace tallyrow::test {

/// One Activity row as text fields, NULL as an invalid QVariant: day, user, computer, H0..H23.
using ActivityRecord = QVector<QVariant>;

/// The rows of office.tsv (the fixture the Access files were written from).
QVector<ActivityRecord> officeRows();

/// Writes an SQLite data file with `rows`. `createTable` replaces the schema's CREATE TABLE
/// (for files that differ from the template); the schema's indexes are made unless it is given.
void writeSqliteDataFile(const QString& path, const QVector<ActivityRecord>& rows,
                         const QString& createTable = {});

/// Bytes and modification time of a file, to prove it was not touched.
struct FileFingerprint {
    QByteArray sha1;
    QDateTime modified;
    qint64 size = -1;
    bool operator==(const FileFingerprint&) const = default;
};
FileFingerprint fingerprint(const QString& path);

} // namespace tallyrow::test
