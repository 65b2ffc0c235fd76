#include "reports/DayQuery.h"

#include "datafile/ActivitySnapshot.h"
#include "datafile/Connection.h"
#include "reports/ReportTexts.h"
#include "reports/TyrowUtils.h"

#include <limits>

namespace tallyrow {

const std::array<ReportWeekday, 7>& reportWeekdays() {
    static const std::array<ReportWeekday, 7> days = {{
        {2, QLatin1String("2,"), QLatin1String("Mon")},
        {3, QLatin1String("3,"), QLatin1String("Tue")},
        {4, QLatin1String("4,"), QLatin1String("Wed")},
        {5, QLatin1String("5,"), QLatin1String("Thu")},
        {6, QLatin1String("6,"), QLatin1String("Fri")},
        {0, QLatin1String("0,"), QLatin1String("Sat")},
        {1, QLatin1String("1,"), QLatin1String("Sun")},
    }};
    return days;
}

bool isWeekdaySelected(const DayReportInputs& inputs, int index) {
    return index >= 0 && index < 7 && inputs.Days[static_cast<std::size_t>(index)];
}

QStringList selectedWeekdayNames(const DayReportInputs& inputs) {
    QStringList names;
    for (int i = 0; i < 7; ++i) {
        if (isWeekdaySelected(inputs, i))
            names << GetDayName(reportWeekdays()[i].remainder);
    }
    return names;
}

QString selectedDaysText(const DayReportInputs& inputs) {
    return QStringLiteral("Days selected: ") + selectedWeekdayNames(inputs).join(QLatin1String(", "));
}

QString dayListText(const DayReportInputs& inputs) {
    QString list;
    for (int i = 0; i < 7; ++i) {
        if (isWeekdaySelected(inputs, i))
            list += reportWeekdays()[i].token;
    }
    if (list.endsWith(QLatin1Char(',')))
        list.chop(1);
    return list;
}

QString dayAggregateFunction(std::int32_t totalType) {
    switch (totalType) {
    case 0:
        return QStringLiteral("Avg");
    case 2:
        return QStringLiteral("Max");
    case 3:
        return QStringLiteral("Min");
    default:
        return QStringLiteral("Sum");
    }
}

QString dayTotalTypeSentence(std::int32_t totalType) {
    QLatin1String word("total");
    switch (totalType) {
    case 0:
        word = QLatin1String("average");
        break;
    case 2:
        word = QLatin1String("maximum");
        break;
    case 3:
        word = QLatin1String("minimum");
        break;
    default:
        break;
    }
    return QStringLiteral("This report shows the ") + word +
           QStringLiteral(" active time for each selected day of the week in this date range");
}

std::optional<QString> dayValueAxisTitle(std::int32_t totalType) {
    switch (totalType) {
    case 0:
        return QStringLiteral("Active minutes per hour");
    case 1:
        return QStringLiteral("Total minutes");
    case 2:
        return QStringLiteral("Maximum active minutes per hour");
    case 3:
        // The title reads as it always has; users' saved reports carry it.
        return QStringLiteral("Minumim active minutes per hour");
    default:
        return std::nullopt;
    }
}

QString dayQueryText(const DayReportInputs& inputs) {
    const QString f = dayAggregateFunction(inputs.TotalType);
    QString sql = QStringLiteral("SELECT [ActiveDay] Mod 7 AS DayNumber, ");
    for (int h = 0; h < 24; ++h) {
        const QString n = QString::number(h);
        sql += f + QStringLiteral("(Activity.H") + n + QStringLiteral(") AS T") + n;
        sql += h < 23 ? QStringLiteral(", ") : QStringLiteral(" ");
    }
    sql += QStringLiteral("From Activity ");
    sql += QStringLiteral("WHERE (ActiveDay BETWEEN ") + QString::number(GetDayNumber(inputs.StartDate)) +
           QStringLiteral(" AND ") + QString::number(GetDayNumber(inputs.EndDate)) + QLatin1Char(')');
    sql += userComputerFilter(inputs.UserFilter, inputs.ComputerFilter);
    sql += QStringLiteral(" GROUP BY [ActiveDay] Mod 7");
    const QString days = dayListText(inputs);
    if (!days.isEmpty())
        sql += QStringLiteral(" HAVING ActiveDay mod 7  In (") + days + QLatin1Char(')');
    return sql;
}

void addDayResultRow(HourGrid& grid, const Recordset& row) {
    const int d = row.field(QStringLiteral("DayNumber")).toInt();
    if (d < 0 || d > 6)
        return;
    for (int h = 0; h < 24; ++h) {
        const QVariant v = row.field(QStringLiteral("T") + QString::number(h));
        const double value = v.isNull() ? 0.0 : v.toDouble();
        grid[h][d] = value;
        grid[h][AllDaysColumn] += value;
    }
}

HourGrid daySnapshotGrid(const ActivitySnapshot& snapshot, const DayReportInputs& inputs) {
    ActivitySnapshot::Aggregate aggregate = ActivitySnapshot::Aggregate::Sum;
    switch (inputs.TotalType) {
    case 0:
        aggregate = ActivitySnapshot::Aggregate::Avg;
        break;
    case 2:
        aggregate = ActivitySnapshot::Aggregate::Max;
        break;
    case 3:
        aggregate = ActivitySnapshot::Aggregate::Min;
        break;
    default:
        break;
    }
    // Without a selected weekday the query keeps every group, as it then has no HAVING clause.
    bool anySelected = false;
    std::array<bool, 7> kept{};
    for (int i = 0; i < 7; ++i) {
        if (isWeekdaySelected(inputs, i)) {
            anySelected = true;
            kept[std::size_t(reportWeekdays()[i].remainder)] = true;
        }
    }
    HourGrid grid{};
    const auto groups = snapshot.hourAggregates(GetDayNumber(inputs.StartDate), GetDayNumber(inputs.EndDate),
                                                inputs.UserFilter, inputs.ComputerFilter, aggregate);
    for (const ActivitySnapshot::RemainderGroup& g : groups) {
        // Groups before 2000 with a negative remainder have no column (see addDayResultRow).
        if (g.remainder < 0 || g.remainder > 6)
            continue;
        if (anySelected && !kept[std::size_t(g.remainder)])
            continue;
        for (int h = 0; h < 24; ++h) {
            const double value = g.hours[h].value_or(0.0);
            grid[h][g.remainder] = value;
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
    return dayColumns(inputs, inputs.ShowEachDay != 0, inputs.ShowEachDay != 1);
}

engine::RowSet dayDetailColumns(const DayReportInputs& inputs) {
    return dayColumns(inputs, true, true);
}

void fillDayRowSet(engine::RowSet& rows, const HourGrid& grid) {
    QVector<int> columnOf(rows.columnCount(), -1);
    for (int c = 0; c < rows.columnCount(); ++c) {
        if (c > 0)
            columnOf[c] = GetDayNumFromName(rows.column(c).name);
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
    rows.MoveFirst();
    rows.clearFilter();
    rows.commit();
}

} // namespace tallyrow

namespace tallyrow {

double leadingNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        ++i;
    const qsizetype digitsStart = i;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128)
        ++i;
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128)
            ++i;
    }
    if (i == digitsStart || (i == digitsStart + 1 && text[digitsStart] == QLatin1Char('.')))
        return 0.0;
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    return ok ? value : 0.0;
}

} // namespace tallyrow
