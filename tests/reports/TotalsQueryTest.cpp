#include "reports/TotalsQuery.h"

#include <gtest/gtest.h>

using namespace tallyrow;

namespace {

QVector<QDate> starts(const QVector<PeriodSpan>& periods) {
    QVector<QDate> s;
    for (const auto& p : periods)
        s << p.start;
    return s;
}

} // namespace

TEST(TotalsQuery, AsksForTheDaysOfEachPeriodWithTheFilters) {
    // Weeks from Monday 29 March 2004: the last one runs past the end of the range.
    const QVector<PeriodSpan> periods =
        totalsPeriods({QDate(2004, 3, 29), QDate(2004, 4, 6)}, QStringLiteral("WW"), 1);
    const ActivityQuery q = totalsQuery(periods, QStringLiteral("o'neil"), QStringLiteral("OFFICE3"));
    EXPECT_EQ(q, ActivityQuery::rangeSeconds({{1549, 1555}, {1556, 1562}}, QStringLiteral("o'neil"),
                                             QStringLiteral("OFFICE3")))
        << qPrintable(q.describe());
}

TEST(TotalsQuery, PeriodsAndTimeScalesByName) {
    EXPECT_EQ(groupText(2, TotalsPeriod::Weeks), QStringLiteral("Grouped into 2 week periods"));
    EXPECT_EQ(groupText(0, TotalsPeriod::Days), QStringLiteral("Grouped into 0 day periods"));
    EXPECT_EQ(periodNamed(QStringLiteral("MONTHS")), TotalsPeriod::Months);
    EXPECT_FALSE(periodNamed(QStringLiteral("fortnights")));
    for (const auto& [period, code] :
         {std::pair{TotalsPeriod::Years, "YYYY"}, std::pair{TotalsPeriod::Months, "M"},
          std::pair{TotalsPeriod::Weeks, "WW"}, std::pair{TotalsPeriod::Days, "D"}}) {
        EXPECT_EQ(periodCode(period), QLatin1String(code));
        EXPECT_EQ(periodNamed(periodName(period)), period);
    }
    EXPECT_EQ(timeScaleDivisor(TimeScale::Seconds), 1);
    EXPECT_EQ(timeScaleDivisor(TimeScale::Hours), 3600);
    EXPECT_EQ(timeScaleDivisor(TimeScale(9)), 1);
    EXPECT_EQ(timeScaleAxisTitle(TimeScale::Minutes), QStringLiteral("Active minutes"));
    EXPECT_EQ(timeScaleAxisTitle(TimeScale(-4)), QStringLiteral("Active seconds"));
}

TEST(TotalsPeriods, ConsecutivePeriodsTheLastKeepingItsLength) {
    const auto weeks = totalsPeriods({QDate(2004, 3, 1), QDate(2004, 3, 31)}, QStringLiteral("WW"), 1);
    EXPECT_EQ(starts(weeks),
              (QVector<QDate>{{2004, 3, 1}, {2004, 3, 8}, {2004, 3, 15}, {2004, 3, 22}, {2004, 3, 29}}));
    EXPECT_EQ(weeks.last().next, QDate(2004, 4, 5));

    const auto days = totalsPeriods({QDate(2004, 3, 1), QDate(2004, 3, 31)}, QStringLiteral("D"), 1);
    ASSERT_EQ(days.size(), 31);
    EXPECT_EQ(days.first().next, QDate(2004, 3, 2));

    const auto quarters = totalsPeriods({QDate(2004, 1, 1), QDate(2004, 12, 31)}, QStringLiteral("M"), 3);
    EXPECT_EQ(starts(quarters), (QVector<QDate>{{2004, 1, 1}, {2004, 4, 1}, {2004, 7, 1}, {2004, 10, 1}}));

    // Each start comes from the one before, so the clamped day stays clamped.
    const auto months = totalsPeriods({QDate(2004, 1, 31), QDate(2004, 5, 31)}, QStringLiteral("M"), 1);
    EXPECT_EQ(starts(months),
              (QVector<QDate>{{2004, 1, 31}, {2004, 2, 29}, {2004, 3, 29}, {2004, 4, 29}, {2004, 5, 29}}));

    EXPECT_TRUE(totalsPeriods({QDate(2004, 3, 2), QDate(2004, 3, 1)}, QStringLiteral("D"), 1).isEmpty());
    const auto years = totalsPeriods({QDate(2004, 2, 29), QDate(2006, 1, 1)}, QStringLiteral("YYYY"), 1);
    EXPECT_EQ(starts(years), (QVector<QDate>{{2004, 2, 29}, {2005, 2, 28}}));
}

// The page says where a last period that keeps its full length really ends; one that ends on
// the end date (or a range without periods) gets no note.
TEST(TotalsPeriods, ALastPeriodPastTheEndDateIsNamedWithItsRealEnd) {
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom);
    const DateRange quarter{QDate(2026, 7, 1), QDate(2026, 9, 30)};
    const auto weeks = totalsPeriods(quarter, QStringLiteral("WW"), 1);
    ASSERT_TRUE(lastPeriodRunsPast(weeks, quarter));
    EXPECT_EQ(periodLabel(weeks.last(), true, uk), QStringLiteral("30/09/2026 \u2013 06/10/2026"));
    EXPECT_EQ(periodLabel(weeks.last(), false, uk), QStringLiteral("30/09/2026"));
    EXPECT_EQ(lastPeriodNote(weeks, quarter, 1, TotalsPeriod::Weeks, uk),
              QStringLiteral("The last week runs past the end date to 06/10/2026."));
    EXPECT_EQ(
        lastPeriodNote(totalsPeriods(quarter, QStringLiteral("M"), 2), quarter, 2, TotalsPeriod::Months, uk),
        QStringLiteral("The last period runs past the end date to 31/10/2026."));

    EXPECT_FALSE(lastPeriodRunsPast(totalsPeriods(quarter, QStringLiteral("M"), 1), quarter));
    EXPECT_TRUE(
        lastPeriodNote(totalsPeriods(quarter, QStringLiteral("M"), 3), quarter, 3, TotalsPeriod::Months, uk)
            .isEmpty());
    EXPECT_FALSE(lastPeriodRunsPast({}, quarter));
}

TEST(TotalsPeriods, AUnitShorterThanADayEndsInsteadOfLoopingForever) {
    const auto hours = totalsPeriods({QDate(2004, 3, 1), QDate(2004, 3, 2)}, QStringLiteral("H"), 1);
    EXPECT_EQ(hours.size(), 1);
}

// The previous range has as many days and ends the day before; its periods pair with the
// report's by position, each stepped from the one before as the report's own are.
TEST(TotalsPeriods, PreviousRangePairsItsPeriodsByPosition) {
    EXPECT_EQ(previousRangeStart({QDate(2004, 3, 1), QDate(2004, 3, 31)}), QDate(2004, 1, 30));
    EXPECT_EQ(previousRangeStart({QDate(2004, 3, 1), QDate(2004, 3, 1)}), QDate(2004, 2, 29));
    EXPECT_EQ(previousRangeStart({QDate(2000, 1, 1), QDate(2000, 1, 31)}), QDate(1999, 12, 1));

    auto previous = [](QDate start, QDate end, const char* code, int units) {
        const auto periods = totalsPeriods({start, end}, QLatin1String(code), units);
        const auto earlier = previousPeriods(periods, {start, end}, QLatin1String(code), units);
        EXPECT_EQ(earlier.size(), periods.size());
        return earlier;
    };
    // Weeks: the last previous period keeps its length, like the report's own last one.
    const auto weeks = previous(QDate(2004, 3, 1), QDate(2004, 3, 31), "WW", 1);
    EXPECT_EQ(starts(weeks),
              (QVector<QDate>{{2004, 1, 30}, {2004, 2, 6}, {2004, 2, 13}, {2004, 2, 20}, {2004, 2, 27}}));
    EXPECT_EQ(weeks.last().next, QDate(2004, 3, 5));

    // April and May (61 days) pair with months from 31 January; stepped on their own, 31 January
    // to 31 March would start a third month on 29 March. Pairing keeps two.
    const auto months = previous(QDate(2004, 4, 1), QDate(2004, 5, 31), "M", 1);
    EXPECT_EQ(starts(months), (QVector<QDate>{{2004, 1, 31}, {2004, 2, 29}}));
    EXPECT_EQ(months.last().next, QDate(2004, 3, 29));

    // March and April: 31 December to 29 February would step to three starts of its own
    // (31 December, 31 January, 29 February); pairing keeps two.
    const auto shortFebruary = previous(QDate(2004, 3, 1), QDate(2004, 4, 30), "M", 1);
    EXPECT_EQ(starts(shortFebruary), (QVector<QDate>{{2003, 12, 31}, {2004, 1, 31}}));

    EXPECT_TRUE(previous(QDate(2004, 3, 2), QDate(2004, 3, 1), "D", 1).isEmpty());
}

TEST(TotalsQuery, ChangeInPercentWithSignAndOneDecimal) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(changeText(129, 47, english), QStringLiteral("+174.5%"));
    EXPECT_EQ(changeText(0, 810, english), QStringLiteral("-100.0%"));
    EXPECT_EQ(changeText(90, 80, english), QStringLiteral("+12.5%"));
    EXPECT_EQ(changeText(5, 5, english), QStringLiteral("+0.0%"));
    EXPECT_EQ(changeText(9999, 10000, english), QStringLiteral("-0.0%"));
    // A German reader's decimal comma and spaced percent sign.
    EXPECT_EQ(changeText(129, 47, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("+174,5\u00A0%"));
    // No previous activity: nothing to divide by.
    EXPECT_EQ(changeText(296, 0, english), QStringLiteral("\u2013"));
    EXPECT_EQ(changeText(0, 0, english), QStringLiteral("\u2013"));
}
