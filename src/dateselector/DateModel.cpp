#include "dateselector/DateModel.h"

#include "dateselector/Calendar.h"
#include "support/Error.h"

#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

struct PeriodKind {
    QString interval;
    QString caption;
};

const std::array<PeriodKind, 10>& periodKinds() {
    static const std::array<PeriodKind, 10> kinds{{
        {u"yyyy"_s, u"Year"_s},
        {u"q"_s, u"Quarter"_s},
        {u"m"_s, u"Month"_s},
        {u"y"_s, u"Day of Year"_s},
        {u"d"_s, u"Day"_s},
        {u"w"_s, u"Weekday"_s},
        {u"ww"_s, u"Week"_s},
        {u"h"_s, u"Hour"_s},
        {u"n"_s, u"Minute"_s},
        {u"s"_s, u"Second"_s},
    }};
    return kinds;
}

constexpr int kMonth = static_cast<int>(DatePeriod::Month);

QDateTime midnight(const QDate& date) {
    return QDateTime(date, QTime(0, 0), Qt::UTC);
}

QDate dayBefore(const QDate& date) {
    return addInterval(u"d"_s, -1, date);
}

// Codes whose interval is always the same length, so n steps can be taken as one jump.
bool hasFixedLength(const QString& interval) {
    const QString c = interval.toLower();
    return c != QLatin1String("yyyy") && c != QLatin1String("q") && c != QLatin1String("m");
}

qint64 floorDiv(qint64 a, qint64 b) {
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

qint64 ceilDiv(qint64 a, qint64 b) {
    return -floorDiv(-a, b);
}

void requireDate(const QDate& date) {
    if (!date.isValid())
        throw Error(ErrNo::TypeMismatch, u"Type mismatch"_s);
}

void requireFinite(double value) {
    if (!std::isfinite(value))
        throw Error(ErrNo::InvalidProcedureCall, u"Invalid procedure call or argument"_s);
}

bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Float:
        return true;
    case QMetaType::Double:
        return !std::isnan(v.toDouble());
    default:
        return false;
    }
}

} // namespace

QString periodInterval(int value) {
    if (value < 0 || value > 9)
        return periodKinds()[kMonth].interval;
    return periodKinds()[static_cast<std::size_t>(value)].interval;
}

int periodValue(const QString& interval) {
    for (std::size_t i = 0; i < periodKinds().size(); ++i) {
        if (periodKinds()[i].interval == interval)
            return static_cast<int>(i);
    }
    return kMonth;
}

QString periodCaption(int value) {
    if (value < 0 || value > 9)
        return {};
    return periodKinds()[static_cast<std::size_t>(value)].caption;
}

QVariant GetMax(const QVariantList& values) {
    QVariant best;
    for (const QVariant& v : values) {
        if (!isNumber(v))
            continue;
        if (!best.isValid() || QVariant::compare(v, best) == QPartialOrdering::Greater)
            best = v;
    }
    return best;
}

DateModel::DateModel(std::function<QDate()> today, Qt::DayOfWeek firstDayOfWeek, DateFields* fields)
    : m_today(std::move(today)), m_firstDayOfWeek(firstDayOfWeek), m_fields(fields ? fields : &m_held),
      m_periodInterval(periodInterval(kMonth)), m_periodStartDate(2000, 1, 1) {}

void DateModel::setPropertyChangedHandler(std::function<void(const QString&)> handler) {
    m_propertyChanged = std::move(handler);
}

void DateModel::markChanged(const QString& name) const {
    if (m_propertyChanged)
        m_propertyChanged(name);
}

int DateModel::Period() const {
    return periodValue(m_periodInterval);
}

void DateModel::setPeriod(int value) {
    withStep(u"setting the period"_s, [&] {
        SetPeriod(value);
        CalculateDates();
        markChanged(u"Period"_s);
    });
}

void DateModel::SetPeriod(int value) {
    m_periodInterval = periodInterval(value);
}

double DateModel::PeriodCount() const {
    return m_periodCount;
}

double DateModel::StartDateOffset() const {
    return m_startDateOffset;
}

QDate DateModel::PeriodStartDate() const {
    return m_periodStartDate;
}

void DateModel::setPeriodCount(double value) {
    withStep(u"setting the number of periods"_s, [&] {
        requireFinite(value);
        if (value == m_periodCount)
            return;
        m_periodCount = value;
        CalculateDates();
        markChanged(u"PeriodCount"_s);
    });
}

void DateModel::setStartDateOffset(double value) {
    withStep(u"setting the start date's offset"_s, [&] {
        requireFinite(value);
        if (value == m_startDateOffset)
            return;
        m_startDateOffset = value;
        CalculateDates();
        markChanged(u"StartDateOffset"_s);
    });
}

void DateModel::setPeriodStartDate(const QDate& value) {
    withStep(u"setting the period's first day"_s, [&] {
        requireDate(value);
        if (value == m_periodStartDate)
            return;
        m_periodStartDate = value;
        CalculateDates();
        markChanged(u"PeriodStartDate"_s);
    });
}

void DateModel::restoreSettings(int period, double periodCount, const QDate& periodStartDate,
                                double startDateOffset) {
    SetPeriod(period);
    m_periodCount = periodCount;
    m_periodStartDate = periodStartDate;
    m_startDateOffset = startDateOffset;
}

QDate DateModel::StartDate() const {
    return withStep(u"reading the start date"_s, [&] { return m_fields->startDate(); });
}

QDate DateModel::EndDate() const {
    return withStep(u"reading the end date"_s, [&] { return m_fields->endDate(); });
}

void DateModel::setStartDate(const QDate& newDate) {
    withStep(u"setting the start date"_s, [&] {
        requireDate(newDate);
        if (newDate > m_fields->endDate() && m_showEndDate)
            m_fields->setEndDate(LastOf(m_periodInterval, newDate, m_periodCount));
        m_fields->setStartDate(newDate);
    });
}

void DateModel::setEndDate(const QDate& newDate) {
    withStep(u"setting the end date"_s, [&] {
        requireDate(newDate);
        // An end before a shown start is not taken: the start moves to the first day of the
        // period PeriodCount periods after the new end's, and the end keeps its value. Hosts
        // rely on this to keep a shown range from turning round.
        if (newDate < m_fields->startDate() && m_showStartDate) {
            m_fields->setStartDate(FirstOf(m_periodInterval, newDate, m_periodCount));
            return;
        }
        m_fields->setEndDate(newDate);
    });
}

void DateModel::setShowStartDate(bool value) {
    if (value == m_showStartDate)
        return;
    m_showStartDate = value;
    markChanged(u"ShowStartDate"_s);
}

void DateModel::setShowEndDate(bool value) {
    if (value == m_showEndDate)
        return;
    m_showEndDate = value;
    markChanged(u"ShowEndDate"_s);
}

void DateModel::SetDates(const QDate& newStartDate, int newPeriod, double newPeriodCount) {
    withStep(u"setting the dates"_s, [&] {
        requireDate(newStartDate);
        requireFinite(newPeriodCount);
        setPeriod(newPeriod);
        m_periodCount = newPeriodCount;
        m_fields->setStartDate(newStartDate);
        m_fields->setEndDate(dayBefore(addInterval(m_periodInterval, m_periodCount, newStartDate)));
    });
}

void DateModel::GetReportDates(QDate& startDate, QDate& endDate) const {
    withStep(u"setting up the report's dates"_s, [&] {
        startDate = m_fields->startDate();
        endDate = m_fields->endDate();
    });
}

QDate DateModel::FirstOf(const QString& period, const QDate& date, double offset) const {
    return withStep(u"finding the first day of the period"_s, [&] {
        const QDate shifted = addInterval(period, offset, date);
        const QString code = period.toLower();
        if (code == QLatin1String("d"))
            return shifted;
        if (code == QLatin1String("ww"))
            return shifted.addDays(-(weekdayNumber(shifted, m_firstDayOfWeek) - 1));
        if (code == QLatin1String("m"))
            return QDate(shifted.year(), shifted.month(), 1);
        if (code == QLatin1String("yyyy"))
            return QDate(shifted.year(), 1, 1);
        return date;
    });
}

QDate DateModel::LastOf(const QString& period, const QDate& date, double offset) const {
    return withStep(u"finding the last day of the period"_s, [&] {
        const QDate shifted = addInterval(period, offset, date);
        const QString code = period.toLower();
        if (code == QLatin1String("d"))
            return shifted;
        if (code == QLatin1String("ww"))
            return shifted.addDays(7 - weekdayNumber(shifted, m_firstDayOfWeek));
        if (code == QLatin1String("m"))
            return dayBefore(addInterval(u"m"_s, 1, FirstOf(u"M"_s, shifted, 0)));
        if (code == QLatin1String("yyyy"))
            return dayBefore(addInterval(u"yyyy"_s, 1, FirstOf(u"YYYY"_s, shifted, 0)));
        return date;
    });
}

void DateModel::CalculateDates() {
    withStep(u"working out the dates"_s, [&] {
        const QDate start = searchRange(FirstOf(m_periodInterval, m_periodStartDate, 0));
        m_fields->setStartDate(start);
        m_fields->setEndDate(lastDayFrom(start));
    });
}

QDate DateModel::lastDayFrom(const QDate& start) const {
    const QDate last = dayBefore(addInterval(m_periodInterval, m_periodCount, start));
    // A range of hours, minutes or seconds still covers the day it starts on rather than ending
    // the day before (a count of 0 keeps that empty range: it asks for no time at all).
    const QString code = m_periodInterval.toLower();
    const bool underADay = code == u"h" || code == u"n" || code == u"s";
    return underADay && m_periodCount > 0 ? std::max(start, last) : last;
}

// Walks from `first` in steps of PeriodCount periods: forward while today is strictly later than
// the start of the range after the sought one, then back while today is earlier than the sought
// range's start. Each step applies addInterval to the previous start, so a day clamped at a month end
// stays clamped. For fixed-length periods the walk is taken as one jump to just before where it
// would stop (the same start it would reach one step at a time), so an anchor years away costs
// no more than one next door.
QDate DateModel::searchRange(const QDate& first) const {
    const QString interval = m_periodInterval;
    const double count = m_periodCount;
    const double ahead = (m_startDateOffset + 1) * count;
    const double behind = m_startDateOffset * count;
    const auto add = [&](double n, const QDateTime& from) { return addInterval(interval, n, from); };
    const auto today = [&] { return midnight(m_today()); };

    QDateTime d = midnight(first);
    if (add(count, d) <= d)
        return first; // a count that never moves forward would walk without end

    if (hasFixedLength(interval)) {
        const qint64 d0 = d.toMSecsSinceEpoch();
        const qint64 stepMs = add(count, d).toMSecsSinceEpoch() - d0;
        const qint64 t = today().toMSecsSinceEpoch();
        const qint64 aheadMs = add(ahead, d).toMSecsSinceEpoch() - d0;
        if (t > d0 + aheadMs) {
            d = d.addMSecs((ceilDiv(t - d0 - aheadMs, stepMs) - 1) * stepMs);
        } else {
            const qint64 behindMs = add(behind, d).toMSecsSinceEpoch() - d0;
            if (t < d0 + behindMs)
                d = d.addMSecs((floorDiv(t - d0 - behindMs, stepMs) + 1) * stepMs);
        }
    }

    while (today() > add(ahead, d))
        d = add(count, d);
    while (today() < add(behind, d))
        d = add(-count, d);
    return d.date();
}

void DateModel::step(int direction) {
    const double n = direction < 0 ? -m_periodCount : m_periodCount;
    const QDate start = addInterval(m_periodInterval, n, m_fields->startDate());
    m_fields->setStartDate(start);
    m_fields->setEndDate(lastDayFrom(start));
}

} // namespace tallyrow
