#include "dateselector/Calendar.h"

#include "support/Error.h"

#include <gtest/gtest.h>

using namespace tallyrow;
using namespace Qt::StringLiterals;

namespace {

QDate d(int y, int m, int day) {
    return QDate(y, m, day);
}

QDateTime dt(int y, int m, int day, int h, int min, int s = 0) {
    return QDateTime(QDate(y, m, day), QTime(h, min, s));
}

} // namespace

TEST(Calendar, MonthBasedIntervalsClampToTheEndOfTheTargetMonth) {
    struct Case {
        const char* interval;
        double n;
        QDate from;
        QDate expected;
    };
    const Case cases[] = {
        {"m", 1, d(2004, 1, 31), d(2004, 2, 29)},    {"m", 1, d(2003, 1, 31), d(2003, 2, 28)},
        {"yyyy", 1, d(2004, 2, 29), d(2005, 2, 28)}, {"q", 1, d(2000, 1, 31), d(2000, 4, 30)},
        {"q", -1, d(2000, 5, 31), d(2000, 2, 29)},   {"m", -13, d(2004, 3, 15), d(2003, 2, 15)},
        {"M", 2, d(2004, 12, 31), d(2005, 2, 28)},   {"YYYY", -4, d(2004, 2, 29), d(2000, 2, 29)},
        {"Q", 4, d(2000, 2, 15), d(2001, 2, 15)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.interval) + " " + std::to_string(c.n) + " " +
                     c.from.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(addInterval(QString::fromLatin1(c.interval), c.n, c.from), c.expected);
    }
}

TEST(Calendar, DayAndWeekIntervalsMoveByDays) {
    EXPECT_EQ(addInterval(u"d"_s, 1, d(2004, 2, 28)), d(2004, 2, 29));
    EXPECT_EQ(addInterval(u"y"_s, -1, d(2004, 1, 1)), d(2003, 12, 31));
    EXPECT_EQ(addInterval(u"W"_s, 10, d(2004, 6, 1)), d(2004, 6, 11));
    EXPECT_EQ(addInterval(u"ww"_s, -2, d(2004, 6, 16)), d(2004, 6, 2));
    EXPECT_EQ(addInterval(u"WW"_s, 1, d(2004, 12, 29)), d(2005, 1, 5));
}

TEST(Calendar, FractionalWholeIntervalsRoundHalvesToEven) {
    EXPECT_EQ(addInterval(u"d"_s, 0.5, d(2004, 6, 1)), d(2004, 6, 1));
    EXPECT_EQ(addInterval(u"d"_s, 1.5, d(2004, 6, 1)), d(2004, 6, 3));
    EXPECT_EQ(addInterval(u"m"_s, 2.5, d(2004, 6, 1)), d(2004, 8, 1));
    EXPECT_EQ(addInterval(u"m"_s, -0.6, d(2004, 6, 1)), d(2004, 5, 1));
}

TEST(Calendar, TimeIntervalsMoveDateTimesAndCrossMidnight) {
    EXPECT_EQ(addInterval(u"h"_s, 3, dt(2004, 6, 1, 22, 30)), dt(2004, 6, 2, 1, 30));
    EXPECT_EQ(addInterval(u"N"_s, -31, dt(2004, 6, 1, 0, 30)), dt(2004, 5, 31, 23, 59));
    EXPECT_EQ(addInterval(u"s"_s, 86400, dt(2004, 2, 28, 12, 0)), dt(2004, 2, 29, 12, 0));
    EXPECT_EQ(addInterval(u"h"_s, 1.5, dt(2004, 6, 1, 10, 0)), dt(2004, 6, 1, 11, 30));
    // Month arithmetic keeps the time of day.
    EXPECT_EQ(addInterval(u"m"_s, 1, dt(2004, 1, 31, 8, 15)), dt(2004, 2, 29, 8, 15));
    // On a plain date, time steps count from midnight and keep the day they land on.
    EXPECT_EQ(addInterval(u"h"_s, 1, d(2004, 6, 1)), d(2004, 6, 1));
    EXPECT_EQ(addInterval(u"h"_s, -1, d(2004, 6, 1)), d(2004, 5, 31));
    EXPECT_EQ(addInterval(u"h"_s, 48, d(2004, 6, 1)), d(2004, 6, 3));
}

TEST(Calendar, RefusesUnknownCodesAndResultsOutsideTheCalendar) {
    const auto refused = [](auto&& fn) {
        try {
            fn();
        } catch (const Error& e) {
            return e.number() == ErrNo::InvalidProcedureCall;
        }
        return false;
    };
    EXPECT_TRUE(refused([] { addInterval(u"x"_s, 1, d(2004, 1, 1)); }));
    EXPECT_TRUE(refused([] { addInterval(u""_s, 1, d(2004, 1, 1)); }));
    EXPECT_TRUE(refused([] { addInterval(u"yyyy"_s, 8000, d(2004, 1, 1)); }));
    EXPECT_TRUE(refused([] { addInterval(u"d"_s, -1, d(100, 1, 1)); }));
    EXPECT_TRUE(refused([] { addInterval(u"s"_s, 1e300, d(2004, 1, 1)); }));
    EXPECT_TRUE(refused([] { addInterval(u"m"_s, std::nan(""), d(2004, 1, 1)); }));
    EXPECT_TRUE(refused([] { addInterval(u"d"_s, 1, QDate()); }));
    EXPECT_TRUE(refused([] { intervalsBetween(u"mm"_s, d(2004, 1, 1), d(2004, 2, 1)); }));
    EXPECT_EQ(addInterval(u"d"_s, 1, d(9999, 12, 30)), d(9999, 12, 31));
}

TEST(Calendar, DateDiffCountsBoundariesCrossed) {
    struct Case {
        const char* interval;
        QDate from;
        QDate to;
        long long expected;
    };
    const Case cases[] = {
        {"yyyy", d(2003, 12, 31), d(2004, 1, 1), 1},
        {"q", d(2004, 3, 31), d(2004, 4, 1), 1},
        {"q", d(2004, 1, 1), d(2003, 12, 31), -1},
        {"m", d(2000, 1, 31), d(2004, 6, 1), 53},
        {"M", d(2004, 6, 30), d(2004, 6, 1), 0},
        {"d", d(2000, 1, 1), d(2002, 9, 27), 1000},
        {"Y", d(2004, 6, 2), d(2004, 6, 1), -1},
        // Weeks start on Sunday: Saturday to the next day crosses one.
        {"ww", d(2000, 1, 1), d(2000, 1, 2), 1},
        {"ww", d(2004, 6, 13), d(2004, 6, 19), 0},
        {"ww", d(2004, 6, 13), d(2004, 6, 20), 1},
        {"ww", d(2004, 6, 20), d(2004, 6, 13), -1},
        {"ww", d(2004, 6, 19), d(2004, 6, 13), 0},
        {"ww", d(1999, 12, 26), d(2004, 6, 16), 233},
        // "w" counts whole seven-day spans.
        {"w", d(2004, 6, 16), d(2004, 6, 22), 0},
        {"w", d(2004, 6, 16), d(2004, 6, 23), 1},
        {"w", d(2004, 6, 16), d(2004, 6, 9), -1},
        {"w", d(2004, 6, 16), d(2004, 6, 10), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.interval) + " " + c.from.toString(Qt::ISODate).toStdString() + " " +
                     c.to.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(intervalsBetween(QString::fromLatin1(c.interval), c.from, c.to), c.expected);
    }
}

TEST(Calendar, DateDiffOfTimesCountsBoundariesNotElapsedUnits) {
    EXPECT_EQ(intervalsBetween(u"h"_s, dt(2004, 6, 1, 10, 59), dt(2004, 6, 1, 11, 1)), 1);
    EXPECT_EQ(intervalsBetween(u"h"_s, dt(2004, 6, 1, 11, 1), dt(2004, 6, 1, 10, 59)), -1);
    EXPECT_EQ(intervalsBetween(u"n"_s, dt(2004, 6, 1, 23, 59, 59), dt(2004, 6, 2, 0, 0, 0)), 1);
    EXPECT_EQ(intervalsBetween(u"s"_s, dt(2004, 6, 1, 0, 0, 0), dt(2004, 6, 2, 0, 0, 1)), 86401);
    EXPECT_EQ(intervalsBetween(u"d"_s, dt(2004, 6, 1, 23, 0), dt(2004, 6, 2, 1, 0)), 1);
    EXPECT_EQ(intervalsBetween(u"H"_s, d(2004, 6, 1), d(2004, 6, 3)), 48);
}

TEST(Calendar, DayOfWeekCountsFromTheRegionalFirstDay) {
    const QDate wednesday = d(2004, 6, 16);
    EXPECT_EQ(weekdayNumber(wednesday, Qt::Sunday), 4);
    EXPECT_EQ(weekdayNumber(wednesday, Qt::Monday), 3);
    EXPECT_EQ(weekdayNumber(wednesday, Qt::Saturday), 5);
    EXPECT_EQ(weekdayNumber(d(2004, 6, 13), Qt::Sunday), 1);
    EXPECT_EQ(weekdayNumber(d(2004, 6, 13), Qt::Monday), 7);
    EXPECT_EQ(weekdayNumber(d(2000, 1, 1), Qt::Saturday), 1);
}
