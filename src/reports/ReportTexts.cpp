#include "reports/ReportTexts.h"

namespace tallyrow {

QString dateRangeText(const QDate& start, const QDate& end, const QLocale& locale) {
    return QStringLiteral("From ") + locale.toString(start, QLocale::ShortFormat) + QStringLiteral(" to ") +
           locale.toString(end, QLocale::ShortFormat);
}

QString quoteJet(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return quoted;
}

QString userComputerText(const QString& userFilter, const QString& computerFilter) {
    QString text = userFilter.isEmpty() ? QStringLiteral("For all users")
                                        : QStringLiteral("For user <") + userFilter + QLatin1Char('>');
    text += computerFilter.isEmpty() ? QStringLiteral(" on any computer")
                                     : QStringLiteral(" on computer <") + computerFilter + QLatin1Char('>');
    return text;
}

QString userComputerFilter(const QString& userFilter, const QString& computerFilter) {
    QString filter;
    if (!userFilter.isEmpty())
        filter += QStringLiteral(" AND UserName='") + quoteJet(userFilter) + QLatin1Char('\'');
    if (!computerFilter.isEmpty())
        filter += QStringLiteral(" AND ComputerName='") + quoteJet(computerFilter) + QLatin1Char('\'');
    return filter;
}

} // namespace tallyrow
