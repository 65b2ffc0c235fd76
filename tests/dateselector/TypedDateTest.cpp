#include "dateselector/TypedDate.h"

#include <gtest/gtest.h>

using namespace tallyrow;
using namespace Qt::StringLiterals;

namespace {

using State = TypedDate::State;

struct Case {
    const char* text;
    QLocale::Country country;
    State state;
    QDate date = {};
};

// British short dates put the day first, American ones the month, German ones use dots.
const Case kCases[] = {
    {"01/12/2026", QLocale::UnitedKingdom, State::Complete, {2026, 12, 1}},
    {"1 12 2026", QLocale::UnitedKingdom, State::Complete, {2026, 12, 1}},
    {"1 Dec 2026", QLocale::UnitedKingdom, State::Complete, {2026, 12, 1}},
    {"1 december 2026", QLocale::UnitedKingdom, State::Complete, {2026, 12, 1}},
    {"Dec 1, 2026", QLocale::UnitedStates, State::Complete, {2026, 12, 1}},
    {"12/1/2026", QLocale::UnitedStates, State::Complete, {2026, 12, 1}},
    {"1.12.2026", QLocale::Germany, State::Complete, {2026, 12, 1}},
    {"1. Dezember 2026", QLocale::Germany, State::Complete, {2026, 12, 1}},
    {"2026-12-01", QLocale::UnitedStates, State::Complete, {2026, 12, 1}},
    // On the way: every prefix of "1 Dec 2026" the user passes through.
    {"", QLocale::UnitedKingdom, State::Partial},
    {"1", QLocale::UnitedKingdom, State::Partial},
    {"1 ", QLocale::UnitedKingdom, State::Partial},
    {"1 D", QLocale::UnitedKingdom, State::Partial},
    {"1 Dec ", QLocale::UnitedKingdom, State::Partial},
    {"1 Dec 202", QLocale::UnitedKingdom, State::Partial},
    {"1 Ma", QLocale::UnitedKingdom, State::Partial},
    {"01/12/26", QLocale::UnitedKingdom, State::Partial},
    // Never a date.
    {"32/12/2026", QLocale::UnitedKingdom, State::Invalid},
    {"1/13/2026", QLocale::UnitedKingdom, State::Invalid},
    {"31 Feb 2026", QLocale::UnitedKingdom, State::Invalid},
    {"1 Dex 2026", QLocale::UnitedKingdom, State::Invalid},
    {"1 Dec 2026 5", QLocale::UnitedKingdom, State::Invalid},
    {"1/12/20266", QLocale::UnitedKingdom, State::Invalid},
    {"Dec 1 Jan", QLocale::UnitedKingdom, State::Invalid},
};

} // namespace

TEST(TypedDate, ReadsDatesAsPeopleTypeThemInTheLocalesOrder) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        const QLocale locale(c.country == QLocale::Germany ? QLocale::German : QLocale::English, c.country);
        const TypedDate typed = readTypedDate(QString::fromUtf8(c.text), locale);
        EXPECT_EQ(static_cast<int>(typed.state), static_cast<int>(c.state));
        if (c.state == State::Complete) {
            EXPECT_EQ(typed.date, c.date) << typed.date.toString(Qt::ISODate).toStdString();
        }
    }
}
