#include "reports/DayHighlights.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace tallyrow;

namespace {

DayReportInputs inputs(const QDate& start, const QDate& end) {
    DayReportInputs in;
    in.range = {start, end};
    return in;
}

// The grid column of the weekday at `index`, Monday first.
int column(int index) {
    return reportWeekdays()[index].remainder;
}

} // namespace

TEST(DayShading, RunsFromWhiteToTheReportsBlueAndStaysThereOutsideTheRange) {
    EXPECT_EQ(dayShadeColor(0, 50), QColor(Qt::white));
    EXPECT_EQ(dayShadeColor(-3, 50), QColor(Qt::white));
    EXPECT_EQ(dayShadeColor(50, 50), QColor(0, 0, 128));
    EXPECT_EQ(dayShadeColor(80, 50), QColor(0, 0, 128));
    EXPECT_EQ(dayShadeColor(7, 0), QColor(Qt::white)) << "an empty table divides by nothing";
    // Darker with every step, never lighter.
    for (int v = 1; v <= 50; ++v)
        EXPECT_LT(dayShadeColor(v, 50).lightness(), dayShadeColor(v - 1, 50).lightness() + 1) << v;
}

TEST(DayShading, EveryShadeKeepsItsValueReadableOnScreenAndInGreyPrint) {
    for (int v = 0; v <= 100; ++v) {
        const QColor back = dayShadeColor(v, 100);
        const QColor text = readableTextColor(back);
        EXPECT_GE(contrastRatio(back, text), 4.5) << v;
        // Printed in grey, the fill turns into its luminance; the text keeps its distance too.
        const int grey = qGray(back.rgb());
        EXPECT_GE(std::abs(grey - qGray(text.rgb())), 90) << v;
    }
    EXPECT_EQ(readableTextColor(QColor(Qt::white)), QColor(Qt::black));
    EXPECT_EQ(readableTextColor(QColor(0, 0, 128)), QColor(Qt::white));
    EXPECT_NEAR(contrastRatio(QColor(Qt::black), QColor(Qt::white)), 21.0, 1e-9);
}

TEST(DayShading, TheLargestValueIgnoresWeekdaysNotShown) {
    DayReportInputs in = inputs(QDate(2004, 3, 1), QDate(2004, 3, 31));
    in.days = WeekdaySet{Qt::Monday};
    HourGrid grid{};
    grid[9][column(0)] = 30 * 60;
    grid[9][column(1)] = 90 * 60; // Tuesday, not selected
    grid[9][AllDaysColumn] = 30 * 60;
    EXPECT_EQ(dayShadeMaximum(grid, in), 30);
}

TEST(DayKeyFigures, PreviousRangeHasTheSameLengthAndAtLeastAWeeksDistance) {
    const DateRange month = previousDayRange({QDate(2004, 3, 1), QDate(2004, 3, 31)});
    EXPECT_EQ(month.start, QDate(2004, 1, 30));
    EXPECT_EQ(month.end, QDate(2004, 2, 29));
    const DateRange day = previousDayRange({QDate(2004, 3, 3), QDate(2004, 3, 3)});
    EXPECT_EQ(day.start, QDate(2004, 2, 25)) << "a single Wednesday is compared with the Wednesday before";
    EXPECT_EQ(day.end, QDate(2004, 2, 25));
}

TEST(DayKeyFigures, BusiestHourAndWeekdayComeFromTheShownFiguresFirstOneWinningATie) {
    DayReportInputs in = inputs(QDate(2004, 3, 8), QDate(2004, 3, 14));
    HourGrid shown{};
    shown[10][column(2)] = 40 * 60;
    shown[14][column(4)] = 40 * 60;
    shown[10][AllDaysColumn] = 40 * 60 / 7.0;
    shown[14][AllDaysColumn] = 40 * 60 / 7.0;
    HourGrid totals{};
    totals[10][column(2)] = 5400;
    totals[14][column(4)] = 1800;
    HourGrid previous{};
    previous[3][column(6)] = 9000;
    const DayKeyFigures f = dayKeyFigures(shown, totals, previous, in);
    EXPECT_EQ(f.busiestHour, 10);
    EXPECT_EQ(f.busiestWeekday, 2);
    EXPECT_EQ(f.activeSeconds, 7200);
    const QStringList lines = dayKeyFigureTexts(f, QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("Busiest hour: 10:00 AM (6 min)"));
    EXPECT_EQ(lines[1], QStringLiteral("Busiest weekday: Wednesday (40 min)"));
    EXPECT_EQ(lines[2], QStringLiteral("Active hours in the range: 2.0"));
    EXPECT_EQ(lines[3], QStringLiteral("Change against the previous range, 3/1/2004 to 3/7/2004: -20.0%"));

    // Unselected weekdays count for nothing, in the range or before it.
    in.days.set(Qt::Sunday, false);
    const DayKeyFigures without = dayKeyFigures(shown, totals, previous, in);
    EXPECT_EQ(
        dayKeyFigureTexts(without, QLocale(QLocale::English, QLocale::UnitedStates))[3],
        QStringLiteral(
            "Change against the previous range, 3/1/2004 to 3/7/2004: no activity in the previous range"));
}

TEST(DayKeyFigures, AnEmptyRangeSaysSoInsteadOfNamingAnHour) {
    const DayReportInputs in = inputs(QDate(2004, 3, 8), QDate(2004, 3, 14));
    HourGrid previous{};
    previous[9][column(0)] = 3600;
    const QStringList lines =
        dayKeyFigureTexts(dayKeyFigures(HourGrid{}, HourGrid{}, previous, in), QLocale(QLocale::English));
    EXPECT_EQ(lines[0], QStringLiteral("Busiest hour: no activity in the range"));
    EXPECT_EQ(lines[1], QStringLiteral("Busiest weekday: no activity in the range"));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(": -100.0%"))) << lines[3].toStdString();
}

TEST(DayKeyFigures, ActivityThatShowsAsZeroMinutesStillNamesTheEarliestHourAndWeekday) {
    // One minute on a Tuesday at 9 AM: the average over seven weekdays shows 0 in every hour.
    DayReportInputs in = inputs(QDate(2004, 3, 8), QDate(2004, 3, 14));
    HourGrid oneMinute{};
    oneMinute[9][column(1)] = 60;
    HourGrid averaged = oneMinute;
    averaged[9][AllDaysColumn] = 60 / 7.0;
    const QLocale english(QLocale::English);
    QStringList lines = dayKeyFigureTexts(dayKeyFigures(averaged, oneMinute, HourGrid{}, in), english);
    EXPECT_EQ(lines[0], QStringLiteral("Busiest hour: 12:00 AM (0 min)"));
    EXPECT_EQ(lines[1], QStringLiteral("Busiest weekday: Tuesday (1 min)"));

    // A minimum over a range where every weekday had an idle day shows 0 everywhere.
    in.days = WeekdaySet{Qt::Wednesday, Qt::Thursday};
    HourGrid totals{};
    totals[15][column(3)] = 7200;
    lines = dayKeyFigureTexts(dayKeyFigures(HourGrid{}, totals, HourGrid{}, in), english);
    EXPECT_EQ(lines[0], QStringLiteral("Busiest hour: 12:00 AM (0 min)"));
    EXPECT_EQ(lines[1], QStringLiteral("Busiest weekday: Wednesday (0 min)"));
}

TEST(DayShading, TheLegendRoundsItsQuartersAsTheTableRoundsMinutes) {
    using Legend = std::array<std::int32_t, 5>;
    EXPECT_EQ(dayShadeLegendValues(47), (Legend{0, 12, 24, 35, 47})) << "11.75 is 12, 23.5 the even 24";
    EXPECT_EQ(dayShadeLegendValues(50), (Legend{0, 12, 25, 38, 50}))
        << "12.5 is the even 12, 37.5 the even 38";
    EXPECT_EQ(dayShadeLegendValues(0), (Legend{0, 0, 0, 0, 0}));
}
