#pragma once

#include "activity/WeekdaySet.h"

#include "activity/DateRange.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>

namespace tallyrow {

/// Which weekdays occur in the range start..end (both inclusive). Seven or more days make every
/// weekday available; an end before the start makes none available.
WeekdaySet availableWeekdays(const DateRange& range);

/// Whether `text` reads as a number the way users type one: blanks around it, a sign, digits
/// with the locale's group separators, the locale's decimal separator, an exponent.
bool isNumericText(const QString& text, const QLocale& locale);

/// The number at the start of `text` with "." as the decimal point: leading blanks are skipped
/// and reading stops at the first character that cannot continue the number (so "2,5" gives 2).
/// No number at all gives 0.
double leadingNumber(const QString& text);

/// The Units input of the Totals report from the text of its box: leadingNumber rounded to the
/// nearest whole number, halves to the even neighbour. Throws Error (Overflow) when the result
/// does not fit a 32-bit integer.
std::int32_t ReadUnits(const QString& text);

/// The base name a saved report is offered under, from the filters of the last preview:
/// "Usage Report", or "Usage Report - " + user + " - " + computer (either part may be absent).
/// Angle brackets are dropped, and a "/" (which would point into a folder) becomes "-".
QString reportNameFor(const QString& userFilter, const QString& computerFilter);

} // namespace tallyrow
