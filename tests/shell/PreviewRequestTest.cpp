#include "shell/PreviewRequest.h"

#include "reports/DayReportDescriptor.h"
#include "reports/TotalsReportDescriptor.h"

#include "support/Error.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

const QLocale kUs{QLocale::English, QLocale::UnitedStates};

template <typename Options> Options march(Options options) {
    options.range = {QDate(2004, 3, 1), QDate(2004, 3, 31)};
    options.chartType = 14;
    options.showDetails = true;
    options.userFilter = u"anna"_s;
    options.computerFilter = u"OFFICE1"_s;
    options.dataFile = u"/data/office.yrd"_s;
    return options;
}

} // namespace

TEST(PreviewRequest, RefusesAndNamesTheOptionToFix) {
    DayReportInputs backwards = march(DayReportInputs{});
    backwards.range.end = QDate(2004, 2, 29);
    backwards.days = WeekdaySet(); // the range is checked first
    const auto day = dayPreviewRequest(backwards);
    ASSERT_FALSE(day.inputs);
    EXPECT_EQ(day.problem.message, u"The End date needs to be after the Start date."_s);
    EXPECT_EQ(day.problem.focus, PreviewOption::DateRange);

    DayReportInputs noDays = march(DayReportInputs{});
    noDays.days = WeekdaySet();
    const auto none = dayPreviewRequest(noDays);
    ASSERT_FALSE(none.inputs);
    EXPECT_EQ(none.problem.message, u"You need to select at least one day."_s);
    EXPECT_EQ(none.problem.focus, PreviewOption::Days);

    const QString notANumber =
        u"The value entered for \"Show total activity in groups of\" needs to be a number"_s;
    const QString tooLarge =
        u"The value entered for \"Show total activity in groups of\" is too large: enter a "
        "whole number up to 2,147,483,647."_s;
    const struct {
        const char* units;
        const QString* refused; // nothing: accepted
    } units[] = {
        {"2", nullptr},         {" 1,000 ", nullptr}, {"1.5e1", nullptr},         {"", &notANumber},
        {"two", &notANumber},   {"2x", &notANumber},  {"99999999999", &tooLarge}, {"-1e300", &tooLarge},
        {"2147483647", nullptr}};
    for (const auto& c : units) {
        SCOPED_TRACE(c.units);
        const auto read = typedUnits(QString::fromLatin1(c.units), kUs);
        EXPECT_EQ(std::holds_alternative<std::int32_t>(read), c.refused == nullptr);
        if (const auto* problem = std::get_if<PreviewProblem>(&read)) {
            EXPECT_EQ(problem->message, c.refused ? *c.refused : QString());
            EXPECT_EQ(problem->focus, PreviewOption::Units);
        }
    }
}

// A Totals report's periods must fit the calendar, and a report can show only so many of them.
TEST(PreviewRequest, PeriodsBeyondTheCalendarOrTooManyToShowAreRefusedInOneSentence) {
    const struct {
        const char* name;
        QDate from;
        QDate to;
        const char* period;
        const char* units;
        bool compare;
        const char* says; // nothing: accepted
    } cases[] = {
        {"every day of the calendar", QDate(1, 1, 1), QDate(9999, 12, 31), "Days", "1", false, "periods"},
        {"years past 9999", QDate(9999, 12, 1), QDate(9999, 12, 31), "Years", "1", false, "9999"},
        {"units as large as an int", QDate(2004, 1, 1), QDate(2004, 2, 1), "Days", "2147483647", false,
         "9999"},
        {"a previous range before 100", QDate(100, 1, 1), QDate(100, 12, 31), "Months", "1", true, "9999"},
        {"ten years by days", QDate(2000, 1, 1), QDate(2009, 12, 31), "Days", "1", true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TotalsReportInputs options = march(TotalsReportInputs{});
        options.range = {c.from, c.to};
        options.period = *periodNamed(QString::fromLatin1(c.period));
        options.units = std::get<std::int32_t>(typedUnits(QString::fromLatin1(c.units), kUs));
        options.compare = c.compare;
        const auto totals = totalsPreviewRequest(options);
        EXPECT_EQ(totals.inputs.has_value(), c.says == nullptr);
        if (c.says) {
            EXPECT_TRUE(totals.problem.message.contains(QLatin1String(c.says)))
                << totals.problem.message.toStdString();
            EXPECT_FALSE(totals.problem.message.contains(u"Invalid procedure"_s));
        }
    }
}

TEST(PreviewRequest, AcceptedOptionsBecomeTheReportInputs) {
    DayReportInputs d = march(DayReportInputs{});
    d.days = WeekdaySet{Qt::Monday, Qt::Wednesday, Qt::Sunday};
    d.columns = DayColumns(2);
    d.figure = DayFigure(3);
    const auto day = dayPreviewRequest(d);
    ASSERT_TRUE(day.inputs);
    EXPECT_EQ(day.inputs->days, d.days);
    EXPECT_EQ(selectedDaysText(*day.inputs), u"Days selected: Monday, Wednesday, Sunday"_s);
    EXPECT_EQ(day.inputs->columns, DayColumns::EachDayAndAverage);
    EXPECT_EQ(day.inputs->figure, DayFigure::Minimum);
    EXPECT_EQ(day.inputs->chartType, 14);
    EXPECT_TRUE(day.inputs->showDetails);
    EXPECT_EQ(day.inputs->userFilter, u"anna"_s);
    EXPECT_EQ(day.inputs->computerFilter, u"OFFICE1"_s);
    EXPECT_EQ(day.inputs->dataFile, u"/data/office.yrd"_s);

    TotalsReportInputs t = march(TotalsReportInputs{});
    t.units = std::get<std::int32_t>(typedUnits(u"2.5"_s, kUs)); // halves go to the even neighbour
    t.period = TotalsPeriod::Weeks;
    t.timeScale = TimeScale::Hours;
    const auto totals = totalsPreviewRequest(t);
    ASSERT_TRUE(totals.inputs);
    EXPECT_EQ(totals.inputs->units, 2);
    EXPECT_EQ(totals.inputs->period, TotalsPeriod::Weeks);
    EXPECT_EQ(totals.inputs->timeScale, TimeScale::Hours);
    EXPECT_EQ(totals.inputs->range.start, QDate(2004, 3, 1));
    EXPECT_EQ(totals.inputs->dataFile, u"/data/office.yrd"_s);
}

TEST(PreviewRequest, TimeScaleNamesMapToTheReportsCodes) {
    EXPECT_EQ(timeScaleNamed(u"seconds"_s), TimeScale::Seconds);
    EXPECT_EQ(timeScaleNamed(u"Minutes"_s), TimeScale::Minutes);
    EXPECT_EQ(timeScaleNamed(u"HOURS"_s), TimeScale::Hours);
    EXPECT_FALSE(timeScaleNamed(u"days"_s));
    EXPECT_EQ(timeScaleDivisor(TimeScale::Hours), 3600);
    EXPECT_EQ(timeScaleAxisTitle(TimeScale::Minutes), u"Active minutes"_s);
}
