#pragma once

#include <QDate>

namespace tallyrow {

/// The calendar days a report covers, both ends included: the one form its dates take from the
/// window or the command-line tool down to the question put to the data.
struct DateRange {
    QDate start;
    QDate end;

    /// Both dates are real dates; the range may still be empty (end before start).
    bool isValid() const { return start.isValid() && end.isValid(); }
    bool isEmpty() const { return !isValid() || end < start; }
    /// The number of days in the range, 0 when it is empty.
    qint64 days() const { return isEmpty() ? 0 : start.daysTo(end) + 1; }
    bool operator==(const DateRange&) const = default;
};

} // namespace tallyrow
