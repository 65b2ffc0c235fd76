#pragma once

#include "activity/DateRange.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tallyrow {

/// A range of days as the data file counts them (day 0 is Saturday 1 January 2000, earlier days
/// are negative), both ends included; empty when `last` is before `first`. The one form a date
/// range takes on its way from a report to the data.
struct DayRange {
    std::int64_t first = 0;
    std::int64_t last = -1;

    /// The days of `range` (invalid dates give an empty range).
    static DayRange of(const DateRange& range);
    /// The days from `from` up to the day before `next`.
    static DayRange upTo(const QDate& from, const QDate& next);
    bool empty() const { return last < first; }
    std::int64_t days() const { return empty() ? 0 : last - first + 1; }
    bool operator==(const DayRange&) const = default;
};

/// The data file's day number of a date.
std::int64_t activityDayNumber(const QDate& date);

/// The weekday remainder the reports group a day by: the day number modulo 7, never negative
/// (0 Saturday, 1 Sunday, 2 Monday … 6 Friday), so a day before 2000 counts under its own weekday.
std::int32_t activityDayRemainder(std::int64_t day);

/// Whether a row's name matches a report's name filter: every report filter and every source
/// compares names through this one rule. Every letter compares without regard to case (simple
/// case folding); a missing name (NULL) never matches.
bool activityNameMatches(const std::optional<QString>& name, const QString& filter);

/// How the figures of one hour are brought together over the rows of a weekday.
enum class HourAggregate { Average, Total, Maximum, Minimum };

/// Whom the Users report gives a line: each user, each computer or each user-computer pair.
enum class PeopleGrouping { User, Computer, Pair };

/// What a report asks of the activity data, whoever answers it: one plain value that can be
/// compared, printed in a test's failure and answered by the saved store or by SQL alike.
struct ActivityQuery {
    enum class Shape {
        /// Per weekday remainder, each hour's aggregate over the rows of `ranges[0]`.
        HourAggregates,
        /// Per range of `ranges`, the seconds of all hours of the rows in it.
        RangeSeconds,
        /// The user-and-computer list: the pairs, users on several computers, computers of
        /// several users (ranges, filters and weekdays do not apply).
        UserList,
        /// Per user, computer or pair (`grouping`), the seconds and the active days of the rows
        /// of `ranges[0]` on the counted weekdays.
        PeopleTotals,
    };
    static constexpr std::uint8_t kEveryWeekday = 0x7F;

    Shape shape = Shape::HourAggregates;
    std::vector<DayRange> ranges;
    QString user;     ///< "" = every user
    QString computer; ///< "" = every computer
    /// Bit r set: rows whose weekday remainder is r count (HourAggregates only).
    std::uint8_t weekdays = kEveryWeekday;
    HourAggregate aggregate = HourAggregate::Total;
    PeopleGrouping grouping = PeopleGrouping::User; ///< PeopleTotals only

    static ActivityQuery hourAggregates(DayRange range, QString user, QString computer, std::uint8_t weekdays,
                                        HourAggregate aggregate);
    static ActivityQuery rangeSeconds(std::vector<DayRange> ranges, QString user, QString computer);
    static ActivityQuery userList();
    static ActivityQuery peopleTotals(DayRange range, QString user, QString computer, std::uint8_t weekdays,
                                      PeopleGrouping grouping);

    bool weekdayCounts(std::int32_t remainder) const { return (weekdays >> remainder) & 1U; }
    /// The days the query can touch, from the first range's first day to the last range's last
    /// day (empty for the user list or when every range is empty).
    DayRange span() const;
    /// A one-line description for logs and test failures.
    QString describe() const;
    bool operator==(const ActivityQuery&) const = default;
};

/// One weekday's hour figures: nothing for an hour no counted row has.
struct HourGroup {
    std::int32_t remainder = 0;
    std::array<std::optional<double>, 24> hours{};
    bool operator==(const HourGroup&) const = default;
};

/// The user-and-computer list as the data gives it, names as written (nothing: a missing name).
struct ActivityUserList {
    struct Pair {
        std::optional<QString> user;
        std::optional<QString> computer;
        bool operator==(const Pair&) const = default;
    };
    struct Count {
        std::optional<QString> name;
        std::int64_t count = 0;
        bool operator==(const Count&) const = default;
    };
    std::vector<Pair> pairs;               ///< by user, in the source's list order
    std::vector<Count> usersOnSeveral;     ///< users seen on more than one computer
    std::vector<Count> computersOfSeveral; ///< computers used by more than one user
    bool operator==(const ActivityUserList&) const = default;
};

/// One line of the Users report: whom (names as written; the other name is nothing when the
/// line groups by one), the active seconds and the days with any.
struct PersonTotal {
    std::optional<QString> user;
    std::optional<QString> computer;
    std::int64_t seconds = 0;
    std::int64_t activeDays = 0;
    bool operator==(const PersonTotal&) const = default;
};

/// Adds up rows into the Users report's lines, as every source does: the spellings of a name
/// that --user takes as one (letter case folded) make one line, shown in the spelling that comes
/// first in code-unit order, and a missing name is one line with an empty one; a day counts
/// active when its rows there hold a second; lines without activity are left out, the largest
/// first (then by name).
class PeopleTally {
public:
    explicit PeopleTally(PeopleGrouping grouping) : m_grouping(grouping) {}
    void add(const std::optional<QString>& user, const std::optional<QString>& computer, std::int64_t day,
             std::int64_t seconds);
    std::vector<PersonTotal> finish() const;
    /// Puts lines in the report's order: the largest first, then by user, then by computer (a
    /// missing name before an empty one).
    static void rank(std::vector<PersonTotal>& people);
    /// What tells the lines of one name apart from another's (the same for all its spellings).
    static QString lineKey(const std::optional<QString>& name);
    /// Whether spelling `a` is shown in place of `b` when both make one line.
    static bool shownBefore(const std::optional<QString>& a, const std::optional<QString>& b);

private:
    struct Line {
        PersonTotal total;
        std::vector<std::int64_t> days;
    };
    PeopleGrouping m_grouping;
    std::vector<Line> m_lines;
    QHash<QString, std::size_t> m_index;
};

/// The answer to an ActivityQuery: the part its shape asks for is filled.
struct ActivityAnswer {
    std::vector<HourGroup> groups;     ///< HourAggregates: one per remainder with counted rows, ascending
    std::vector<std::int64_t> seconds; ///< RangeSeconds: one per range
    ActivityUserList users;            ///< UserList
    std::vector<PersonTotal> people;   ///< PeopleTotals, the largest first
    /// Rows the answer looked at (not part of the answer: a measure of its cost).
    std::int64_t rowsRead = 0;

    /// Equal figures, whatever each cost.
    bool sameFigures(const ActivityAnswer& other) const {
        return groups == other.groups && seconds == other.seconds && users == other.users &&
               people == other.people;
    }
};

} // namespace tallyrow
