#pragma once

#include "dateselector/DateModel.h"

#include <QDate>

#include <Qt>

#include <utility>

namespace tallyrow {

/// The date range a scheduled report covers when run on `today`: the default range of a date
/// selector set to `kind`, `count` periods per range and `offset` ranges back, counted from the
/// anchor 1 January 2000 with weeks starting on `firstDay`. Returns {first day, last day}, both
/// inclusive. offset 1 = the previous complete range: run on Wednesday 16 June 2004, Week gives
/// Sunday 6 – Saturday 12 June (Monday 7 – Sunday 13 with Monday as first day).
///
/// The first day of a range does not yet count as inside it: run ON the first day of a range, the
/// result lies one range further back than on any later day of that range. Month run on 1 June
/// 2004 gives April, not May; Week run on the first day of the week gives the week before last;
/// Year run on 1 January 2004 gives 2002. Schedule jobs for the second day or later.
///
/// Throws tallyrow::Error (number 5) when the range would leave 1 January 100 .. 31 December 9999
/// or count/offset is not a finite number. A count that is not positive gives the range starting
/// on the anchor's period and ending the day before the next `count` periods.
std::pair<QDate, QDate> lastRange(DatePeriod kind, double count, double offset, QDate today,
                                  Qt::DayOfWeek firstDay);

} // namespace tallyrow
