#include "shell/ExportTool.h"
#include "shell/ReportOptions.h"

#include "support/Error.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Qt::StringLiterals;
using tallyrow::availableWeekdays;

namespace {

// Sunday ... Saturday as a string of S/M/T/W/T/F/S letters, "-" where the weekday is unavailable.
QString pattern(const tallyrow::WeekdaySet& days) {
    static const char letters[] = "SMTWTFS";
    QString out;
    for (int i = 0; i < 7; ++i)
        out += days.contains(Qt::DayOfWeek(i == 0 ? Qt::Sunday : i)) ? QChar::fromLatin1(letters[i]) : u'-';
    return out;
}

} // namespace

// The data counts weekdays by a day number's remainder, Saturday 0; 1 January 2000, day 0, was a
// Saturday. Each weekday's bit is the remainder of a day number that falls on it.
TEST(WeekdaySet, EachWeekdayMeetsTheDataAtItsRemainder) {
    for (int d = 0; d < 7; ++d) {
        const QDate date = QDate(2000, 1, 1).addDays(d);
        const tallyrow::WeekdaySet one{Qt::DayOfWeek(date.dayOfWeek())};
        EXPECT_EQ(one.remainderMask(), 1U << d) << date.toString().toStdString();
        EXPECT_EQ(one.count(), 1);
    }
    EXPECT_EQ(tallyrow::WeekdaySet::all().remainderMask(), 0x7F);
    EXPECT_TRUE(tallyrow::WeekdaySet().isEmpty());
}

TEST(AvailableWeekdays, OnlyWeekdaysInsideTheRangeCanBeChosen) {
    struct Case {
        const char* name;
        QDate start;
        QDate end;
        const char* expected;
    } cases[] = {
        {"three days from a Friday", {2024, 5, 10}, {2024, 5, 12}, "S----FS"},
        {"a single Wednesday", {2024, 5, 15}, {2024, 5, 15}, "---W---"},
        {"six days wrap past Saturday", {2024, 5, 16}, {2024, 5, 21}, "SMT-TFS"},
        {"exactly seven days", {2024, 5, 8}, {2024, 5, 14}, "SMTWTFS"},
        {"many weeks", {2024, 1, 1}, {2024, 12, 31}, "SMTWTFS"},
        {"start after end", {2024, 5, 15}, {2024, 5, 14}, "-------"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pattern(availableWeekdays({c.start, c.end})), QString::fromLatin1(c.expected));
    }
}

TEST(UnitsText, NumericTestFollowsTheLocale) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    for (const char* ok : {"1", " 12 ", "2.5", "-3", "0", "+7", "1,000", "1e3", ".5"}) {
        SCOPED_TRACE(ok);
        EXPECT_TRUE(tallyrow::isNumericText(QString::fromLatin1(ok), us));
    }
    for (const char* bad : {"", "  ", "5 days", "abc", "1.2.3", "-", "e5", "1e", "2,5x"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(tallyrow::isNumericText(QString::fromLatin1(bad), us));
    }
    EXPECT_TRUE(tallyrow::isNumericText(u"2,5"_s, de));
}

TEST(UnitsText, ReadsTheLeadingNumberAndRoundsHalvesToEven) {
    struct Case {
        const char* text;
        std::int32_t units;
    } cases[] = {
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"0", 0},
        {"-4", -4},
        {" 7 ", 7},
        {"1,000", 1}, // a thousands separator ends the number
        {"2,5", 2},   // so does a decimal comma
        {"1e2", 100},
        {"2.49", 2},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(tallyrow::ReadUnits(QString::fromLatin1(c.text)), c.units);
    }
}

TEST(UnitsText, NumbersBeyondThirtyTwoBitsAreAFailureNotAWrappedValue) {
    for (const char* text : {"2147483648", "-2147483649", "1e300", "1e999"}) {
        SCOPED_TRACE(text);
        try {
            tallyrow::ReadUnits(QString::fromLatin1(text));
            ADD_FAILURE() << "no failure raised";
        } catch (const tallyrow::Error& e) {
            EXPECT_EQ(e.number(), tallyrow::ErrNo::Overflow);
        }
    }
}

TEST(ReportName, BuiltFromTheChosenFilters) {
    struct Case {
        const char* user;
        const char* computer;
        const char* name;
    } cases[] = {
        {"", "", "Usage Report"},
        {"alice", "", "Usage Report - alice - "},
        {"", "PC1", "Usage Report - PC1"},
        {"alice", "PC1", "Usage Report - alice - PC1"},
        {" <bob> ", "<PC2>", "Usage Report - bob - PC2"},
        {"<>", "", "Usage Report"},
        {"dom/ain", "a/b", "Usage Report - dom-ain - a-b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tallyrow::reportNameFor(QString::fromLatin1(c.user), QString::fromLatin1(c.computer)),
                  QString::fromLatin1(c.name));
    }
}

TEST(ExportOptions, ChartDefaultsToWhatTheMainWindowPicksForEachReport) {
    const auto parse = [](const QString& report, const QStringList& extra = {}) {
        QStringList args = {QStringLiteral("--data"),   QStringLiteral("x.yrd"),
                            QStringLiteral("--report"), report,
                            QStringLiteral("--from"),   QStringLiteral("2004-03-01"),
                            QStringLiteral("--to"),     QStringLiteral("2004-03-31"),
                            QStringLiteral("--format"), QStringLiteral("csv"),
                            QStringLiteral("--output"), QStringLiteral("out.csv")};
        return tallyrow::parseExportArguments(args + extra);
    };
    const auto day = parse(QStringLiteral("day"));
    ASSERT_TRUE(day.request) << day.usageError.toStdString();
    EXPECT_EQ(day.request->chartType, 1); // "2D Bar"
    const auto totals = parse(QStringLiteral("totals"));
    ASSERT_TRUE(totals.request) << totals.usageError.toStdString();
    EXPECT_EQ(totals.request->chartType, 3); // "2D Line"
    const auto chosen = parse(QStringLiteral("day"), {QStringLiteral("--chart"), QStringLiteral("2D Pie")});
    ASSERT_TRUE(chosen.request);
    EXPECT_EQ(chosen.request->chartType, 14);
}
