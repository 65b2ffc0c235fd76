#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

namespace tallyrow {

/// "From <start> to <end>", both in the locale's short date format.
QString dateRangeText(const QDate& start, const QDate& end, const QLocale& locale);

/// "For user <name>" or "For all users", then " on computer <name>" or " on any computer";
/// names are shown as given (empty = all).
QString userComputerText(const QString& userFilter, const QString& computerFilter);

} // namespace tallyrow
