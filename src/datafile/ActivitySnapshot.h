#pragma once

#include "datafile/Connection.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tallyrow {

/// Whether a row's name matches a report's name filter: every report filter and every source
/// compares names through this one function. Every letter compares without regard to case (simple
/// case folding), as the data file's queries compare them; a missing name (NULL) never matches.
bool activityNameMatches(const std::optional<QString>& name, const QString& filter);

/// The weekday remainder the reports group a day by: the day number modulo 7, never negative, as
/// the queries compute it, so a day before 2000 counts under its own weekday.
std::int32_t activityDayRemainder(std::int64_t day);

/// The source of the Error that refuses a row holding a value the monitoring product never writes.
inline constexpr char kRefusedRowSource[] = "ActivitySnapshot::Builder::add";

/// One cell of a row as its source holds it, before the snapshot checks it.
struct ActivityValue {
    enum class Type { Null, Integer, Real, Text, Blob };
    Type type = Type::Null;
    std::int64_t integer = 0;
    double real = 0;
    QString text; ///< text as stored (also for a blob, shown in a refusal)
};

/// The rows of the Activity table of one data file, held in memory column by column and never
/// changed once built: day, user and computer (ids into name tables) and the 24 hours as
/// seconds (kNoHour for a missing hour). Rows are kept in day order, so a date range is one slice.
/// Reports answer from it with the same figures as their queries give on the file.
class ActivitySnapshot {
public:
    static constexpr std::uint16_t kNoHour = 0xFFFF;
    static constexpr std::uint32_t kNoName = 0xFFFFFFFF;

    /// How the source groups names in the user list: letter case of A–Z ignored (the program's
    /// schema) or not; and whether it lists pairs in the order of a (user, computer, day) index
    /// or in the order the rows were written.
    struct Grouping {
        bool namesIgnoreCase = true;
        bool keyIndexOrder = true;
    };

    /// Collects rows in source order, checks every value and makes the snapshot.
    class Builder {
    public:
        explicit Builder(Grouping grouping);
        ~Builder();
        Builder(const Builder&) = delete;
        Builder& operator=(const Builder&) = delete;
        void reserve(std::size_t rows);
        /// Adds one row (hours: H0 … H23). Fails with an Error naming the row (day, user,
        /// computer, column and value) when it holds a value the monitoring product never
        /// writes: an hour outside 0 … 3600, a number that is not whole, text or bytes in a
        /// number column.
        void add(const ActivityValue& day, const ActivityValue& user, const ActivityValue& computer,
                 const std::array<ActivityValue, 24>& hours);
        /// The same with the names as ids from userId() and computerId(), which take a name's
        /// UTF-8 bytes (nullptr: a missing name): a reader that has bytes at hand saves the
        /// conversion of every row's names.
        void add(const ActivityValue& day, std::uint32_t user, std::uint32_t computer,
                 const std::array<ActivityValue, 24>& hours);
        std::uint32_t userId(const char* utf8, std::size_t size);
        std::uint32_t computerId(const char* utf8, std::size_t size);
        std::shared_ptr<const ActivitySnapshot> finish();

    private:
        struct Data;
        /// A pair of the user list: the ranks of its names' keys (-1: no name) and its first row.
        struct RankedPair {
            std::int64_t user;
            std::int64_t computer;
            std::size_t row;
        };
        std::vector<RankedPair> firstPairs() const;
        void finishUserList(ActivitySnapshot& snap) const;
        void finishRows(ActivitySnapshot& snap) const;

        std::unique_ptr<Data> d;
    };

    std::size_t rowCount() const { return m_day.size(); }
    /// Bytes held by the snapshot's arrays and tables.
    std::size_t memoryBytes() const;

    /// An aggregate over rows per weekday remainder, as the Day report's query computes it.
    enum class Aggregate { Avg, Sum, Max, Min };
    struct RemainderGroup {
        std::int32_t remainder = 0;
        std::array<std::optional<double>, 24> hours{}; ///< nothing where no row has the hour
    };
    /// One group per weekday remainder that has a matching row with day in [firstDay, lastDay]
    /// (empty filters match every row), ordered by remainder. Missing hours are left out of
    /// every aggregate; an hour that no row of the group has gives nothing.
    std::vector<RemainderGroup> hourAggregates(std::int64_t firstDay, std::int64_t lastDay,
                                               const QString& userFilter, const QString& computerFilter,
                                               Aggregate aggregate) const;

    /// A range of days, both ends included (empty when last < first).
    struct DayRange {
        std::int64_t first = 0;
        std::int64_t last = 0;
    };
    /// The seconds of all hours (a missing hour counts 0) of the matching rows in each range.
    std::vector<std::int64_t> rangeSeconds(const std::vector<DayRange>& ranges, const QString& userFilter,
                                           const QString& computerFilter) const;

    /// The user list's three answers, rows and field names as the list's queries give them:
    /// (UserName, ComputerName) pairs; (UserName, TotalComputers); (ComputerName, TotaUsers).
    std::unique_ptr<Recordset> userComputerPairs() const;
    std::unique_ptr<Recordset> usersOnSeveralComputers() const;
    std::unique_ptr<Recordset> computersOfSeveralUsers() const;

    /// The snapshot as bytes and back. fromBytes returns nothing for anything it did not write
    /// in full (a damaged or foreign copy).
    QByteArray toBytes() const;
    static std::shared_ptr<const ActivitySnapshot> fromBytes(const QByteArray& bytes);

private:
    struct NamePair {
        std::uint32_t user = kNoName;
        std::uint32_t computer = kNoName;
    };
    struct NameCount {
        std::uint32_t name = kNoName;
        std::int64_t count = 0;
    };
    struct DayTotals {
        std::int32_t day = 0;
        std::array<std::int64_t, 24> sum{};
        std::array<std::int32_t, 24> count{};
        std::array<std::uint16_t, 24> max{};
        std::array<std::uint16_t, 24> min{};
        std::int64_t total = 0; ///< running total of every earlier day plus this one
    };

    void computeDayTotals();
    std::pair<std::size_t, std::size_t> slice(std::int64_t firstDay, std::int64_t lastDay) const;
    std::vector<char> nameMatches(const std::vector<QString>& names, const QString& filter) const;
    static QVariant nameValue(const std::vector<QString>& names, std::uint32_t id);

    std::vector<QString> m_users; ///< distinct user names as written
    std::vector<QString> m_computers;
    std::vector<std::int32_t> m_day; ///< ascending
    std::vector<std::uint32_t> m_user;
    std::vector<std::uint32_t> m_computer;
    std::vector<std::uint16_t> m_hours; ///< 24 per row
    std::vector<DayTotals> m_dayTotals; ///< one per distinct day, ascending
    // The user list: pairs in list order, then the two "several" lists.
    std::vector<NamePair> m_pairs;
    std::vector<NameCount> m_usersOnSeveral;
    std::vector<NameCount> m_computersOfSeveral;
};

} // namespace tallyrow
