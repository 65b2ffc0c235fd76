#include "reports/TotalsQuery.h"

#include "dateselector/Calendar.h"
#include "reports/ReportTexts.h"
#include "reports/DayNumbers.h"

#include <cmath>
#include <utility>

namespace tallyrow {

QString groupText(std::int32_t units, const QString& period) {
    return QStringLiteral("Grouped into ") + QString::number(units) + QLatin1Char(' ') +
           period.left(period.size() - 1).trimmed().toLower() + QStringLiteral(" periods");
}

QString periodCode(const QString& period) {
    const QString upper = period.toUpper();
    if (upper == QLatin1String("YEARS"))
        return QStringLiteral("YYYY");
    if (upper == QLatin1String("MONTHS"))
        return QStringLiteral("M");
    if (upper == QLatin1String("WEEKS"))
        return QStringLiteral("WW");
    if (upper == QLatin1String("HOURS"))
        return QStringLiteral("H");
    return QStringLiteral("D");
}

std::optional<TimeScale> timeScaleNamed(const QString& name) {
    static const std::pair<QLatin1String, TimeScale> kNames[] = {
        {QLatin1String("seconds"), TimeScale::Seconds},
        {QLatin1String("minutes"), TimeScale::Minutes},
        {QLatin1String("hours"), TimeScale::Hours},
    };
    for (const auto& [text, scale] : kNames) {
        if (name.compare(text, Qt::CaseInsensitive) == 0)
            return scale;
    }
    return std::nullopt;
}

int timeScaleDivisor(std::int32_t timeScale) {
    switch (static_cast<TimeScale>(timeScale)) {
    case TimeScale::Minutes:
        return 60;
    case TimeScale::Hours:
        return 3600;
    default:
        return 1;
    }
}

QString timeScaleAxisTitle(std::int32_t timeScale) {
    switch (static_cast<TimeScale>(timeScale)) {
    case TimeScale::Minutes:
        return QStringLiteral("Active minutes");
    case TimeScale::Hours:
        return QStringLiteral("Active hours");
    default:
        return QStringLiteral("Active seconds");
    }
}

QVector<PeriodSpan> totalsPeriods(const QDate& start, const QDate& end, const QString& code,
                                  std::int32_t units) {
    QVector<PeriodSpan> periods;
    QDate s = start;
    while (s <= end) {
        const QDate n = DateAdd(code, units, s);
        periods.append({s, n});
        if (n <= s)
            break;
        s = n;
    }
    return periods;
}

QDate previousRangeStart(const QDate& start, const QDate& end) {
    const qint64 days = start.daysTo(end) + 1;
    return days > 0 ? start.addDays(-days) : start;
}

QVector<PeriodSpan> previousPeriods(const QVector<PeriodSpan>& periods, const QDate& start, const QDate& end,
                                    const QString& code, std::int32_t units) {
    QVector<PeriodSpan> previous;
    previous.reserve(periods.size());
    QDate s = previousRangeStart(start, end);
    for (qsizetype i = 0; i < periods.size(); ++i) {
        const QDate n = DateAdd(code, units, s);
        previous.append({s, n});
        if (n <= s)
            break;
        s = n;
    }
    return previous;
}

QString changeText(double current, double previous, const QLocale& locale) {
    if (!(previous > 0))
        return QStringLiteral("\u2013");
    return percentChangeText((current - previous) / previous * 100.0, locale);
}

ActivityQuery totalsQuery(const QVector<PeriodSpan>& periods, const QString& userFilter,
                          const QString& computerFilter) {
    std::vector<DayRange> ranges;
    ranges.reserve(std::size_t(periods.size()));
    for (const PeriodSpan& p : periods)
        ranges.push_back({dayNumber(p.start), std::int64_t(dayNumber(p.next)) - 1});
    return ActivityQuery::rangeSeconds(std::move(ranges), userFilter, computerFilter);
}

} // namespace tallyrow
