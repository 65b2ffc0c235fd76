#include "dateselector/ScheduledRange.h"

namespace tallyrow {

std::pair<QDate, QDate> lastRange(DatePeriod kind, double count, double offset, QDate today,
                                  Qt::DayOfWeek firstDay) {
    DateModel model([today] { return today; }, firstDay);
    model.restoreSettings(static_cast<int>(kind), count, QDate(2000, 1, 1), offset);
    model.CalculateDates();
    return {model.StartDate(), model.EndDate()};
}

} // namespace tallyrow
