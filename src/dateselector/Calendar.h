#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <Qt>

namespace tallyrow {

// Calendar arithmetic on interval codes. The codes, matched without regard to case:
//   "yyyy" years, "q" quarters, "m" months, "y" / "d" / "w" days, "ww" weeks,
//   "h" hours, "n" minutes, "s" seconds.
// Dates are naive calendar values: no time zone or daylight-saving shift ever enters the
// arithmetic, whatever time zone setting the QDateTime carries (the result keeps the argument's).
// Every function throws tallyrow::Error number 5 ("Invalid procedure call or argument") for an
// unknown code, an invalid date, a count that is not finite, or a result outside
// 1 January 100 .. 31 December 9999, the range the date fields can show.

/// The earliest and latest dates the calendar functions produce.
QDate earliestCalendarDate();
QDate latestCalendarDate();

/// `date` moved by `n` intervals (n may be negative).
/// Years, quarters and months move by 12n, 3n and n calendar months, keep the day of the month
/// and clamp it to the last day of the target month (31 January + 1 month = 28/29 February).
/// For every code but "h", "n" and "s" a fractional n is rounded to the nearest whole number,
/// halves to the even neighbour; hours, minutes and seconds are applied to the millisecond.
QDateTime addInterval(const QString& interval, double n, const QDateTime& date);

/// The same for a whole day. Hours, minutes and seconds are counted from the midnight that
/// starts `date`, and the result is the calendar day they land on (so -1 hour is the day before,
/// +1 hour the same day).
QDate addInterval(const QString& interval, double n, const QDate& date);

/// The number of interval boundaries crossed from `from` to `to`, negative when `to` is earlier.
/// "yyyy", "q", "m": calendar years, quarters, months (only year and month count, not the day);
/// "d", "y": calendar days (times of day ignored); "ww": the Sundays after `from` up to and
/// including `to` (weeks always start on Sunday here, whatever the locale); "w": whole seven-day
/// spans of days; "h", "n", "s": hour, minute and second boundaries.
long long intervalsBetween(const QString& interval, const QDateTime& from, const QDateTime& to);
long long intervalsBetween(const QString& interval, const QDate& from, const QDate& to);

/// 1..7, where 1 is `firstDayOfWeek` (the regional first day of the week).
int weekdayNumber(const QDate& date, Qt::DayOfWeek firstDayOfWeek);

} // namespace tallyrow
