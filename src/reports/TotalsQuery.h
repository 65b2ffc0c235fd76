#pragma once

#include "activity/ActivityQuery.h"
#include "activity/DateRange.h"
#include "engine/ChartDefinition.h"

#include <QDate>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>
#include <vector>

namespace tallyrow {

/// The unit the reports count active time in; the values are the report's time-scale codes.
enum class TimeScale : std::int32_t { Seconds = 0, Minutes = 1, Hours = 2 };

/// What one period of the Totals report is made of (the window's list order).
enum class TotalsPeriod : std::int32_t { Days = 0, Weeks = 1, Months = 2, Years = 3 };

/// The inputs of the Totals report, as the main window (or the command-line tool) sets them.
struct TotalsReportInputs {
    DateRange range;        ///< the days the report covers
    std::int32_t units = 1; ///< period units per period; below 1 counts as 1
    TotalsPeriod period = TotalsPeriod::Days;
    std::int32_t chartType = engine::ChartType::Line2D;
    bool showDetails = false;
    QString userFilter;                       ///< "" = all users
    QString computerFilter;                   ///< "" = any computer
    TimeScale timeScale = TimeScale::Minutes; ///< a value outside the list counts as seconds
    /// What the run reads: a data file path or a server URI. Empty reads nothing.
    QString dataFile;
    /// Also show each period of the previous range of the same length ("Previous" column, a
    /// second chart series, the change of the grand total in percent).
    bool compare = false;
};

/// The time scale a name of the main window's list gives ("seconds", "minutes", "hours",
/// compared without regard to case); nothing for other names.
std::optional<TimeScale> timeScaleNamed(const QString& name);

/// The period's name in the window's list: "Days", "Weeks", "Months", "Years".
QString periodName(TotalsPeriod period);
/// The period a name gives (any letter case); nothing for other names.
std::optional<TotalsPeriod> periodNamed(const QString& name);

/// "Grouped into 2 week periods": the units as given and the period's name in the singular,
/// in lower case.
QString groupText(std::int32_t units, TotalsPeriod period);
/// The calendar interval code of a period: "YYYY", "M", "WW", and "D" for days and any other value.
QString periodCode(TotalsPeriod period);
/// Seconds per unit of the time scale (1, 60 or 3600) and the value axis title.
int timeScaleDivisor(TimeScale timeScale);
QString timeScaleAxisTitle(TimeScale timeScale);

/// One period: its first day and the first day of the next period.
struct PeriodSpan {
    QDate start;
    QDate next;
};
/// The consecutive periods from `start` while a period's start is not after `end`; each next
/// start is the previous one moved by `units` intervals of `code` (so a day clamped at a
/// month's end stays clamped). The last period keeps its full length. A code that does not move
/// a whole day (hours) gives at most one period instead of never ending.
QVector<PeriodSpan> totalsPeriods(const DateRange& range, const QString& code, std::int32_t units);

/// True when the last of `periods` runs past the range's end (it keeps its full length).
bool lastPeriodRunsPast(const QVector<PeriodSpan>& periods, const DateRange& range);
/// A period as the page names it: its first day, and "<first> – <last>" when `spanned`.
QString periodLabel(const PeriodSpan& period, bool spanned, const QLocale& locale);
/// The line under the table when the last period runs past the range's end ("The last week
/// runs past the end date to 6 Oct 2026."); empty when it does not.
QString lastPeriodNote(const QVector<PeriodSpan>& periods, const DateRange& range, std::int32_t units,
                       TotalsPeriod period, const QLocale& locale);

/// The range of as many days as `start`..`end` that ends the day before `start`: its first day
/// (`start` itself when `end` is before `start`).
QDate previousRangeStart(const DateRange& range);
/// The periods of the previous range, paired by position with `periods`: as many as `periods`
/// holds, the first starting on previousRangeStart, each next start moved by `units` intervals
/// of `code` from the one before, as the report's own periods are. Pairing by count rather
/// than by end date keeps months of unequal length together (31 March with 29 February).
QVector<PeriodSpan> previousPeriods(const QVector<PeriodSpan>& periods, const DateRange& range,
                                    const QString& code, std::int32_t units);
/// The change from `previous` to `current` in percent with a sign and one decimal ("+12.5 %",
/// "-3.0 %"); "–" (an en dash) when there was no previous activity to compare with.
QString changeText(double current, double previous, const QLocale& locale);

/// What a run asks of the data for `periods`: the seconds of all hours (a missing hour counts 0)
/// of the rows of each period that pass the name filters.
ActivityQuery totalsQuery(const QVector<PeriodSpan>& periods, const QString& userFilter,
                          const QString& computerFilter);

} // namespace tallyrow
