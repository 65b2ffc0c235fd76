#include "dateselector/Calendar.h"

#include "support/Error.h"

#include <QTime>

#include <algorithm>
#include <cmath>

namespace tallyrow {

namespace {

enum class Unit { Month, Day, Millisecond };

struct Interval {
    Unit unit;
    long long size; // months, days or milliseconds in one interval
};

constexpr long long kMsPerDay = 86'400'000;

[[noreturn]] void invalidCall() {
    throw Error(ErrNo::InvalidProcedureCall, QStringLiteral("Invalid procedure call or argument"));
}

Interval parseInterval(const QString& code) {
    const QString c = code.toLower();
    if (c == QLatin1String("yyyy"))
        return {Unit::Month, 12};
    if (c == QLatin1String("q"))
        return {Unit::Month, 3};
    if (c == QLatin1String("m"))
        return {Unit::Month, 1};
    if (c == QLatin1String("y") || c == QLatin1String("d") || c == QLatin1String("w"))
        return {Unit::Day, 1};
    if (c == QLatin1String("ww"))
        return {Unit::Day, 7};
    if (c == QLatin1String("h"))
        return {Unit::Millisecond, 3'600'000};
    if (c == QLatin1String("n"))
        return {Unit::Millisecond, 60'000};
    if (c == QLatin1String("s"))
        return {Unit::Millisecond, 1'000};
    invalidCall();
}

long long floorDiv(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

bool inCalendarRange(const QDate& d) {
    return d.isValid() && d >= earliestCalendarDate() && d <= latestCalendarDate();
}

// Rounds a count of whole intervals; anything beyond ten thousand years' worth can only
// leave the calendar range, so it is refused before it can overflow.
long long wholeCount(double n, long long size, long long limit) {
    if (!std::isfinite(n))
        invalidCall();
    const double rounded = std::nearbyint(n); // the default rounding mode: halves to even
    if (std::fabs(rounded) * static_cast<double>(size) > static_cast<double>(limit))
        invalidCall();
    return static_cast<long long>(rounded) * size;
}

QDate addMonths(const QDate& d, long long months) {
    const long long total = static_cast<long long>(d.year()) * 12 + (d.month() - 1) + months;
    const long long year = floorDiv(total, 12);
    const int month = static_cast<int>(total - year * 12) + 1;
    if (year < earliestCalendarDate().year() || year > latestCalendarDate().year())
        invalidCall();
    const QDate first(static_cast<int>(year), month, 1);
    return QDate(first.year(), month, std::min(d.day(), first.daysInMonth()));
}

// The naive value of a date-time: its calendar day and the milliseconds since that day began.
struct Naive {
    QDate date;
    long long msOfDay;
};

Naive naive(const QDateTime& dt) {
    if (!dt.isValid() || !inCalendarRange(dt.date()))
        invalidCall();
    return {dt.date(), dt.time().isValid() ? dt.time().msecsSinceStartOfDay() : 0};
}

QDateTime withNaive(const QDateTime& like, const QDate& date, long long msOfDay) {
    QDateTime result = like;
    result.setDate(date);
    result.setTime(QTime::fromMSecsSinceStartOfDay(static_cast<int>(msOfDay)));
    return result;
}

// The Sunday on or before `d`: the start of its week in intervalsBetween's fixed week.
QDate sundayOnOrBefore(const QDate& d) {
    return d.addDays(-(d.dayOfWeek() % 7));
}

} // namespace

QDate earliestCalendarDate() {
    return QDate(100, 1, 1);
}

QDate latestCalendarDate() {
    return QDate(9999, 12, 31);
}

QDateTime addInterval(const QString& interval, double n, const QDateTime& date) {
    const Interval iv = parseInterval(interval);
    const Naive start = naive(date);
    constexpr long long kDaysLimit = 10'000LL * 366;
    switch (iv.unit) {
    case Unit::Month: {
        const QDate d = addMonths(start.date, wholeCount(n, iv.size, 10'000LL * 12));
        return withNaive(date, d, start.msOfDay);
    }
    case Unit::Day: {
        const QDate d = start.date.addDays(wholeCount(n, iv.size, kDaysLimit));
        if (!inCalendarRange(d))
            invalidCall();
        return withNaive(date, d, start.msOfDay);
    }
    case Unit::Millisecond: {
        if (!std::isfinite(n))
            invalidCall();
        const double ms = n * static_cast<double>(iv.size);
        if (std::fabs(ms) > static_cast<double>(kDaysLimit) * kMsPerDay)
            invalidCall();
        const long long total = start.msOfDay + std::llround(ms);
        const long long days = floorDiv(total, kMsPerDay);
        const QDate d = start.date.addDays(days);
        if (!inCalendarRange(d))
            invalidCall();
        return withNaive(date, d, total - days * kMsPerDay);
    }
    }
    invalidCall();
}

QDate addInterval(const QString& interval, double n, const QDate& date) {
    if (!date.isValid())
        invalidCall();
    return addInterval(interval, n, QDateTime(date, QTime(0, 0), Qt::UTC)).date();
}

long long intervalsBetween(const QString& interval, const QDateTime& from, const QDateTime& to) {
    const QString c = interval.toLower();
    parseInterval(c); // refuses unknown codes
    const Naive a = naive(from);
    const Naive b = naive(to);
    const long long years = b.date.year() - a.date.year();
    const long long days = a.date.daysTo(b.date);
    if (c == QLatin1String("yyyy"))
        return years;
    if (c == QLatin1String("q"))
        return years * 4 + (b.date.month() - 1) / 3 - (a.date.month() - 1) / 3;
    if (c == QLatin1String("m"))
        return years * 12 + b.date.month() - a.date.month();
    if (c == QLatin1String("d") || c == QLatin1String("y"))
        return days;
    if (c == QLatin1String("w"))
        return days / 7; // whole spans, truncated toward zero
    if (c == QLatin1String("ww"))
        return sundayOnOrBefore(a.date).daysTo(sundayOnOrBefore(b.date)) / 7;
    const long long unitMs = c == QLatin1String("h") ? 3'600'000 : c == QLatin1String("n") ? 60'000 : 1'000;
    // Boundaries crossed: compare the whole units elapsed since a common day.
    return days * (kMsPerDay / unitMs) + floorDiv(b.msOfDay, unitMs) - floorDiv(a.msOfDay, unitMs);
}

long long intervalsBetween(const QString& interval, const QDate& from, const QDate& to) {
    return intervalsBetween(interval, QDateTime(from, QTime(0, 0), Qt::UTC),
                            QDateTime(to, QTime(0, 0), Qt::UTC));
}

int weekdayNumber(const QDate& date, Qt::DayOfWeek firstDayOfWeek) {
    if (!date.isValid())
        invalidCall();
    return (date.dayOfWeek() - static_cast<int>(firstDayOfWeek) + 7) % 7 + 1;
}

} // namespace tallyrow
