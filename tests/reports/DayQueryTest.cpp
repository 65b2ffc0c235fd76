#include "reports/DayQuery.h"
#include "reports/ReportTexts.h"

#include <gtest/gtest.h>

using namespace tallyrow;
using namespace Qt::StringLiterals;

namespace {

DayReportInputs mondayWednesdaySunday() {
    DayReportInputs in;
    in.range = {QDate(2004, 3, 1), QDate(2004, 3, 31)};
    in.days = WeekdaySet{Qt::Monday, Qt::Wednesday, Qt::Sunday};
    in.userFilter = QStringLiteral("anna");
    return in;
}

QStringList columnNames(const engine::RowSet& rows) {
    QStringList names;
    for (int c = 0; c < rows.columnCount(); ++c)
        names << rows.column(c).name;
    return names;
}

// One weekday group of an answer: its remainder and the same value in every hour (none when
// `seconds` is negative).
HourGroup resultRow(int remainder, double seconds) {
    HourGroup g;
    g.remainder = remainder;
    for (auto& h : g.hours)
        h = seconds < 0 ? std::nullopt : std::optional<double>(seconds);
    return g;
}

HourGrid gridOf(const std::vector<HourGroup>& groups, int selected) {
    ActivityAnswer answer;
    answer.groups = groups;
    HourGrid grid = dayGrid(answer);
    averageAllDays(grid, selected);
    return grid;
}

} // namespace

TEST(DayQuery, AskForTheRangeTheFiltersAndTheSelectedWeekdays) {
    const ActivityQuery q = dayQuery(mondayWednesdaySunday());
    // Monday, Wednesday and Sunday are the remainders 2, 4 and 1.
    EXPECT_EQ(q,
              ActivityQuery::hourAggregates({1521, 1551}, u"anna"_s, {}, 0b0010110, HourAggregate::Average))
        << qPrintable(q.describe());
    EXPECT_EQ(selectedDaysText(mondayWednesdaySunday()), u"Days selected: Monday, Wednesday, Sunday"_s);

    // No weekday chosen reads every weekday (the all-days column then stays 0); days before
    // 2000 keep their sign.
    DayReportInputs none = mondayWednesdaySunday();
    none.days = WeekdaySet();
    none.range = {QDate(1999, 12, 29), QDate(2000, 1, 1)};
    none.userFilter = u"o'neil"_s;
    none.computerFilter = u"OFFICE'3"_s;
    EXPECT_EQ(dayQuery(none),
              ActivityQuery::hourAggregates({-3, 0}, u"o'neil"_s, u"OFFICE'3"_s, ActivityQuery::kEveryWeekday,
                                            HourAggregate::Average));
}

TEST(DayQuery, TotalTypeChoosesAggregateSentenceAndAxisTitle) {
    const struct {
        int totalType;
        HourAggregate aggregate;
        const char* word;
        const char* title; // nullptr: the definition's title stays
    } cases[] = {
        {0, HourAggregate::Average, "average", "Active minutes per hour"},
        {1, HourAggregate::Total, "total", "Total minutes"},
        {2, HourAggregate::Maximum, "maximum", "Maximum active minutes per hour"},
        {3, HourAggregate::Minimum, "minimum", "Minumim active minutes per hour"},
        {4, HourAggregate::Total, "total", nullptr},
        {-1, HourAggregate::Total, "total", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.totalType);
        EXPECT_EQ(dayAggregate(DayFigure(c.totalType)), c.aggregate);
        EXPECT_EQ(dayTotalTypeSentence(DayFigure(c.totalType)),
                  QStringLiteral("This report shows the ") + QLatin1String(c.word) +
                      QStringLiteral(" active time for each selected day of "
                                     "the week in this date range"));
        EXPECT_EQ(dayValueAxisTitle(DayFigure(c.totalType)).has_value(), c.title != nullptr);
        if (c.title) {
            EXPECT_EQ(*dayValueAxisTitle(DayFigure(c.totalType)), QLatin1String(c.title));
        }
    }
}

TEST(DayQuery, UserTextsForEveryCombination) {
    EXPECT_EQ(userComputerText(QStringLiteral("anna"), QStringLiteral("OFFICE1")),
              QStringLiteral("For user <anna> on computer <OFFICE1>"));
    EXPECT_EQ(userComputerText(QStringLiteral("anna"), {}),
              QStringLiteral("For user <anna> on any computer"));
    EXPECT_EQ(userComputerText({}, QStringLiteral("OFFICE1")),
              QStringLiteral("For all users on computer <OFFICE1>"));
    EXPECT_EQ(userComputerText({}, {}), QStringLiteral("For all users on any computer"));
    EXPECT_EQ(userComputerText(u"o'neil"_s, {}), QStringLiteral("For user <o'neil> on any computer"));
}

TEST(DayRowSets, ColumnsFollowShowEachDayAndShowDetails) {
    DayReportInputs in = mondayWednesdaySunday();
    const QStringList all{QStringLiteral("Time"), QStringLiteral("Monday"), QStringLiteral("Wednesday"),
                          QStringLiteral("Sunday"), QStringLiteral("All Days")};
    in.columns = DayColumns(0);
    EXPECT_EQ(columnNames(dayChartColumns(in)),
              (QStringList{QStringLiteral("Time"), QStringLiteral("All Days")}));
    in.columns = DayColumns(1);
    EXPECT_EQ(columnNames(dayChartColumns(in)),
              (QStringList{QStringLiteral("Time"), QStringLiteral("Monday"), QStringLiteral("Wednesday"),
                           QStringLiteral("Sunday")}));
    in.columns = DayColumns(2);
    EXPECT_EQ(columnNames(dayChartColumns(in)), all);
    // The table has every selected weekday and All Days whatever the chart shows.
    for (int each : {0, 1, 2}) {
        in.columns = DayColumns(each);
        EXPECT_EQ(columnNames(dayDetailColumns(in)), all);
    }
}

TEST(DayRowSets, TwentyFourHourRowsInWholeMinutesHalvesToEven) {
    DayReportInputs in;
    in.days = WeekdaySet{Qt::Monday};
    in.columns = DayColumns(2);
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

TEST(DateRange, ItsDaysAreTheDataFilesDayNumbersBothEndsIncluded) {
    // Day 0 is Saturday 1 January 2000; days before it count backwards.
    EXPECT_EQ(DayRange::of({QDate(1999, 12, 31), QDate(2000, 1, 7)}), (DayRange{-1, 6}));
    const DateRange backwards{QDate(2004, 3, 2), QDate(2004, 3, 1)};
    EXPECT_TRUE(backwards.isEmpty());
    EXPECT_EQ(backwards.days(), 0);
    EXPECT_TRUE(DayRange::of(backwards).empty());
    EXPECT_TRUE(DayRange::of({QDate(), QDate(2004, 3, 1)}).empty()) << "a missing date reads nothing";
    EXPECT_EQ((DateRange{QDate(2004, 2, 28), QDate(2004, 3, 1)}).days(), 3) << "29 February counts";
}
