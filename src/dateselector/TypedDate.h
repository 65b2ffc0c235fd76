#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

namespace tallyrow {

/// What a date field's text says while someone types it.
struct TypedDate {
    enum class State {
        Invalid,  ///< no typing can make a date of it
        Partial,  ///< on its way to a date (a year of fewer than four digits, a part still missing)
        Complete, ///< a whole date: `date` holds it
    };
    State state = State::Invalid;
    QDate date;
};

/// Reads a date as people type it: day, month and year in the order of the locale's short date
/// format, split by spaces or any punctuation ("1/12/2026", "1 12 2026", "1.12.2026"); the month
/// may be a name or abbreviation of the locale (or English) in any letter case, anywhere among
/// the three ("1 Dec 2026", "December 1 2026"): the two numbers then keep the format's order of
/// day and year. A first part of four digits starts a year-month-day date
/// ("2026-12-01"). A year is complete only with four digits, so a year typed in two never lands
/// in a century the user did not mean. Letters that begin a month name are Partial.
TypedDate readTypedDate(const QString& text, const QLocale& locale);

} // namespace tallyrow
