#include "engine/ValueText.h"

#include <QRegularExpression>

#include <cmath>

namespace tallyrow::engine {

QString plainNumber(double value) {
    if (!std::isfinite(value))
        return QString();
    if (value == std::trunc(value) && std::fabs(value) < 9.0e15)
        return QString::number(static_cast<qint64>(value));
    QString s = QString::number(value, 'f', 10);
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s;
}

QString valueText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return plainNumber(value.toDouble());
    default:
        return value.toString();
    }
}

double numericValue(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return 0.0;
    if (value.typeId() != QMetaType::QString) {
        bool ok = false;
        const double d = value.toDouble(&ok);
        return ok && std::isfinite(d) ? d : 0.0;
    }
    static const QRegularExpression leading(
        QStringLiteral("^\\s*([-+]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][-+]?\\d+)?)"));
    const auto m = leading.match(value.toString());
    if (!m.hasMatch())
        return 0.0;
    const double d = m.captured(1).toDouble();
    return std::isfinite(d) ? d : 0.0;
}

} // namespace tallyrow::engine
