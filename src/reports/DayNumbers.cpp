#include "reports/DayNumbers.h"

#include "support/Error.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace tallyrow {

namespace {

constexpr std::int64_t kSerialOf2000 = 36526;
const QDate kSerialZero(1899, 12, 30);

std::int32_t dayNumberOfSerial(double serial) {
    const double rounded = roundHalfEven(serial) - static_cast<double>(kSerialOf2000);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max())
        throw Error(ErrNo::Overflow, QStringLiteral("Overflow"));
    return static_cast<std::int32_t>(rounded);
}

} // namespace

double roundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction > 0.5)
        return floor + 1.0;
    if (fraction < 0.5)
        return floor;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

std::int32_t dayNumber(const QDateTime& date) {
    return withStep(QStringLiteral("numbering the day"), [&] {
        if (!date.isValid())
            throw Error(ErrNo::TypeMismatch, QStringLiteral("Type mismatch"));
        // The time of day counts as a fraction of the day, as in a date serial; only a stray
        // time at or after noon can move the day number.
        const double days = static_cast<double>(kSerialZero.daysTo(date.date()));
        const double fraction = date.time().msecsSinceStartOfDay() / 86400000.0;
        // Serials before day 0 carry the time as a positive fraction beyond the negative day.
        return dayNumberOfSerial(days < 0 ? days - fraction : days + fraction);
    });
}

std::int32_t dayNumber(const QDate& date) {
    return withStep(QStringLiteral("numbering the day"), [&] {
        if (!date.isValid())
            throw Error(ErrNo::TypeMismatch, QStringLiteral("Type mismatch"));
        return dayNumberOfSerial(static_cast<double>(kSerialZero.daysTo(date)));
    });
}

const std::array<QLatin1String, 7>& weekdayNames() {
    static const std::array<QLatin1String, 7> names = {
        QLatin1String("Monday"),   QLatin1String("Tuesday"), QLatin1String("Wednesday"),
        QLatin1String("Thursday"), QLatin1String("Friday"),  QLatin1String("Saturday"),
        QLatin1String("Sunday"),
    };
    return names;
}

namespace {

// Remainders count from Saturday (day 0 was a Saturday); weekdayNames() counts from Monday.
QLatin1String nameOfRemainder(long long remainder) {
    return weekdayNames()[(remainder + 5) % 7];
}

} // namespace

QString dayNameOf(std::int32_t remainder) {
    return withStep(QStringLiteral("naming the weekday"), [&] {
        return QString(nameOfRemainder(std::llabs(static_cast<long long>(remainder)) % 7));
    });
}

std::int32_t dayRemainderOf(const QString& name) {
    return withStep(QStringLiteral("reading a weekday name"), [&] {
        const QString lower = name.toLower();
        for (std::int32_t i = 0; i < 7; ++i) {
            if (lower == QString(nameOfRemainder(i)).toLower())
                return i;
        }
        return std::int32_t{7};
    });
}

} // namespace tallyrow
