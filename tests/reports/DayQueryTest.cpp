#include "reports/DayQuery.h"
#include "reports/ReportTexts.h"

#include "datafile/Connection.h"

#include <gtest/gtest.h>

using namespace tallyrow;

namespace {

DayReportInputs mondayWednesdaySunday() {
    DayReportInputs in;
    in.StartDate = QDate(2004, 3, 1);
    in.EndDate = QDate(2004, 3, 31);
    in.Days[1] = in.Days[3] = in.Days[4] = in.Days[5] = false;
    in.UserFilter = QStringLiteral("anna");
    return in;
}

QStringList columnNames(const engine::RowSet& rows) {
    QStringList names;
    for (int c = 0; c < rows.columnCount(); ++c)
        names << rows.column(c).name;
    return names;
}

// A result row of the day query: weekday remainder and the same value in every hour (null when
// `seconds` is negative).
QVector<QVariant> resultRow(int dayNumber, double seconds) {
    QVector<QVariant> row{dayNumber};
    for (int h = 0; h < 24; ++h)
        row << (seconds < 0 ? QVariant() : QVariant(seconds));
    return row;
}

QStringList resultFields() {
    QStringList names{QStringLiteral("DayNumber")};
    for (int h = 0; h < 24; ++h)
        names << QStringLiteral("T") + QString::number(h);
    return names;
}

HourGrid gridOf(const QVector<QVector<QVariant>>& rows, int selected) {
    Recordset rs(resultFields(), rows);
    HourGrid grid{};
    while (!rs.EOF_()) {
        addDayResultRow(grid, rs);
        rs.MoveNext();
    }
    averageAllDays(grid, selected);
    return grid;
}

} // namespace

TEST(DayQuery, AverageOfMondayWednesdaySundayForAnnaReadsToTheLetter) {
    const QString expected = QStringLiteral(
        "SELECT [ActiveDay] Mod 7 AS DayNumber, Avg(Activity.H0) AS T0, Avg(Activity.H1) AS T1, Avg(Activity."
        "H2) AS T2, Avg(Activity.H3) AS T3, Avg(Activity.H4) AS T4, Avg(Activity.H5) AS T5, Avg(Activity.H6) "
        "AS T6, Avg(Activity.H7) AS T7, Avg(Activity.H8) AS T8, Avg(Activity.H9) AS T9, Avg(Activity.H10) AS "
        "T10, Avg(Activity.H11) AS T11, Avg(Activity.H12) AS T12, Avg(Activity.H13) AS T13, Avg(Activity.H14)"
        " AS T14, Avg(Activity.H15) AS T15, Avg(Activity.H16) AS T16, Avg(Activity.H17) AS T17, Avg(Activity."
        "H18) AS T18, Avg(Activity.H19) AS T19, Avg(Activity.H20) AS T20, Avg(Activity.H21) AS T21, Avg(Activ"
        "ity.H22) AS T22, Avg(Activity.H23) AS T23 From Activity WHERE (ActiveDay BETWEEN 1521 AND 1551) AND "
        "UserName='anna' GROUP BY [ActiveDay] Mod 7 HAVING ActiveDay mod 7  In (2,4,1)");
    EXPECT_EQ(dayQueryText(mondayWednesdaySunday()), expected);
    EXPECT_EQ(selectedDaysText(mondayWednesdaySunday()),
              QStringLiteral("Days selected: Monday, Wednesday, Sunday"));
    EXPECT_EQ(dayListText(mondayWednesdaySunday()), QStringLiteral("2,4,1"));
}

TEST(DayQuery, TotalTypeChoosesFunctionSentenceAndAxisTitle) {
    const struct {
        int totalType;
        const char* function;
        const char* word;
        const char* title; // nullptr: the definition's title stays
    } cases[] = {
        {0, "Avg", "average", "Active minutes per hour"},
        {1, "Sum", "total", "Total minutes"},
        {2, "Max", "maximum", "Maximum active minutes per hour"},
        {3, "Min", "minimum", "Minumim active minutes per hour"},
        {4, "Sum", "total", nullptr},
        {-1, "Sum", "total", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.totalType);
        DayReportInputs in = mondayWednesdaySunday();
        in.TotalType = c.totalType;
        EXPECT_TRUE(dayQueryText(in).contains(QLatin1String(c.function) +
                                              QStringLiteral("(Activity.H23) AS T23 From")));
        EXPECT_EQ(dayTotalTypeSentence(c.totalType),
                  QStringLiteral("This report shows the ") + QLatin1String(c.word) +
                      QStringLiteral(" active time for each selected day of "
                                     "the week in this date range"));
        EXPECT_EQ(dayValueAxisTitle(c.totalType).has_value(), c.title != nullptr);
        if (c.title) {
            EXPECT_EQ(*dayValueAxisTitle(c.totalType), QLatin1String(c.title));
        }
    }
}

TEST(DayQuery, FiltersAndUserTextsForEveryCombination) {
    EXPECT_EQ(userComputerText(QStringLiteral("anna"), QStringLiteral("OFFICE1")),
              QStringLiteral("For user <anna> on computer <OFFICE1>"));
    EXPECT_EQ(userComputerText(QStringLiteral("anna"), {}),
              QStringLiteral("For user <anna> on any computer"));
    EXPECT_EQ(userComputerText({}, QStringLiteral("OFFICE1")),
              QStringLiteral("For all users on computer <OFFICE1>"));
    EXPECT_EQ(userComputerText({}, {}), QStringLiteral("For all users on any computer"));

    DayReportInputs in = mondayWednesdaySunday();
    in.UserFilter = QStringLiteral("o'neil");
    in.ComputerFilter = QStringLiteral("OFFICE'3");
    const QString sql = dayQueryText(in);
    EXPECT_TRUE(sql.contains(
        QStringLiteral("AND 1551) AND UserName='o''neil' AND ComputerName='OFFICE''3' GROUP BY")))
        << qPrintable(sql);
    EXPECT_EQ(userComputerText(in.UserFilter, {}), QStringLiteral("For user <o'neil> on any computer"));

    in.UserFilter.clear();
    in.ComputerFilter.clear();
    EXPECT_TRUE(dayQueryText(in).contains(QStringLiteral("AND 1551) GROUP BY [ActiveDay] Mod 7 HAVING")));
}

TEST(DayQuery, DatesBefore2000KeepTheirSign) {
    DayReportInputs in = mondayWednesdaySunday();
    in.StartDate = QDate(1999, 12, 29);
    in.EndDate = QDate(2000, 1, 1);
    EXPECT_TRUE(dayQueryText(in).contains(QStringLiteral("WHERE (ActiveDay BETWEEN -3 AND 0)")));
}

TEST(DayRowSets, ColumnsFollowShowEachDayAndShowDetails) {
    DayReportInputs in = mondayWednesdaySunday();
    const QStringList all{QStringLiteral("Time"), QStringLiteral("Monday"), QStringLiteral("Wednesday"),
                          QStringLiteral("Sunday"), QStringLiteral("All Days")};
    in.ShowEachDay = 0;
    EXPECT_EQ(columnNames(dayChartColumns(in)),
              (QStringList{QStringLiteral("Time"), QStringLiteral("All Days")}));
    in.ShowEachDay = 1;
    EXPECT_EQ(columnNames(dayChartColumns(in)),
              (QStringList{QStringLiteral("Time"), QStringLiteral("Monday"), QStringLiteral("Wednesday"),
                           QStringLiteral("Sunday")}));
    in.ShowEachDay = 2;
    EXPECT_EQ(columnNames(dayChartColumns(in)), all);
    // The table has every selected weekday and All Days whatever the chart shows.
    for (int each : {0, 1, 2}) {
        in.ShowEachDay = each;
        EXPECT_EQ(columnNames(dayDetailColumns(in)), all);
    }
}

TEST(DayRowSets, TwentyFourHourRowsInWholeMinutesHalvesToEven) {
    DayReportInputs in;
    in.Days[1] = in.Days[2] = in.Days[3] = in.Days[4] = in.Days[5] = in.Days[6] = false;
    in.ShowEachDay = 2;
    const struct {
        double seconds;
        int minutes;
    } cases[] = {{90, 2}, {150, 2}, {149, 2}, {29, 0}, {210, 4}, {3600, 60}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        const HourGrid grid = gridOf({resultRow(2, c.seconds)}, 1);
        engine::RowSet rows = dayChartColumns(in);
        fillDayRowSet(rows, grid);
        ASSERT_EQ(rows.rowCount(), 24);
        EXPECT_EQ(rows.value(5, 1).toInt(), c.minutes);
        // One weekday: All Days equals it, the divisor being 1.
        EXPECT_EQ(rows.value(5, 2).toInt(), c.minutes);
    }
    engine::RowSet rows = dayChartColumns(in);
    fillDayRowSet(rows, gridOf({}, 1));
    QStringList labels;
    for (int h = 0; h < 24; ++h)
        labels << rows.value(h, 0).toString();
    EXPECT_EQ(labels.first(), QStringLiteral("12:00 AM"));
    EXPECT_EQ(labels[1], QStringLiteral("1:00 AM"));
    EXPECT_EQ(labels[11], QStringLiteral("11:00 AM"));
    EXPECT_EQ(labels[12], QStringLiteral("12:00 PM"));
    EXPECT_EQ(labels[13], QStringLiteral("1:00 PM"));
    EXPECT_EQ(labels.last(), QStringLiteral("11:00 PM"));
    // No activity: still 24 rows of zeros.
    EXPECT_EQ(rows.value(23, 1).toInt(), 0);
}

TEST(DayRowSets, AllDaysDividesBySelectedWeekdaysEvenWithoutRows) {
    // Monday 600 s, Sunday 300 s, Wednesday without rows; rows arrive in any order.
    const HourGrid grid = gridOf({resultRow(1, 300), resultRow(2, 600)}, 3);
    EXPECT_DOUBLE_EQ(grid[0][AllDaysColumn], 300.0);
    DayReportInputs in = mondayWednesdaySunday();
    engine::RowSet rows = dayDetailColumns(in);
    fillDayRowSet(rows, grid);
    EXPECT_EQ(rows.value(0, 1).toInt(), 10); // Monday
    EXPECT_EQ(rows.value(0, 2).toInt(), 0);  // Wednesday
    EXPECT_EQ(rows.value(0, 3).toInt(), 5);  // Sunday
    EXPECT_EQ(rows.value(0, 4).toInt(), 5);  // All Days
}

TEST(DayRowSets, EmptyAggregatesAndOutOfRangeWeekdaysAreHarmless) {
    // A null aggregate counts 0; a negative remainder (a day before 2000 without a weekday
    // filter) has no column and is left out instead of writing outside the grid.
    const HourGrid grid = gridOf({resultRow(3, -1), resultRow(-2, 500), resultRow(2, 120)}, 2);
    EXPECT_EQ(grid[7][3], 0.0);
    EXPECT_EQ(grid[7][2], 120.0);
    EXPECT_EQ(grid[7][AllDaysColumn], 60.0);
    HourGrid none = gridOf({resultRow(2, 120)}, 0);
    EXPECT_EQ(none[0][AllDaysColumn], 0.0);
}

TEST(FormatSteps, LeadingNumberOfShownTexts) {
    EXPECT_EQ(leadingNumber(QStringLiteral("")), 0);
    EXPECT_EQ(leadingNumber(QStringLiteral("12")), 12);
    EXPECT_EQ(leadingNumber(QStringLiteral("  7 min")), 7);
    EXPECT_EQ(leadingNumber(QStringLiteral("-3")), -3);
    EXPECT_EQ(leadingNumber(QStringLiteral("2.5x")), 2.5);
    EXPECT_EQ(leadingNumber(QStringLiteral("abc")), 0);
    EXPECT_EQ(leadingNumber(QStringLiteral(".")), 0);
}
