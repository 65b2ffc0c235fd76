#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace tallyrow::sample {

/// One Activity row: day number (0 = 1 January 2000), user, computer, seconds per hour.
struct ActivityRow {
    int activeDay = 0;
    int user = 0;     ///< index into Office::users
    int computer = 0; ///< index into Office::computers
    std::array<int, 24> seconds{};
};

/// A made-up office: who works where, and what a day of theirs looks like. Every day's rows come
/// from that day and the seed alone, so any range of days gives the same rows for a day.
class Office {
public:
    Office(int users, int computers, std::uint64_t seed);

    const QStringList& users() const { return m_users; }
    const QStringList& computers() const { return m_computers; }

    /// The rows of one day, in a fixed order.
    void day(const QDate& date, std::vector<ActivityRow>& out) const;

    static int dayNumber(const QDate& date);

private:
    struct Person {
        int desk = 0;            ///< computer index of the desk
        int laptop = -1;         ///< computer index of a laptop, or -1
        double start = 8.5;      ///< usual arrival (hours)
        double end = 17.0;       ///< usual leaving time
        double diligence = 0.75; ///< share of an office hour spent active
        int holidayWeek = 30;    ///< first week of the yearly two-week holiday
    };
    QStringList m_users;
    QStringList m_computers;
    std::vector<Person> m_people;
    std::uint64_t m_seed;
};

} // namespace tallyrow::sample
