#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>

namespace tallyrow {

/// Day numbers key the rows of Activity: day 0 is Saturday 1 January 2000, day n the n-th day
/// after it; days before 2000 are negative. The date's day serial (days since 30 December 1899,
/// the time of day as a fraction) is rounded to the nearest whole number, an exact half going to
/// the even neighbour, and 36526 (the serial of 1 January 2000) is taken off. Fails with
/// the step "numbering the day" when the result leaves the 32-bit range.
std::int32_t dayNumber(const QDateTime& date);
std::int32_t dayNumber(const QDate& date);

/// Full English weekday names, Monday first: the order of the Day report's columns and of the
/// main window's day check boxes.
const std::array<QLatin1String, 7>& weekdayNames();

/// Full English weekday name of a weekday remainder (0 "Saturday" … 6 "Friday"); the absolute
/// value is reduced modulo 7 first, so 9 gives "Monday" and -1 "Sunday".
QString dayNameOf(std::int32_t remainder);

/// The weekday remainder of a full English weekday name, compared without regard to case but
/// untrimmed; 7 for any other text (the report's "All Days" column relies on that 7).
std::int32_t dayRemainderOf(const QString& name);

/// Rounds to the nearest whole number, an exact half going to the even neighbour (the rounding
/// every figure of the reports uses).
double roundHalfEven(double value);

} // namespace tallyrow
