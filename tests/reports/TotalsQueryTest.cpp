#include "reports/ReportTexts.h"
#include "reports/TotalsQuery.h"

#include "datafile/Connection.h"

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

TEST(TotalsQuery, PeriodQueryReadsToTheLetter) {
    const QString expected = QStringLiteral(
        "SELECT Activity.ActiveDay, Activity.UserName, Activity.ComputerName, ([H0]+[H1]+[H2]+[H3]+[H4]+[H5]+"
        "[H6]+[H7]+[H8]+[H9]+[H10]+[H11]+[H12]+[H13]+[H14]+[H15]+[H16]+[H17]+[H18]+[H19]+[H20]+[H21]+[H22]+[H"
        "23])/60 AS DayTotal FROM Activity WHERE (ActiveDay BETWEEN 1521 AND 1521) AND UserName='o''neil' AND"
        " ComputerName='OFFICE3'");
    const QString filter = userComputerFilter(QStringLiteral("o'neil"), QStringLiteral("OFFICE3"));
    EXPECT_EQ(totalsPeriodQuery(totalsBaseQuery(60), QDate(2004, 3, 1), QDate(2004, 3, 2), filter), expected);
    EXPECT_TRUE(totalsBaseQuery(1).endsWith(QStringLiteral("[H23])/1 AS DayTotal FROM Activity")));
    EXPECT_TRUE(totalsBaseQuery(3600).endsWith(QStringLiteral("[H23])/3600 AS DayTotal FROM Activity")));
}

TEST(TotalsQuery, SentQueryCoversTheSameRowsAndSumsEachHour) {
    const QString sent = totalsHourSumsQuery(QDate(2004, 3, 29), QDate(2004, 4, 5),
                                             userComputerFilter(QStringLiteral("anna"), {}));
    EXPECT_TRUE(sent.startsWith(QStringLiteral("SELECT Sum([H0]) AS S0, Sum([H1]) AS S1, ")));
    EXPECT_TRUE(sent.endsWith(QStringLiteral(
        "Sum([H23]) AS S23 FROM Activity WHERE (ActiveDay BETWEEN 1549 AND 1555) AND UserName='anna'")))
        << qPrintable(sent);
}

TEST(TotalsQuery, MissingHourCountsZeroAndKeepsTheRest) {
    QStringList names;
    QVector<QVariant> row;
    for (int h = 0; h < 24; ++h) {
        names << QStringLiteral("S") + QString::number(h);
        row << (h == 9 ? QVariant() : QVariant(60));
    }
    Recordset rs(names, {row});
    EXPECT_DOUBLE_EQ(periodTotal(rs, 60), 23.0);
    EXPECT_DOUBLE_EQ(periodTotal(rs, 1), 1380.0);
    // 89 s in total is 1.4833… minutes; two such days make 2.9666…
    QVector<QVariant> small(24, QVariant(0));
    small[0] = 89;
    Recordset one(names, {small});
    EXPECT_NEAR(periodTotal(one, 60), 89.0 / 60.0, 1e-12);
    // An exact half stays exact: 150 s is 2.5 minutes.
    small[0] = 150;
    Recordset half(names, {small});
    EXPECT_EQ(periodTotal(half, 60), 2.5);
}

TEST(TotalsQuery, GroupTextUsesTheInputsAsTheyCame) {
    EXPECT_EQ(groupText(2, QStringLiteral("Weeks")), QStringLiteral("Grouped into 2 week periods"));
    EXPECT_EQ(groupText(1, QStringLiteral("Days")), QStringLiteral("Grouped into 1 day periods"));
    EXPECT_EQ(groupText(0, QStringLiteral("Days")), QStringLiteral("Grouped into 0 day periods"));
    EXPECT_EQ(groupText(3, QStringLiteral("MONTHS")), QStringLiteral("Grouped into 3 month periods"));
}

TEST(TotalsQuery, UnitCodesAndTimeScales) {
    EXPECT_EQ(periodCode(QStringLiteral("Years")), QStringLiteral("YYYY"));
    EXPECT_EQ(periodCode(QStringLiteral("months")), QStringLiteral("M"));
    EXPECT_EQ(periodCode(QStringLiteral("Weeks")), QStringLiteral("WW"));
    EXPECT_EQ(periodCode(QStringLiteral("Hours")), QStringLiteral("H"));
    EXPECT_EQ(periodCode(QStringLiteral("Days")), QStringLiteral("D"));
    EXPECT_EQ(periodCode(QStringLiteral("fortnights")), QStringLiteral("D"));
    EXPECT_EQ(timeScaleDivisor(0), 1);
    EXPECT_EQ(timeScaleDivisor(1), 60);
    EXPECT_EQ(timeScaleDivisor(2), 3600);
    EXPECT_EQ(timeScaleDivisor(9), 1);
    EXPECT_EQ(timeScaleAxisTitle(0), QStringLiteral("Active seconds"));
    EXPECT_EQ(timeScaleAxisTitle(1), QStringLiteral("Active minutes"));
    EXPECT_EQ(timeScaleAxisTitle(2), QStringLiteral("Active hours"));
    EXPECT_EQ(timeScaleAxisTitle(-4), QStringLiteral("Active seconds"));
}

TEST(TotalsPeriods, ConsecutivePeriodsTheLastKeepingItsLength) {
    const auto weeks = totalsPeriods(QDate(2004, 3, 1), QDate(2004, 3, 31), QStringLiteral("WW"), 1);
    EXPECT_EQ(starts(weeks),
              (QVector<QDate>{{2004, 3, 1}, {2004, 3, 8}, {2004, 3, 15}, {2004, 3, 22}, {2004, 3, 29}}));
    EXPECT_EQ(weeks.last().next, QDate(2004, 4, 5));

    const auto days = totalsPeriods(QDate(2004, 3, 1), QDate(2004, 3, 31), QStringLiteral("D"), 1);
    ASSERT_EQ(days.size(), 31);
    EXPECT_EQ(days.first().next, QDate(2004, 3, 2));

    const auto quarters = totalsPeriods(QDate(2004, 1, 1), QDate(2004, 12, 31), QStringLiteral("M"), 3);
    EXPECT_EQ(starts(quarters), (QVector<QDate>{{2004, 1, 1}, {2004, 4, 1}, {2004, 7, 1}, {2004, 10, 1}}));

    // Each start comes from the one before, so the clamped day stays clamped.
    const auto months = totalsPeriods(QDate(2004, 1, 31), QDate(2004, 5, 31), QStringLiteral("M"), 1);
    EXPECT_EQ(starts(months),
              (QVector<QDate>{{2004, 1, 31}, {2004, 2, 29}, {2004, 3, 29}, {2004, 4, 29}, {2004, 5, 29}}));

    EXPECT_TRUE(totalsPeriods(QDate(2004, 3, 2), QDate(2004, 3, 1), QStringLiteral("D"), 1).isEmpty());
    const auto years = totalsPeriods(QDate(2004, 2, 29), QDate(2006, 1, 1), QStringLiteral("YYYY"), 1);
    EXPECT_EQ(starts(years), (QVector<QDate>{{2004, 2, 29}, {2005, 2, 28}}));
}

TEST(TotalsPeriods, AUnitShorterThanADayEndsInsteadOfLoopingForever) {
    const auto hours = totalsPeriods(QDate(2004, 3, 1), QDate(2004, 3, 2), QStringLiteral("H"), 1);
    EXPECT_EQ(hours.size(), 1);
}

// The previous range has as many days and ends the day before; its periods pair with the
// report's by position, each stepped from the one before as the report's own are.
TEST(TotalsPeriods, PreviousRangePairsItsPeriodsByPosition) {
    EXPECT_EQ(previousRangeStart(QDate(2004, 3, 1), QDate(2004, 3, 31)), QDate(2004, 1, 30));
    EXPECT_EQ(previousRangeStart(QDate(2004, 3, 1), QDate(2004, 3, 1)), QDate(2004, 2, 29));
    EXPECT_EQ(previousRangeStart(QDate(2000, 1, 1), QDate(2000, 1, 31)), QDate(1999, 12, 1));

    auto previous = [](QDate start, QDate end, const char* code, int units) {
        const auto periods = totalsPeriods(start, end, QLatin1String(code), units);
        const auto earlier = previousPeriods(periods, start, end, QLatin1String(code), units);
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
    EXPECT_EQ(changeText(129, 47), QStringLiteral("+174.5 %"));
    EXPECT_EQ(changeText(0, 810), QStringLiteral("-100.0 %"));
    EXPECT_EQ(changeText(90, 80), QStringLiteral("+12.5 %"));
    EXPECT_EQ(changeText(5, 5), QStringLiteral("+0.0 %"));
    EXPECT_EQ(changeText(9999, 10000), QStringLiteral("-0.0 %"));
    // No previous activity: nothing to divide by.
    EXPECT_EQ(changeText(296, 0), QStringLiteral("\u2013"));
    EXPECT_EQ(changeText(0, 0), QStringLiteral("\u2013"));
}
