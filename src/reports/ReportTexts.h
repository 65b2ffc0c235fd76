#pragma once

#include "activity/DateRange.h"

#include <QDate>
#include <QLocale>
#include <QString>

namespace tallyrow {

/// A date as the reports show it: the locale's short date format, its year always in four
/// digits (28.06.2004, 6/28/2004), so no date reads as another century's.
QString reportDate(const QDate& date, const QLocale& locale);

/// "From <start> to <end>", both as reportDate shows them.
QString dateRangeText(const DateRange& range, const QLocale& locale);

/// A number with `decimals` decimals in the locale's digits and decimal sign, without group
/// separators (12.5, 12,5).
QString reportNumber(double value, int decimals, const QLocale& locale);

/// A change in percent, signed, with one decimal and the locale's percent sign as the locale
/// writes it: +67.9% in English, +67,9 % in German (a no-break space before the sign).
QString percentChangeText(double percent, const QLocale& locale);

/// "For user <name>" or "For all users", then " on computer <name>" or " on any computer";
/// names are shown as given (empty = all).
QString userComputerText(const QString& userFilter, const QString& computerFilter);

} // namespace tallyrow
