#include "output/DeviceWrite.h"

#include "support/Error.h"

#include <QIODevice>

namespace tallyrow {

void writeWholeData(QIODevice& device, const QByteArray& data, const QString& what, const QString& source) {
    if (device.write(data) != data.size())
        throw Error(ErrNo::PathFileAccess,
                    QStringLiteral("The %1 could not be written: %2").arg(what, device.errorString()),
                    source);
}

} // namespace tallyrow
