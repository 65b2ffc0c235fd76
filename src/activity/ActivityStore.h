#pragma once

#include "activity/ActivityQuery.h"
#include "activity/StoreDamaged.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace tallyrow {

/// The source of the Error that refuses a row holding a value the monitoring product never writes.
inline constexpr char kRefusedRowSource[] = "ActivityStore::Builder::add";

/// One cell of a row as its source holds it, before the store checks it.
struct ActivityValue {
    enum class Type { Null, Integer, Real, Text, Blob };
    Type type = Type::Null;
    std::int64_t integer = 0;
    double real = 0;
    QString text; ///< text as stored (also for a blob, shown in a refusal)
};

/// The rows of the Activity table of one data file, held column by column and never changed
/// once built, in memory or mapped from a saved copy (see StoreFile). Rows lie grouped by their
/// (user, computer) pair and by day within a pair, so one person's report reads that person's
/// rows only; per-day figures of every row answer the reports that filter on nobody without
/// touching a row. Answers ActivityQuery with the same figures as SQL gives on the file.
class ActivityStore {
public:
    static constexpr std::uint16_t kNoHour = 0xFFFF;
    static constexpr std::uint32_t kNoName = 0xFFFFFFFF;
    /// Set in a pair's firstRow when its rows lie in the second segment of rows.
    static constexpr std::uint32_t kExtraRows = 0x80000000;

    /// How the source groups names in the user list: letter case of A–Z ignored (the program's
    /// schema) or not; and whether it lists pairs in the order of a (user, computer, day) index
    /// or in the order the rows were written.
    struct Grouping {
        bool namesIgnoreCase = true;
        bool keyIndexOrder = true;
    };

    /// One (user, computer) pair: its rows are [firstRow, firstRow + rowCount) in day order.
    /// `firstDay`/`firstSource` place the pair's earliest row as the source lists rows (a
    /// missing day sorts first as INT64_MIN; the source index is the row's place in reading order).
    struct Pair {
        std::uint32_t user = kNoName;
        std::uint32_t computer = kNoName;
        std::uint32_t firstRow = 0;
        std::uint32_t rowCount = 0;
        std::int64_t firstDay = 0;
        std::uint64_t firstSource = 0;
    };

    /// A leaf page of the Activity table in the file the rows were read from: the rows whose row
    /// id is above `low` and at most `high` lie on it (`low` INT64_MIN: from the first row id on),
    /// and `sum` is the checksum of its bytes. The leaves of a table, in row id order, leave no
    /// row id out.
    struct SourceLeaf {
        std::uint32_t page = 0;
        std::uint32_t reserved = 0;
        std::int64_t low = 0;
        std::int64_t high = 0;
        std::uint64_t sum = 0;
    };
    /// Where the rows lie in the SQLite file they were read from, so that a later state of the file
    /// can be compared page by page. `pageSize` 0: not known (the store is then only read again whole).
    struct SourcePages {
        std::uint32_t pageSize = 0;
        std::uint32_t root = 0; ///< the Activity table's root page
        const SourceLeaf* leaves = nullptr;
        std::size_t leafCount = 0;
    };

    /// The figures of every row of one day, per hour.
    struct DayFigures {
        std::int64_t sum[24];
        std::int32_t count[24];
        std::uint16_t max[24];
        std::uint16_t min[24];     ///< kNoHour where count is 0
        std::int32_t maxCount[24]; ///< rows holding the largest value
        std::int32_t minCount[24]; ///< rows holding the smallest value

        /// No row yet.
        static DayFigures none();
        /// Adds a row's hours (kNoHour: empty).
        void add(const std::uint16_t* hours);
    };

    /// Collects rows in source order, checks every value and makes the store.
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
        /// The same with the names as ids from userId() and computerId().
        void add(const ActivityValue& day, std::uint32_t user, std::uint32_t computer,
                 const std::array<ActivityValue, 24>& hours);
        /// A row already known to hold a whole day and hours of 0 … 3600 or kNoHour.
        void addChecked(std::int64_t day, std::uint32_t user, std::uint32_t computer,
                        const std::uint16_t* hours);
        /// Ids of names by their UTF-8 bytes (nullptr: a missing name); a name is kept once.
        std::uint32_t userId(const char* utf8, std::size_t size);
        std::uint32_t computerId(const char* utf8, std::size_t size);
        std::size_t rowCount() const;
        /// The row id of the row added last, in the file it was read from; given for every row or
        /// for none. The rows must then come in row id order.
        void setRowSource(std::int64_t rowId);
        /// Where the rows lie in their file: kept by the store only when every row had a row id
        /// and every row is kept (a row without a day counts only for the user list).
        void setSourcePages(std::uint32_t pageSize, std::uint32_t root, std::vector<SourceLeaf> leaves);
        /// Sorts the rows into their pairs in place (no second copy of the rows) and hands them
        /// to the store.
        std::shared_ptr<const ActivityStore> finish();

    private:
        struct Data;
        std::unique_ptr<Data> d;
    };

    /// The columns a store answers from; for a mapped store they point into the saved copy.
    struct Columns {
        const std::int32_t* rowDay = nullptr;
        const std::uint16_t* rowHours = nullptr; ///< 24 per row
        std::size_t rows = 0;
        const Pair* pairs = nullptr; ///< by user id, then computer id
        std::size_t pairCount = 0;
        const std::int32_t* days = nullptr; ///< distinct days of the rows, ascending
        const DayFigures* dayFigures = nullptr;
        const std::int64_t* runningTotal = nullptr; ///< seconds of every day up to and including this one
        std::size_t dayCount = 0;
        /// A second segment of rows, of a store brought up to date without copying the rows it
        /// kept: the rows of a pair whose firstRow has kExtraRows set lie here (at firstRow
        /// without that bit).
        const std::int32_t* extraDay = nullptr;
        const std::uint16_t* extraHours = nullptr;
        const std::int64_t* extraSource = nullptr;
        std::size_t extraRows = 0;
        const std::int64_t* rowSource = nullptr; ///< each row's row id in its file; null: not known
        std::uint64_t rowSourceSum = 0; ///< a saved copy's checksum of the row ids (0: none to check)
        SourcePages source;
    };

    /// A store over columns that `owner` keeps alive. `blockSums` (one per kBlockRows rows, may
    /// be null) are checked against the rows of a block the first time a query reads it.
    ActivityStore(Grouping grouping, std::vector<QString> users, std::vector<QString> computers,
                  Columns columns, std::shared_ptr<const void> owner,
                  const std::uint64_t* blockSums = nullptr, const std::uint64_t* extraBlockSums = nullptr,
                  std::shared_ptr<const void> firstRowsOwner = nullptr);
    ~ActivityStore();
    ActivityStore(const ActivityStore&) = delete;
    ActivityStore& operator=(const ActivityStore&) = delete;

    /// Rows per checked block of a saved copy.
    static constexpr std::size_t kBlockRows = 8192;
    /// The checksum of a block's rows, as the saved copy stores it.
    static std::uint64_t blockChecksum(const std::int32_t* days, const std::uint16_t* hours,
                                       std::size_t rows);
    /// The checksum the saved copy uses for every other part.
    static std::uint64_t checksum(const void* data, std::size_t size);

    /// The answer to `query`. Throws StoreDamaged when a block of a saved copy it reads is damaged.
    ActivityAnswer answer(const ActivityQuery& query) const;

    /// The rows of one pair (or part of them): rows [from, to) of `day` and `hours` (24 a row).
    struct RowSpan {
        const std::int32_t* day = nullptr;
        const std::uint16_t* hours = nullptr;
        const std::int64_t* source = nullptr;
        std::size_t from = 0;
        std::size_t to = 0;
    };
    /// Every row of `pair`, checked against its blocks' checksums first (StoreDamaged when damaged).
    RowSpan rowsOf(const Pair& pair) const;
    /// Checks rows [from, to) of a segment against their blocks' checksums (once per block).
    void checkBlocks(bool extra, std::size_t from, std::size_t to) const;

    /// What keeps the first segment of rows (and its block checksums) alive.
    std::shared_ptr<const void> firstRowsOwner() const {
        return m_firstRowsOwner ? m_firstRowsOwner : m_owner;
    }
    /// The block checksums of the (first segment of) rows of a saved copy; null in memory.
    const std::uint64_t* blockSums() const { return m_blockSums; }
    /// Rows in the second segment.
    std::size_t extraRowCount() const { return m_columns.extraRows; }
    std::size_t rowCount() const { return m_columns.rows; }
    const Columns& columns() const { return m_columns; }
    const std::vector<QString>& users() const { return m_users; }
    const std::vector<QString>& computers() const { return m_computers; }
    Grouping grouping() const { return m_grouping; }
    /// Bytes of the store's own memory (a mapped copy counts only its names).
    std::size_t memoryBytes() const;

private:
    std::vector<HourGroup> hourAggregates(const ActivityQuery& query, std::int64_t& rowsRead) const;
    std::vector<std::int64_t> rangeSeconds(const ActivityQuery& query, std::int64_t& rowsRead) const;
    ActivityUserList userList() const;
    std::vector<PersonTotal> peopleTotals(const ActivityQuery& query, std::int64_t& rowsRead) const;
    /// The pairs whose names match the query's filters.
    std::vector<const Pair*> matchingPairs(const QString& user, const QString& computer) const;
    /// The rows of a pair with a day in `range`, checked against their blocks' sums first.
    RowSpan pairRows(const Pair& pair, const DayRange& range) const;

    Grouping m_grouping;
    std::vector<QString> m_users; ///< distinct names as written, sorted
    std::vector<QString> m_computers;
    Columns m_columns;
    std::shared_ptr<const void> m_owner;
    std::shared_ptr<const void> m_firstRowsOwner;
    const std::uint64_t* m_blockSums = nullptr;
    std::unique_ptr<std::atomic<std::uint8_t>[]> m_blockChecked;
    const std::uint64_t* m_extraBlockSums = nullptr;
    std::unique_ptr<std::atomic<std::uint8_t>[]> m_extraBlockChecked;
};

} // namespace tallyrow
