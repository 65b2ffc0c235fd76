#include "reports/ReportTexts.h"

#include <cmath>

namespace tallyrow {

QString reportDate(const QDate& date, const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return locale.toString(date, format);
}

QString dateRangeText(const DateRange& range, const QLocale& locale) {
    return QStringLiteral("From ") + reportDate(range.start, locale) + QStringLiteral(" to ") +
           reportDate(range.end, locale);
}

QString reportNumber(double value, int decimals, const QLocale& locale) {
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'f', decimals);
}

QString percentChangeText(double percent, const QLocale& locale) {
    // English (and the C locale scripts use) write the sign right after the number; most other
    // languages set it apart.
    const bool closeUp = locale.language() == QLocale::English || locale.language() == QLocale::C ||
                         locale.language() == QLocale::Chinese || locale.language() == QLocale::Japanese ||
                         locale.language() == QLocale::Korean;
    const QString sign = percent < 0 ? QStringLiteral("-") : QStringLiteral("+");
    return sign + reportNumber(std::fabs(percent), 1, locale) +
           (closeUp ? QString() : QStringLiteral("\u00A0")) + locale.percent();
}

QString userComputerText(const QString& userFilter, const QString& computerFilter) {
    QString text = userFilter.isEmpty() ? QStringLiteral("For all users")
                                        : QStringLiteral("For user <") + userFilter + QLatin1Char('>');
    text += computerFilter.isEmpty() ? QStringLiteral(" on any computer")
                                     : QStringLiteral(" on computer <") + computerFilter + QLatin1Char('>');
    return text;
}

} // namespace tallyrow
