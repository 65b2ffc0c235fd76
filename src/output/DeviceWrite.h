#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace tallyrow {

/// Writes the whole of `data` to `device`. When the device takes less, raises an Error
/// (PathFileAccess) "The <what> could not be written: <the device's reason>" from `source`.
void writeWholeData(QIODevice& device, const QByteArray& data, const QString& what, const QString& source);

} // namespace tallyrow
