#pragma once

#include "activity/WeekdaySet.h"

#include "activity/ActivityQuery.h"
#include "activity/DateRange.h"
#include "engine/ChartDefinition.h"
#include "engine/RowSet.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace tallyrow {

/// The inputs of the Day report, as the main window (or the command-line tool) sets them.
/// What each figure of the Day report is, over the hours of the range (the window's list order).
enum class DayFigure : std::int32_t { Average = 0, Total = 1, Maximum = 2, Minimum = 3 };
/// Which columns the Day report shows: the average of the selected weekdays, each of them, or both.
enum class DayColumns : std::int32_t { Average = 0, EachDay = 1, EachDayAndAverage = 2 };

struct DayReportInputs {
    DateRange range; ///< the days the report covers
    /// The weekdays whose rows count, Monday first (index 0 Monday … 6 Sunday).
    WeekdaySet days = WeekdaySet::all();
    DayColumns columns = DayColumns::Average;
    DayFigure figure = DayFigure::Average; ///< a value outside the list counts as Total
    std::int32_t chartType = engine::ChartType::Line2D;
    bool showDetails = false;
    bool shadeTable = false; ///< the table's cells shaded by their value, with a legend
    bool keyFigures = false; ///< the key-figures band under the chart on the first page
    QString userFilter;      ///< "" = all users
    QString computerFilter;  ///< "" = any computer
    /// What the run reads: a data file path or a server URI. Empty reads nothing (the run
    /// says it cannot open a connection).
    QString dataFile;
};

/// One weekday of the report's fixed order (Monday first): its weekday remainder (day number
/// mod 7) and its column heading.
struct ReportWeekday {
    std::int32_t remainder;
    QLatin1String heading;
};
const std::array<ReportWeekday, 7>& reportWeekdays();

/// Whether the weekday at `index` of reportWeekdays() (0 Monday … 6 Sunday) is selected.
bool isWeekdaySelected(const DayReportInputs& inputs, int index);
/// Full names of the selected weekdays, Monday first.
QStringList selectedWeekdayNames(const DayReportInputs& inputs);

/// "Days selected: Monday, Wednesday, Sunday".
QString selectedDaysText(const DayReportInputs& inputs);
/// The weekday remainders whose rows count, as a set of bits: the selected weekdays, or every
/// weekday when none is selected.
std::uint8_t dayWeekdayMask(const DayReportInputs& inputs);

/// How the hours are brought together (a value outside the list: the total).
HourAggregate dayAggregate(DayFigure figure);
/// The report's sentence about what the figures are.
QString dayTotalTypeSentence(DayFigure figure);
/// Title of the chart's value axis; nothing for a value outside the list (the definition's
/// title stays).
std::optional<QString> dayValueAxisTitle(DayFigure figure);

/// What a run asks of the data: per weekday remainder, each hour's aggregate over the range,
/// the name filters and the weekdays.
ActivityQuery dayQuery(const DayReportInputs& inputs);

/// Seconds per hour (0 … 23) and column (weekday remainders 0 … 6, then the all-days column).
using HourGrid = std::array<std::array<double, 8>, 24>;
inline constexpr int AllDaysColumn = 7;

/// The grid of an answer to dayQuery (before averageAllDays): each group's hours go to the
/// column of its weekday remainder and are added to the all-days column; an hour without a
/// figure counts 0.
HourGrid dayGrid(const ActivityAnswer& answer);
/// Turns the all-days column from the sum into the mean over the selected weekdays; a selected
/// weekday without rows counts with 0. With no weekday selected the column stays 0.
void averageAllDays(HourGrid& grid, int selectedWeekdays);

/// The time label of hour h, "H:NN AM/PM": 12:00 AM, 1:00 AM, … 11:00 PM.
QString hourLabel(int hour);
/// Seconds as whole minutes, an exact half minute going to the even neighbour.
std::int32_t wholeMinutes(double seconds);

/// The chart's row set (columns only): "Time", the selected weekdays unless only the average is
/// shown, "All Days" unless only each day is.
engine::RowSet dayChartColumns(const DayReportInputs& inputs);
/// The table's row set (columns only): "Time", every selected weekday, "All Days".
engine::RowSet dayDetailColumns(const DayReportInputs& inputs);
/// Appends the 24 hour rows of the grid, in whole minutes, to a row set made by one of the
/// two functions above; each column is found in the grid by its name.
void fillDayRowSet(engine::RowSet& rows, const HourGrid& grid);

} // namespace tallyrow

namespace tallyrow {} // namespace tallyrow
