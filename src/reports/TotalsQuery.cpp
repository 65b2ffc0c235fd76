#include "reports/TotalsQuery.h"

#include "dateselector/Calendar.h"
#include "reports/ReportTexts.h"
#include "reports/DayNumbers.h"

#include <array>
#include <cmath>
#include <utility>

namespace tallyrow {

namespace {

constexpr std::array<std::pair<TotalsPeriod, const char*>, 4> kPeriodNames{{
    {TotalsPeriod::Days, "Days"},
    {TotalsPeriod::Weeks, "Weeks"},
    {TotalsPeriod::Months, "Months"},
    {TotalsPeriod::Years, "Years"},
}};

} // namespace

QString periodName(TotalsPeriod period) {
    for (const auto& [p, name] : kPeriodNames) {
        if (p == period)
            return QString::fromLatin1(name);
    }
    return QStringLiteral("Days");
}

std::optional<TotalsPeriod> periodNamed(const QString& name) {
    for (const auto& [p, text] : kPeriodNames) {
        if (name.compare(QLatin1String(text), Qt::CaseInsensitive) == 0)
            return p;
    }
    return std::nullopt;
}

QString groupText(std::int32_t units, TotalsPeriod period) {
    const QString name = periodName(period);
    return QStringLiteral("Grouped into ") + QString::number(units) + QLatin1Char(' ') +
           name.left(name.size() - 1).toLower() + QStringLiteral(" periods");
}

bool lastPeriodRunsPast(const QVector<PeriodSpan>& periods, const DateRange& range) {
    return !periods.isEmpty() && periods.last().next.addDays(-1) > range.end;
}

QString periodLabel(const PeriodSpan& period, bool spanned, const QLocale& locale) {
    if (!spanned)
        return reportDate(period.start, locale);
    return reportDate(period.start, locale) + QStringLiteral(" \u2013 ") +
           reportDate(period.next.addDays(-1), locale);
}

QString lastPeriodNote(const QVector<PeriodSpan>& periods, const DateRange& range, std::int32_t units,
                       TotalsPeriod period, const QLocale& locale) {
    if (!lastPeriodRunsPast(periods, range))
        return {};
    const QString name = periodName(period);
    const QString what = units == 1 ? name.left(name.size() - 1).toLower() : QStringLiteral("period");
    return QStringLiteral("The last ") + what + QStringLiteral(" runs past the end date to ") +
           reportDate(periods.last().next.addDays(-1), locale) + QLatin1Char('.');
}

QString periodCode(TotalsPeriod period) {
    switch (period) {
    case TotalsPeriod::Years:
        return QStringLiteral("YYYY");
    case TotalsPeriod::Months:
        return QStringLiteral("M");
    case TotalsPeriod::Weeks:
        return QStringLiteral("WW");
    default:
        return QStringLiteral("D");
    }
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

int timeScaleDivisor(TimeScale timeScale) {
    switch (timeScale) {
    case TimeScale::Minutes:
        return 60;
    case TimeScale::Hours:
        return 3600;
    default:
        return 1;
    }
}

QString timeScaleAxisTitle(TimeScale timeScale) {
    switch (timeScale) {
    case TimeScale::Minutes:
        return QStringLiteral("Active minutes");
    case TimeScale::Hours:
        return QStringLiteral("Active hours");
    default:
        return QStringLiteral("Active seconds");
    }
}

QVector<PeriodSpan> totalsPeriods(const DateRange& range, const QString& code, std::int32_t units) {
    QVector<PeriodSpan> periods;
    QDate s = range.start;
    while (s <= range.end) {
        const QDate n = addInterval(code, units, s);
        periods.append({s, n});
        if (n <= s)
            break;
        s = n;
    }
    return periods;
}

QDate previousRangeStart(const DateRange& range) {
    const qint64 days = range.days();
    return days > 0 ? range.start.addDays(-days) : range.start;
}

QVector<PeriodSpan> previousPeriods(const QVector<PeriodSpan>& periods, const DateRange& range,
                                    const QString& code, std::int32_t units) {
    QVector<PeriodSpan> previous;
    previous.reserve(periods.size());
    QDate s = previousRangeStart(range);
    for (qsizetype i = 0; i < periods.size(); ++i) {
        const QDate n = addInterval(code, units, s);
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
