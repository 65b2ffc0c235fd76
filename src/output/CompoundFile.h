#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace tallyrow {

/// One stream of a compound file: a name (at most 31 UTF-16 code units) and its bytes.
struct CompoundStream {
    QString name;
    QByteArray data;
};

/// A Compound File Binary container (version 3, 512-byte sectors) holding `streams` in its root
/// storage: the container of Excel 97-2003 workbooks. Streams under 4,096 bytes go into the mini
/// stream as the format requires. Raises an Error for a bad stream name or a container larger
/// than the 109 FAT sectors the header can list (about 6.8 MB).
QByteArray compoundFile(const QVector<CompoundStream>& streams);

} // namespace tallyrow
