#include "dateselector/DateModel.h"
#include "dateselector/ScheduledRange.h"

#include "support/Error.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace tallyrow;
using namespace Qt::StringLiterals;

namespace {

QDate d(int y, int m, int day) {
    return QDate(y, m, day);
}

std::string text(const QDate& date) {
    return date.toString(Qt::ISODate).toStdString();
}

// A model whose today can be moved between calls, recording the properties it marks changed.
struct Fixture {
    explicit Fixture(QDate day, Qt::DayOfWeek firstDay = Qt::Sunday)
        : today(day), model([this] { return today; }, firstDay) {
        model.setPropertyChangedHandler([this](const QString& name) { marked << name; });
    }
    void range(QDate start, QDate end) {
        model.setShowStartDate(true);
        model.SetDates(start, model.Period(), model.PeriodCount());
        model.setStartDate(start);
        model.setEndDate(end);
        marked.clear();
    }
    QDate today;
    DateModel model;
    QStringList marked;
};

struct RangeCase {
    const char* name;
    DatePeriod period;
    double count;
    double offset;
    QDate today;
    Qt::DayOfWeek firstDay;
    QDate start;
    QDate end;
};

// Default ranges counted from the anchor 1 January 2000.
const RangeCase kDefaultRanges[] = {
    {"month mid-month", DatePeriod::Month, 1, 1, d(2004, 6, 15), Qt::Sunday, d(2004, 5, 1), d(2004, 5, 31)},
    {"month second day", DatePeriod::Month, 1, 1, d(2004, 6, 2), Qt::Sunday, d(2004, 5, 1), d(2004, 5, 31)},
    {"month first day", DatePeriod::Month, 1, 1, d(2004, 6, 1), Qt::Sunday, d(2004, 4, 1), d(2004, 4, 30)},
    {"month offset 0", DatePeriod::Month, 1, 0, d(2004, 6, 15), Qt::Sunday, d(2004, 6, 1), d(2004, 6, 30)},
    {"month count 3", DatePeriod::Month, 3, 1, d(2004, 6, 15), Qt::Sunday, d(2004, 1, 1), d(2004, 3, 31)},
    {"quarter", DatePeriod::Quarter, 1, 1, d(2004, 6, 15), Qt::Sunday, d(2004, 1, 1), d(2004, 3, 31)},
    {"quarter first day", DatePeriod::Quarter, 1, 1, d(2004, 7, 1), Qt::Sunday, d(2004, 1, 1),
     d(2004, 3, 31)},
    {"week", DatePeriod::Week, 1, 1, d(2004, 6, 16), Qt::Sunday, d(2004, 6, 6), d(2004, 6, 12)},
    {"week monday first", DatePeriod::Week, 1, 1, d(2004, 6, 16), Qt::Monday, d(2004, 6, 7), d(2004, 6, 13)},
    {"week first day", DatePeriod::Week, 1, 1, d(2004, 6, 13), Qt::Sunday, d(2004, 5, 30), d(2004, 6, 5)},
    {"week offset 0", DatePeriod::Week, 1, 0, d(2004, 6, 16), Qt::Sunday, d(2004, 6, 13), d(2004, 6, 19)},
    {"week count 2", DatePeriod::Week, 2, 1, d(2004, 6, 16), Qt::Sunday, d(2004, 5, 23), d(2004, 6, 5)},
    {"year", DatePeriod::Year, 1, 1, d(2004, 6, 15), Qt::Sunday, d(2003, 1, 1), d(2003, 12, 31)},
    {"year first day", DatePeriod::Year, 1, 1, d(2004, 1, 1), Qt::Sunday, d(2002, 1, 1), d(2002, 12, 31)},
    {"day", DatePeriod::Day, 1, 1, d(2002, 9, 20), Qt::Sunday, d(2002, 9, 18), d(2002, 9, 18)},
    {"day offset 0", DatePeriod::Day, 1, 0, d(2002, 9, 20), Qt::Sunday, d(2002, 9, 19), d(2002, 9, 19)},
    // A thousand or more periods from the anchor are searched like any other distance.
    {"day 999 days on", DatePeriod::Day, 1, 1, d(2002, 9, 26), Qt::Sunday, d(2002, 9, 24), d(2002, 9, 24)},
    {"day 1000 days on", DatePeriod::Day, 1, 1, d(2002, 9, 27), Qt::Sunday, d(2002, 9, 25), d(2002, 9, 25)},
    {"day years on", DatePeriod::Day, 1, 1, d(2004, 6, 15), Qt::Sunday, d(2004, 6, 13), d(2004, 6, 13)},
    {"week years on", DatePeriod::Week, 1, 1, d(2025, 6, 4), Qt::Sunday, d(2025, 5, 25), d(2025, 5, 31)},
    {"week years on monday first", DatePeriod::Week, 1, 1, d(2025, 6, 4), Qt::Monday, d(2025, 5, 26),
     d(2025, 6, 1)},
    {"week years on first day", DatePeriod::Week, 1, 1, d(2025, 6, 2), Qt::Monday, d(2025, 5, 19),
     d(2025, 5, 25)},
    // An anchor after today walks backwards.
    {"month before the anchor", DatePeriod::Month, 1, 1, d(1999, 6, 15), Qt::Sunday, d(1999, 5, 1),
     d(1999, 5, 31)},
    {"day before the anchor", DatePeriod::Day, 2, 0, d(1996, 3, 2), Qt::Sunday, d(1996, 3, 2), d(1996, 3, 3)},
    // A count of 0 leaves the range at the anchor, ending the day before it.
    {"count 0", DatePeriod::Month, 0, 1, d(2004, 6, 15), Qt::Sunday, d(2000, 1, 1), d(1999, 12, 31)},
    {"week count 0", DatePeriod::Week, 0, 1, d(2004, 6, 15), Qt::Monday, d(1999, 12, 27), d(1999, 12, 26)},
};

} // namespace

TEST(DateModel, DefaultRangesFollowTheAnchorAndToday) {
    for (const auto& c : kDefaultRanges) {
        SCOPED_TRACE(c.name);
        Fixture f(c.today, c.firstDay);
        f.model.restoreSettings(static_cast<int>(c.period), c.count, d(2000, 1, 1), c.offset);
        f.model.CalculateDates();
        EXPECT_EQ(text(f.model.StartDate()), text(c.start));
        EXPECT_EQ(text(f.model.EndDate()), text(c.end));
    }
}

TEST(ScheduledRange, GivesTheDefaultRangeOfTheAnchor2000) {
    for (const auto& c : kDefaultRanges) {
        SCOPED_TRACE(c.name);
        const auto [start, end] = lastRange(c.period, c.count, c.offset, c.today, c.firstDay);
        EXPECT_EQ(text(start), text(c.start));
        EXPECT_EQ(text(end), text(c.end));
    }
}

TEST(DateModel, QuarterRangesFollowTheAnchorAndKeepAClampedDay) {
    struct Case {
        QDate anchor;
        QDate today;
        QDate start;
        QDate end;
    };
    const Case cases[] = {
        {d(2000, 2, 15), d(2000, 3, 20), d(2000, 2, 15), d(2000, 5, 14)},
        {d(2000, 2, 15), d(2000, 5, 20), d(2000, 5, 15), d(2000, 8, 14)},
        {d(2000, 1, 31), d(2000, 3, 1), d(2000, 1, 31), d(2000, 4, 29)},
        {d(2000, 1, 31), d(2000, 5, 1), d(2000, 4, 30), d(2000, 7, 29)},
        // Twenty quarters on, the day stays at 30, not back at 31.
        {d(2000, 1, 31), d(2005, 2, 15), d(2005, 1, 30), d(2005, 4, 29)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(text(c.anchor) + " " + text(c.today));
        Fixture f(c.today);
        f.model.restoreSettings(static_cast<int>(DatePeriod::Quarter), 1, c.anchor, 0);
        f.model.CalculateDates();
        EXPECT_EQ(text(f.model.StartDate()), text(c.start));
        EXPECT_EQ(text(f.model.EndDate()), text(c.end));
    }
}

TEST(DateModel, PeriodSetAlwaysRecalculatesAndMarksAndOutOfRangeMeansMonth) {
    Fixture f(d(2004, 6, 15));
    f.model.setPeriod(static_cast<int>(DatePeriod::Year));
    EXPECT_EQ(f.model.Period(), 0);
    EXPECT_EQ(f.model.StartDate(), d(2003, 1, 1));

    f.model.setStartDate(d(2001, 3, 3));
    f.model.setPeriod(0); // same value: still recalculated and marked
    EXPECT_EQ(f.model.StartDate(), d(2003, 1, 1));
    EXPECT_EQ(f.marked, (QStringList{u"Period"_s, u"Period"_s}));

    for (int value : {42, -1, 10}) {
        f.model.setPeriod(value);
        EXPECT_EQ(f.model.Period(), 2) << value;
        EXPECT_EQ(f.model.PeriodInterval(), u"m"_s);
        EXPECT_EQ(f.model.StartDate(), d(2004, 5, 1));
    }
    for (int value = 0; value <= 9; ++value) {
        f.model.SetPeriod(value);
        EXPECT_EQ(f.model.Period(), value);
    }
}

TEST(DateModel, SettingsRecalculateOnlyWhenTheyChange) {
    Fixture f(d(2004, 6, 15));
    f.model.CalculateDates();
    f.model.setStartDate(d(2004, 1, 10));
    f.model.setPeriodCount(1);
    f.model.setStartDateOffset(1);
    f.model.setPeriodStartDate(d(2000, 1, 1));
    EXPECT_EQ(f.model.StartDate(), d(2004, 1, 10));
    EXPECT_TRUE(f.marked.isEmpty());

    f.model.setStartDateOffset(0);
    EXPECT_EQ(f.model.StartDate(), d(2004, 6, 1));
    f.model.setPeriodCount(2);
    EXPECT_EQ(f.model.StartDate(), d(2004, 5, 1));
    EXPECT_EQ(f.model.EndDate(), d(2004, 6, 30));
    f.model.setPeriodStartDate(d(2000, 2, 1));
    EXPECT_EQ(f.model.StartDate(), d(2004, 6, 1));
    EXPECT_EQ(f.marked, (QStringList{u"StartDateOffset"_s, u"PeriodCount"_s, u"PeriodStartDate"_s}));
}

TEST(DateModel, FirstOfAndLastOf) {
    Fixture sunday(d(2004, 6, 15), Qt::Sunday);
    Fixture monday(d(2004, 6, 15), Qt::Monday);
    const DateModel& s = sunday.model;
    EXPECT_EQ(s.FirstOf(u"ww"_s, d(2000, 1, 1)), d(1999, 12, 26));
    EXPECT_EQ(monday.model.FirstOf(u"WW"_s, d(2000, 1, 1)), d(1999, 12, 27));
    EXPECT_EQ(s.FirstOf(u"m"_s, d(2004, 3, 10), 1), d(2004, 4, 1));
    EXPECT_EQ(s.FirstOf(u"YYYY"_s, d(2004, 3, 10), -2), d(2002, 1, 1));
    EXPECT_EQ(s.FirstOf(u"d"_s, d(2004, 3, 10), 3), d(2004, 3, 13));
    for (const char* code : {"q", "y", "w", "h", "n", "s"})
        EXPECT_EQ(s.FirstOf(QString::fromLatin1(code), d(2004, 3, 10), 5), d(2004, 3, 10)) << code;

    EXPECT_EQ(s.LastOf(u"yyyy"_s, d(2004, 3, 10), 1), d(2005, 12, 31));
    EXPECT_EQ(s.LastOf(u"m"_s, d(2004, 2, 10)), d(2004, 2, 29));
    EXPECT_EQ(s.LastOf(u"M"_s, d(2004, 3, 10), 1), d(2004, 4, 30));
    EXPECT_EQ(s.LastOf(u"ww"_s, d(2004, 6, 16)), d(2004, 6, 19));
    EXPECT_EQ(monday.model.LastOf(u"ww"_s, d(2004, 6, 16)), d(2004, 6, 20));
    EXPECT_EQ(s.LastOf(u"q"_s, d(2004, 3, 10), 2), d(2004, 3, 10));
}

TEST(DateModel, StartDateSetterKeepsTheRangeInOrderWhileTheEndShows) {
    Fixture f(d(2004, 6, 15));
    f.range(d(2004, 3, 1), d(2004, 3, 5));
    f.model.setStartDate(d(2004, 3, 10));
    EXPECT_EQ(f.model.StartDate(), d(2004, 3, 10));
    EXPECT_EQ(f.model.EndDate(), d(2004, 4, 30));

    f.range(d(2004, 3, 1), d(2004, 3, 5));
    f.model.setShowEndDate(false);
    f.model.setStartDate(d(2004, 3, 10));
    EXPECT_EQ(f.model.StartDate(), d(2004, 3, 10));
    EXPECT_EQ(f.model.EndDate(), d(2004, 3, 5));
    EXPECT_EQ(f.marked, QStringList{u"ShowEndDate"_s});

    f.model.setStartDate(d(2004, 3, 2)); // no reordering needed
    EXPECT_EQ(f.model.EndDate(), d(2004, 3, 5));
}

TEST(DateModel, EndDateBeforeAShownStartIsNotStored) {
    Fixture f(d(2004, 6, 15));
    // Month, count 1: the start moves to FirstOf the month after the new end's, which here is
    // the start it already had, so neither date changes.
    f.range(d(2004, 4, 1), d(2004, 4, 30));
    f.model.setEndDate(d(2004, 3, 10));
    EXPECT_EQ(f.model.StartDate(), d(2004, 4, 1));
    EXPECT_EQ(f.model.EndDate(), d(2004, 4, 30));

    // An unaligned start is pulled to that first day; the end still keeps its value.
    f.range(d(2004, 4, 15), d(2004, 4, 30));
    f.model.setEndDate(d(2004, 3, 10));
    EXPECT_EQ(f.model.StartDate(), d(2004, 4, 1));
    EXPECT_EQ(f.model.EndDate(), d(2004, 4, 30));

    // With the start hidden the end is stored as given.
    f.range(d(2004, 4, 1), d(2004, 4, 30));
    f.model.setShowStartDate(false);
    f.model.setEndDate(d(2004, 3, 10));
    EXPECT_EQ(f.model.StartDate(), d(2004, 4, 1));
    EXPECT_EQ(f.model.EndDate(), d(2004, 3, 10));

    f.model.setEndDate(d(2004, 5, 31));
    EXPECT_EQ(f.model.EndDate(), d(2004, 5, 31));
    EXPECT_TRUE(f.marked == QStringList{u"ShowStartDate"_s});
}

TEST(DateModel, SetDatesStartsAnUnalignedRangeWithoutRecalculatingTheCount) {
    const QDate today = d(2004, 6, 16);
    Fixture f(today);
    f.model.SetDates(today.addDays(-7), static_cast<int>(DatePeriod::Week), 1);
    EXPECT_EQ(f.model.StartDate(), d(2004, 6, 9));
    EXPECT_EQ(f.model.EndDate(), d(2004, 6, 15));
    EXPECT_EQ(f.marked, QStringList{u"Period"_s});

    f.model.SetDates(d(2004, 1, 31), static_cast<int>(DatePeriod::Month), 2);
    EXPECT_EQ(f.model.PeriodCount(), 2);
    EXPECT_EQ(f.model.EndDate(), d(2004, 3, 30));
    QDate start, end;
    f.model.GetReportDates(start, end);
    EXPECT_EQ(start, d(2004, 1, 31));
    EXPECT_EQ(end, d(2004, 3, 30));
}

TEST(DateModel, StepRebuildsTheEndFromTheNewStart) {
    struct Case {
        const char* name;
        DatePeriod period;
        QDate start, end;
        int direction;
        QDate newStart, newEnd;
    };
    const Case cases[] = {
        {"month forward", DatePeriod::Month, d(2004, 1, 31), d(2004, 2, 28), +1, d(2004, 2, 29),
         d(2004, 3, 28)},
        {"week forward", DatePeriod::Week, d(2004, 6, 6), d(2004, 6, 12), +1, d(2004, 6, 13), d(2004, 6, 19)},
        {"week back", DatePeriod::Week, d(2004, 6, 13), d(2004, 6, 19), -1, d(2004, 6, 6), d(2004, 6, 12)},
        {"hand-made range back", DatePeriod::Week, d(2004, 6, 3), d(2004, 6, 20), -1, d(2004, 5, 27),
         d(2004, 6, 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f(d(2004, 6, 16));
        f.model.setPeriod(static_cast<int>(c.period));
        f.range(c.start, c.end);
        f.model.step(c.direction);
        EXPECT_EQ(text(f.model.StartDate()), text(c.newStart));
        EXPECT_EQ(text(f.model.EndDate()), text(c.newEnd));
        EXPECT_TRUE(f.marked.isEmpty());
    }
}

TEST(DateModel, FailuresCarryTheTrailAndKeepEarlierEffects) {
    Fixture f(d(2004, 6, 15));
    f.model.CalculateDates();
    try {
        f.model.setPeriodCount(50000); // two ranges of 50000 months run past the year 9999
        FAIL() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrNo::InvalidProcedureCall);
        EXPECT_EQ(e.steps().mid(0, 2),
                  (QStringList{u"setting the number of periods"_s, u"working out the dates"_s}))
            << e.steps().join(u" > "_s).toStdString();
    }
    EXPECT_EQ(f.model.PeriodCount(), 50000);
    EXPECT_TRUE(f.marked.isEmpty());

    try {
        f.model.SetDates(QDate(), 2, 1);
        FAIL() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.steps(), QStringList{u"setting the dates"_s});
    }
    // An end before the start moves the start a month past the new end: beyond December 9999.
    f.model.restoreSettings(static_cast<int>(DatePeriod::Month), 1, d(2000, 1, 1), 1);
    f.model.SetDates(d(9999, 11, 20), static_cast<int>(DatePeriod::Month), 1);
    f.model.setStartDate(d(9999, 12, 15));
    try {
        f.model.setEndDate(d(9999, 12, 10));
        FAIL() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.steps().mid(0, 2),
                  (QStringList{u"setting the end date"_s, u"finding the first day of the period"_s}))
            << e.steps().join(u" > "_s).toStdString();
    }
    EXPECT_EQ(f.model.StartDate(), d(9999, 12, 15));
    EXPECT_EQ(f.model.EndDate(), d(9999, 12, 19));
}

TEST(DateModel, FarAnchorsAndShortPeriodsFinishQuickly) {
    // Seconds since 2000 would be a walk of hundreds of millions of steps.
    Fixture f(d(2024, 2, 29));
    f.model.restoreSettings(static_cast<int>(DatePeriod::Second), 1, d(2000, 1, 1), 1);
    f.model.CalculateDates();
    EXPECT_EQ(f.model.StartDate(), d(2024, 2, 28));

    // Walking back from a later anchor stops at the first range that no longer starts after today.
    f.model.restoreSettings(static_cast<int>(DatePeriod::Day), 1, d(9000, 1, 1), 1);
    f.model.CalculateDates();
    EXPECT_EQ(f.model.StartDate(), d(2024, 2, 28));

    // A fractional count too small to move a day does not walk at all.
    f.model.restoreSettings(static_cast<int>(DatePeriod::Day), 0.25, d(2000, 1, 1), 1);
    f.model.CalculateDates();
    EXPECT_EQ(f.model.StartDate(), d(2000, 1, 1));
}

TEST(DateModel, GetMaxTakesTheFirstLargestNumberAndKeepsItsType) {
    EXPECT_FALSE(GetMax({}).isValid());
    EXPECT_FALSE(GetMax({u"12"_s, true, QDate(2004, 1, 1), std::nan("")}).isValid());
    const QVariant mixed = GetMax({u"x"_s, 3, 7.5, 2, 7LL});
    EXPECT_EQ(mixed.typeId(), QMetaType::Double);
    EXPECT_EQ(mixed.toDouble(), 7.5);
    const QVariant tie = GetMax({QVariant(), 9, 9.0, 9LL});
    EXPECT_EQ(tie.typeId(), QMetaType::Int);
    EXPECT_EQ(GetMax({-5, -2.5, -9}).toDouble(), -2.5);
}
