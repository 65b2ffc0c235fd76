#include "reports/DayQuery.h"

#include "reports/ReportTexts.h"
#include "reports/DayNumbers.h"

#include <limits>

namespace tallyrow {

const std::array<ReportWeekday, 7>& reportWeekdays() {
    static const std::array<ReportWeekday, 7> days = {{
        {2, QLatin1String("Mon")},
        {3, QLatin1String("Tue")},
        {4, QLatin1String("Wed")},
        {5, QLatin1String("Thu")},
        {6, QLatin1String("Fri")},
        {0, QLatin1String("Sat")},
        {1, QLatin1String("Sun")},
    }};
    return days;
}

bool isWeekdaySelected(const DayReportInputs& inputs, int index) {
    return index >= 0 && index < 7 && inputs.days.contains(Qt::DayOfWeek(index + 1));
}

QStringList selectedWeekdayNames(const DayReportInputs& inputs) {
    QStringList names;
    for (int i = 0; i < 7; ++i) {
        if (isWeekdaySelected(inputs, i))
            names << dayNameOf(reportWeekdays()[i].remainder);
    }
    return names;
}

QString selectedDaysText(const DayReportInputs& inputs) {
    return QStringLiteral("Days selected: ") + selectedWeekdayNames(inputs).join(QLatin1String(", "));
}

std::uint8_t dayWeekdayMask(const DayReportInputs& inputs) {
    const std::uint8_t mask = inputs.days.remainderMask();
    // Without a selected weekday every weekday's rows are read, as they always were; the
    // all-days column then stays 0 (averageAllDays) and no weekday column is shown.
    return mask == 0 ? ActivityQuery::kEveryWeekday : mask;
}

HourAggregate dayAggregate(DayFigure figure) {
    switch (figure) {
    case DayFigure::Average:
        return HourAggregate::Average;
    case DayFigure::Maximum:
        return HourAggregate::Maximum;
    case DayFigure::Minimum:
        return HourAggregate::Minimum;
    default:
        return HourAggregate::Total;
    }
}

QString dayTotalTypeSentence(DayFigure figure) {
    QLatin1String word("total");
    switch (figure) {
    case DayFigure::Average:
        word = QLatin1String("average");
        break;
    case DayFigure::Maximum:
        word = QLatin1String("maximum");
        break;
    case DayFigure::Minimum:
        word = QLatin1String("minimum");
        break;
    default:
        break;
    }
    return QStringLiteral("This report shows the ") + word +
           QStringLiteral(" active time for each selected day of the week in this date range");
}

std::optional<QString> dayValueAxisTitle(DayFigure figure) {
    switch (figure) {
    case DayFigure::Average:
        return QStringLiteral("Active minutes per hour");
    case DayFigure::Total:
        return QStringLiteral("Total minutes");
    case DayFigure::Maximum:
        return QStringLiteral("Maximum active minutes per hour");
    case DayFigure::Minimum:
        // The title reads as it always has; users' saved reports carry it.
        return QStringLiteral("Minumim active minutes per hour");
    default:
        return std::nullopt;
    }
}

ActivityQuery dayQuery(const DayReportInputs& inputs) {
    // Day numbers as the report counts them: a date that is none fails the step that asks.
    const DayRange range{dayNumber(inputs.range.start), dayNumber(inputs.range.end)};
    return ActivityQuery::hourAggregates(range, inputs.userFilter, inputs.computerFilter,
                                         dayWeekdayMask(inputs), dayAggregate(inputs.figure));
}

HourGrid dayGrid(const ActivityAnswer& answer) {
    HourGrid grid{};
    for (const HourGroup& g : answer.groups) {
        if (g.remainder < 0 || g.remainder > 6)
            continue;
        for (std::size_t h = 0; h < 24; ++h) {
            const double value = g.hours[h].value_or(0.0);
            grid[h][std::size_t(g.remainder)] = value;
            grid[h][AllDaysColumn] += value;
        }
    }
    return grid;
}

void averageAllDays(HourGrid& grid, int selectedWeekdays) {
    for (auto& hour : grid)
        hour[AllDaysColumn] = selectedWeekdays > 0 ? hour[AllDaysColumn] / selectedWeekdays : 0.0;
}

QString hourLabel(int hour) {
    const int twelve = hour % 12 == 0 ? 12 : hour % 12;
    return QString::number(twelve) + (hour < 12 ? QStringLiteral(":00 AM") : QStringLiteral(":00 PM"));
}

std::int32_t wholeMinutes(double seconds) {
    const double minutes = roundHalfEven(seconds / 60.0);
    if (!(minutes >= std::numeric_limits<std::int32_t>::min() &&
          minutes <= std::numeric_limits<std::int32_t>::max()))
        return 0;
    return static_cast<std::int32_t>(minutes);
}

namespace {

engine::RowSet dayColumns(const DayReportInputs& inputs, bool weekdays, bool allDays) {
    engine::RowSet rows;
    rows.appendColumn(QStringLiteral("Time"), engine::RowSet::Type::Text, 250);
    if (weekdays) {
        for (const QString& name : selectedWeekdayNames(inputs))
            rows.appendColumn(name, engine::RowSet::Type::Int32);
    }
    if (allDays)
        rows.appendColumn(QStringLiteral("All Days"), engine::RowSet::Type::Int32);
    return rows;
}

} // namespace

engine::RowSet dayChartColumns(const DayReportInputs& inputs) {
    return dayColumns(inputs, inputs.columns != DayColumns::Average, inputs.columns != DayColumns::EachDay);
}

engine::RowSet dayDetailColumns(const DayReportInputs& inputs) {
    return dayColumns(inputs, true, true);
}

void fillDayRowSet(engine::RowSet& rows, const HourGrid& grid) {
    QVector<int> columnOf(rows.columnCount(), -1);
    for (int c = 0; c < rows.columnCount(); ++c) {
        if (c > 0)
            columnOf[c] = dayRemainderOf(rows.column(c).name);
    }
    for (int h = 0; h < 24; ++h) {
        QVector<QVariant> values;
        values.reserve(rows.columnCount());
        for (int c = 0; c < rows.columnCount(); ++c) {
            if (c == 0)
                values << QVariant(hourLabel(h));
            else
                values << QVariant(wholeMinutes(grid[h][columnOf[c]]));
        }
        rows.appendRow(values);
    }
    rows.toFirst();
    rows.clearFilter();
    rows.commit();
}

} // namespace tallyrow
