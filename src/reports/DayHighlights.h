#pragma once

#include "activity/DateRange.h"
#include "reports/DayQuery.h"

#include <QColor>
#include <QDate>
#include <QLocale>
#include <QStringList>

#include <array>

namespace tallyrow {

// ---- Shading of the Day table ----

/// The fill of a table cell: white for 0 (or less), the report's dark blue for `largest` and
/// above, in between by the share of `largest`. With `largest` 0 or less every cell is white.
QColor dayShadeColor(double value, double largest);
/// Black or white, whichever reads better on `background` (the larger contrast ratio).
QColor readableTextColor(const QColor& background);
/// The contrast ratio of two colours, 1 (none) to 21 (black on white), from their relative
/// luminance as accessibility guidelines define it.
double contrastRatio(const QColor& a, const QColor& b);
/// The largest whole-minute value of the shaded cells: the selected weekdays and "All Days".
std::int32_t dayShadeMaximum(const HourGrid& grid, const DayReportInputs& inputs);
/// The values the shading legend shows: 0, the quarters of `largest` and `largest` itself, each
/// rounded as the table's minutes are (halves to even), so 47 gives 0 12 24 35 47.
std::array<std::int32_t, 5> dayShadeLegendValues(std::int32_t largest);

// ---- Key figures ----

/// The range a run is compared with: as long as the report's range and ending before it. A
/// range shorter than a week is moved back a whole week instead, so it holds the same weekdays.
DateRange previousDayRange(const DateRange& range);

struct DayKeyFigures {
    int busiestHour = -1;                   ///< 0 … 23; -1 when the range holds no activity
    std::int32_t busiestHourMinutes = 0;    ///< its "All Days" value
    int busiestWeekday = -1;                ///< index Monday first; -1 when no activity
    std::int32_t busiestWeekdayMinutes = 0; ///< the weekday's column total
    double activeSeconds = 0;               ///< all activity of the range on the selected weekdays
    double previousSeconds = 0;             ///< the same for the previous range
    DateRange previous;
};

/// The figures of a run. `shown` is the report's grid (after averageAllDays); `totals` and
/// `previousTotals` are the grids of the total aggregate on the report's and the previous range.
/// The busiest hour and weekday go by the shown whole minutes, the earliest of equal ones, even
/// when all of them show 0; they are -1 only when `totals` holds no activity on the weekdays.
DayKeyFigures dayKeyFigures(const HourGrid& shown, const HourGrid& totals, const HourGrid& previousTotals,
                            const DayReportInputs& inputs);

/// The four lines of the key-figures band, in order: busiest hour, busiest weekday, active
/// hours, change against the previous range. Dates in the locale's short format.
QStringList dayKeyFigureTexts(const DayKeyFigures& figures, const QLocale& locale);

} // namespace tallyrow
