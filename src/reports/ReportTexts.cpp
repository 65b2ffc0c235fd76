#include "reports/ReportTexts.h"

namespace tallyrow {

QString dateRangeText(const QDate& start, const QDate& end, const QLocale& locale) {
    return QStringLiteral("From ") + locale.toString(start, QLocale::ShortFormat) + QStringLiteral(" to ") +
           locale.toString(end, QLocale::ShortFormat);
}

QString userComputerText(const QString& userFilter, const QString& computerFilter) {
    QString text = userFilter.isEmpty() ? QStringLiteral("For all users")
                                        : QStringLiteral("For user <") + userFilter + QLatin1Char('>');
    text += computerFilter.isEmpty() ? QStringLiteral(" on any computer")
                                     : QStringLiteral(" on computer <") + computerFilter + QLatin1Char('>');
    return text;
}

} // namespace tallyrow
