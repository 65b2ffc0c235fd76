#include "reports/DayNumbers.h"

#include "support/Error.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tallyrow;

TEST(DayNumbers, CountDaysFromSaturdayFirstJanuary2000) {
    const struct {
        QDate date;
        int day;
    } cases[] = {
        {{2000, 1, 1}, 0},    {{1999, 12, 31}, -1}, {{2000, 2, 29}, 59},
        {{2004, 1, 1}, 1461}, {{2004, 3, 1}, 1521}, {{2004, 3, 31}, 1551},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.date.toString(Qt::ISODate)));
        EXPECT_EQ(dayNumber(c.date), c.day);
        EXPECT_EQ(dayNumber(QDateTime(c.date, QTime(0, 0))), c.day);
    }
}

TEST(DayNumbers, StrayTimesRoundToTheNearestDayWithHalvesToEven) {
    // Day 0 is serial 36526 (even): noon stays on the day; day 1 is odd: noon moves to day 2.
    EXPECT_EQ(dayNumber(QDateTime(QDate(2000, 1, 1), QTime(12, 0))), 0);
    EXPECT_EQ(dayNumber(QDateTime(QDate(2000, 1, 2), QTime(12, 0))), 2);
    EXPECT_EQ(dayNumber(QDateTime(QDate(2000, 1, 2), QTime(11, 59))), 1);
    EXPECT_EQ(dayNumber(QDateTime(QDate(2000, 1, 2), QTime(12, 1))), 2);
}

TEST(DayNumbers, FailuresCarryTheFunctionInTheirTrail) {
    try {
        dayNumber(QDate());
        FAIL() << "an invalid date must fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.steps().first(), QStringLiteral("numbering the day"));
    }
    // Beyond the 32-bit range of the column
    EXPECT_THROW(dayNumber(QDate(9999999, 1, 1)), Error);
}

TEST(DayNames, AbsoluteValueModuloSeven) {
    EXPECT_EQ(dayNameOf(0), QStringLiteral("Saturday"));
    EXPECT_EQ(dayNameOf(9), QStringLiteral("Monday"));
    EXPECT_EQ(dayNameOf(-1), QStringLiteral("Sunday"));
    EXPECT_EQ(dayNameOf(6), QStringLiteral("Friday"));
    EXPECT_EQ(dayNameOf(std::numeric_limits<std::int32_t>::min()), dayNameOf(2147483648LL % 7));
}

TEST(DayNames, NamesMapBackWithoutCaseButUntrimmed) {
    EXPECT_EQ(dayRemainderOf(QStringLiteral("MONDAY")), 2);
    EXPECT_EQ(dayRemainderOf(QStringLiteral(" Monday")), 7);
    EXPECT_EQ(dayRemainderOf(QStringLiteral("All Days")), 7);
    EXPECT_EQ(dayRemainderOf(QStringLiteral("Time")), 7);
    for (int r = 0; r < 7; ++r)
        EXPECT_EQ(dayRemainderOf(dayNameOf(r)), r);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    const struct {
        double value;
        double rounded;
    } cases[] = {{1.5, 2},   {2.5, 2},    {3.5, 4},    {0.5, 0}, {-0.5, 0},
                 {-1.5, -2}, {2.4833, 2}, {2.5001, 3}, {7, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(roundHalfEven(c.value), c.rounded);
    }
}
