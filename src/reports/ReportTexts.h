#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

namespace tallyrow {

/// "From <start> to <end>", both in the locale's short date format.
QString dateRangeText(const QDate& start, const QDate& end, const QLocale& locale);

/// The name as a Jet string literal's content: every single quote written twice.
QString quoteJet(const QString& name);

/// "For user <name>" or "For all users", then " on computer <name>" or " on any computer";
/// names are shown as given (empty = all).
QString userComputerText(const QString& userFilter, const QString& computerFilter);

/// " AND UserName='…'" and " AND ComputerName='…'" for the filters that are set, quotes doubled.
QString userComputerFilter(const QString& userFilter, const QString& computerFilter);

} // namespace tallyrow
