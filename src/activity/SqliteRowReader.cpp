#include "activity/SqliteRowReader.h"

#include "activity/FilePages.h"
#include "activity/StoreUpdate.h"

#include "datafile/Provider.h"
#include "datafile/SqliteDatabase.h"
#include "datafile/SqliteProvider.h"
#include "support/Error.h"
#include "support/StepRunner.h"

#include <QScopeGuard>

#include <sqlite3.h>

#include <array>
#include <cstring>
#include <atomic>
#include <string>
#include <thread>
#include <optional>
#include <unordered_map>
#include <vector>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

constexpr std::int64_t kDefaultSplitRows = 200'000;
// The largest file read from a copy in memory rather than under its lock (some 40 million rows),
// when the system has that much memory to spare.
constexpr std::int64_t kMemoryCopyBytes = 4LL << 30;
std::atomic<std::int64_t> gSplitRows{kDefaultSplitRows};

// The columns of a row as the reader sees them: day, user, computer, H0 … H23, then the row id.
constexpr int kDayColumn = 0;
constexpr int kUserColumn = 1;
constexpr int kComputerColumn = 2;
constexpr int kFirstHourColumn = 3;
constexpr int kRowIdColumn = 27;

// The rows with their row id under `rowId`, one of SQLite's names for it that no column of the
// table takes for itself; `condition` may name it as "ROWID".
QString selectRowsFrom(const QString& rowId, const char* condition) {
    return u"SELECT "_s + requiredActivityColumns().join(u", "_s) + u", "_s + rowId + u" FROM Activity "_s +
           QString::fromLatin1(condition).replace(u"ROWID"_s, rowId);
}

// SQLite's name for the row id that no column of Activity shadows (a column called "rowid"
// would be read in its place, and halves split by it would drop or repeat rows); empty when
// columns take all three, or when Activity has no row id (a view).
QString rowIdName(SqliteDatabase& db) {
    QStringList columns;
    const std::unique_ptr<Recordset> info = db.query(u"PRAGMA table_info(\"Activity\")"_s);
    for (; !info->atEnd(); info->next())
        columns << info->field(u"name"_s).toString().toLower();
    for (const QString& name : {u"rowid"_s, u"_rowid_"_s, u"oid"_s}) {
        if (!columns.contains(name))
            return name;
    }
    return {};
}

// Sets `v` in place: the text is only touched for text, so a row of numbers costs no string.
void readValue(ActivityValue& v, sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        v.type = ActivityValue::Type::Integer;
        v.integer = sqlite3_value_int64(value);
        break;
    case SQLITE_FLOAT:
        v.type = ActivityValue::Type::Real;
        v.real = sqlite3_value_double(value);
        break;
    case SQLITE_TEXT:
        v.type = ActivityValue::Type::Text;
        v.text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                   sqlite3_value_bytes(value));
        break;
    case SQLITE_BLOB:
        v.type = ActivityValue::Type::Blob;
        v.text = QString::fromUtf8(static_cast<const char*>(sqlite3_value_blob(value)),
                                   sqlite3_value_bytes(value));
        break;
    default:
        v.type = ActivityValue::Type::Null;
        break;
    }
}

// How the file's own queries group names in the user list: by the names' collation, and in the
// order of an index on (UserName, ComputerName, …) when the file has one.
ActivityStore::Grouping sqliteGrouping(SqliteDatabase& db) {
    ActivityStore::Grouping g;
    const char* collation = nullptr;
    if (sqlite3_table_column_metadata(db.handle(), "main", "Activity", "UserName", nullptr, &collation,
                                      nullptr, nullptr, nullptr) == SQLITE_OK &&
        collation) {
        g.namesIgnoreCase = qstricmp(collation, "NOCASE") == 0;
    }
    g.keyIndexOrder = false;
    const std::unique_ptr<Recordset> indexes = db.query(u"PRAGMA index_list(\"Activity\")"_s);
    for (; !indexes->atEnd(); indexes->next()) {
        const QString name = indexes->field(u"name"_s).toString();
        const std::unique_ptr<Recordset> info =
            db.query(u"PRAGMA index_info(\"%1\")"_s.arg(QString(name).replace(u'"', u"\"\""_s)));
        QStringList columns;
        for (; !info->atEnd(); info->next())
            columns << info->field(u"name"_s).toString().toLower();
        if (columns.size() >= 2 && columns[0] == u"username"_s && columns[1] == u"computername"_s)
            g.keyIndexOrder = true;
    }
    return g;
}

// The largest row id, or 0 where the table has none (a view): then there is no percentage until
// the end and no second reader.
std::int64_t lastRowId(SqliteDatabase& db, const QString& rowId) {
    if (rowId.isEmpty())
        return 0;
    try {
        const std::unique_ptr<Recordset> last = db.query(u"SELECT max(%1) FROM \"Activity\""_s.arg(rowId));
        return last->atEnd() ? 0 : last->field(0).toLongLong();
    } catch (const Error&) {
        return 0;
    }
}

bool writeAheadLog(SqliteDatabase& db) {
    const std::unique_ptr<Recordset> mode = db.query(u"PRAGMA journal_mode"_s);
    return !mode->atEnd() && mode->field(0).toString().compare(u"wal"_s, Qt::CaseInsensitive) == 0;
}

// Names as ids of one reader's own table, in the order they are first met.
class NameTable {
public:
    std::uint32_t id(sqlite3_value* value) {
        if (sqlite3_value_type(value) == SQLITE_NULL)
            return ActivityStore::kNoName;
        // Names are kept as text; a number in a name column counts as its text, as it compares.
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        std::string name(text, std::size_t(sqlite3_value_bytes(value)));
        const auto [it, added] = m_ids.try_emplace(std::move(name), std::uint32_t(m_names.size()));
        if (added)
            m_names.push_back(&it->first);
        return it->second;
    }
    // The builder's ids of this table's names, taken in the order they were met.
    std::vector<std::uint32_t> builderIds(ActivityStore::Builder& builder,
                                          std::uint32_t (ActivityStore::Builder::*id)(const char*,
                                                                                      std::size_t)) const {
        std::vector<std::uint32_t> ids;
        ids.reserve(m_names.size());
        for (const std::string* name : m_names)
            ids.push_back((builder.*id)(name->data(), name->size()));
        return ids;
    }

private:
    std::unordered_map<std::string, std::uint32_t> m_ids;
    std::vector<const std::string*> m_names;
};

// One row as the second reader keeps it until the first can take it: a day and hours that are
// plain whole numbers in range. A row holding anything else ends the second reader's part, and
// the first reads it (and the rows after it) itself, so a refusal names the same row as a
// reading by one connection would.
struct CompactRow {
    std::int64_t rowId;
    std::int64_t day;
    std::uint32_t user;
    std::uint32_t computer;
    std::array<std::uint16_t, 24> hours;
};

bool compactValue(sqlite3_value* value, std::uint16_t& out) {
    const int type = sqlite3_value_type(value);
    if (type == SQLITE_NULL) {
        out = ActivityStore::kNoHour;
        return true;
    }
    if (type != SQLITE_INTEGER)
        return false;
    const sqlite3_int64 v = sqlite3_value_int64(value);
    if (v < 0 || v > 3600)
        return false; // the builder's check names the row and the value
    out = std::uint16_t(v);
    return true;
}

// Opens another connection to what the rows are read from, in a read transaction.
using Opener = std::function<std::shared_ptr<SqliteDatabase>()>;

// The rows above a row id, read on a connection of its own on a thread of its own.
class SecondReader {
public:
    SecondReader(Opener open, QString rowId, std::int64_t afterRowId)
        : m_open(std::move(open)), m_rowId(std::move(rowId)), m_resumeAt(afterRowId + 1) {
        m_thread = std::thread([this] { run(); });
    }
    ~SecondReader() {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    SecondReader(const SecondReader&) = delete;
    SecondReader& operator=(const SecondReader&) = delete;

    std::int64_t rowsRead() const { return m_rowsRead.load(std::memory_order_relaxed); }
    void stop() { m_stop.store(true); }

    // Waits for the reader and hands its rows to `builder`; returns the first row id it did not
    // deliver (the first reader goes on from there).
    std::int64_t deliver(ActivityStore::Builder& builder) {
        m_thread.join();
        const std::vector<std::uint32_t> users = m_users.builderIds(builder, &ActivityStore::Builder::userId);
        const std::vector<std::uint32_t> computers =
            m_computers.builderIds(builder, &ActivityStore::Builder::computerId);
        auto nameId = [](const std::vector<std::uint32_t>& ids, std::uint32_t local) {
            return local == ActivityStore::kNoName ? local : ids[local];
        };
        // Chunk by chunk, each let go once handed over: the rows are never held twice.
        for (std::vector<CompactRow>& chunk : m_chunks) {
            for (const CompactRow& row : chunk) {
                builder.addChecked(row.day, nameId(users, row.user), nameId(computers, row.computer),
                                   row.hours.data());
                builder.setRowSource(row.rowId);
            }
            std::vector<CompactRow>().swap(chunk); // its memory goes back now, not at the end
        }
        m_chunks.clear();
        return m_resumeAt;
    }

private:
    void run() {
        // A failure here only means the first reader reads these rows itself.
        ignoringFailures([this] { read(); });
    }
    void read() {
        const std::shared_ptr<SqliteDatabase> db = m_open();
        SqliteDatabase::Statement stmt = db->prepare(selectRowsFrom(m_rowId, "WHERE ROWID >= ?1"));
        sqlite3_stmt* st = stmt.get();
        sqlite3_bind_int64(st, 1, m_resumeAt);
        while (!m_stop.load(std::memory_order_relaxed) && sqlite3_step(st) == SQLITE_ROW) {
            CompactRow row{};
            sqlite3_value* day = sqlite3_column_value(st, kDayColumn);
            bool plain = sqlite3_value_type(day) == SQLITE_INTEGER;
            row.day = sqlite3_value_int64(day);
            for (int h = 0; plain && h < 24; ++h)
                plain =
                    compactValue(sqlite3_column_value(st, kFirstHourColumn + h), row.hours[std::size_t(h)]);
            if (!plain)
                break;
            row.user = m_users.id(sqlite3_column_value(st, kUserColumn));
            row.computer = m_computers.id(sqlite3_column_value(st, kComputerColumn));
            if (m_chunks.empty() || m_chunks.back().size() == kChunkRows) {
                m_chunks.emplace_back();
                m_chunks.back().reserve(kChunkRows);
            }
            row.rowId = sqlite3_column_int64(st, kRowIdColumn);
            m_chunks.back().push_back(row);
            m_resumeAt = row.rowId + 1;
            m_rowsRead.fetch_add(1, std::memory_order_relaxed);
        }
        // Whatever ended the loop, the rows from m_resumeAt on are the first reader's.
        stmt.reset();
        db->exec(u"COMMIT"_s);
    }

    Opener m_open;
    QString m_rowId;
    std::int64_t m_resumeAt;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_rowsRead{0};
    // Chunks of 64 MB: above the size malloc ever keeps in its heap, so each goes back to the
    // system as soon as the builder has taken its rows.
    static constexpr std::size_t kChunkRows = 1 << 20;
    std::vector<std::vector<CompactRow>> m_chunks;
    NameTable m_users;
    NameTable m_computers;
    std::thread m_thread;
};

// The first few faults SQLite's quick check finds in the Activity table and its indexes, one
// after another, or "ok".
QString structureFinding(SqliteDatabase& db) {
    constexpr int kFaultsTold = 3;
    const std::unique_ptr<Recordset> found = db.query(u"PRAGMA quick_check(\"Activity\")"_s);
    QStringList faults;
    bool more = false;
    for (; !found->atEnd(); found->next()) {
        for (const QString& line : found->field(0).toString().split(u'\n', Qt::SkipEmptyParts)) {
            if (line.startsWith(u"***"_s))
                continue; // "*** in database main ***"
            if (faults.size() == kFaultsTold)
                more = true;
            else
                faults << line;
        }
    }
    if (faults.isEmpty() || faults == QStringList{u"ok"_s})
        return u"ok"_s;
    return faults.join(u"; "_s) + (more ? u"; …"_s : QString());
}

// SQLite's own check of the table's and its indexes' pages (PRAGMA quick_check), run on a
// connection and thread of its own beside the read of the rows. Its answer counts only when its
// transaction shows the state the rows are read from; otherwise the reader checks itself.
class StructureCheck {
public:
    // `showsState` says whether a connection `open` has just opened shows the rows' state.
    StructureCheck(Opener open, std::function<bool()> showsState)
        : m_open(std::move(open)), m_showsState(std::move(showsState)) {
        m_thread = std::thread([this] { ignoringFailures([this] { run(); }); });
    }
    ~StructureCheck() {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    StructureCheck(const StructureCheck&) = delete;
    StructureCheck& operator=(const StructureCheck&) = delete;

    // What the check found ("ok" when sound), or nothing when it did not check the same state.
    std::optional<QString> finding() {
        m_thread.join();
        return m_finding;
    }

private:
    void run() {
        const std::shared_ptr<SqliteDatabase> db = m_open();
        if (!m_showsState())
            return;
        db->stopWhen([this] { return !m_stop.load(); });
        m_finding = structureFinding(*db);
    }

    Opener m_open;
    std::function<bool()> m_showsState;
    std::atomic<bool> m_stop{false};
    std::optional<QString> m_finding;
    std::thread m_thread;
};

// Reads the rows `sql` selects (with `bound` row ids bound in order) into the builder, each with
// its row id when `sourced`. False when
// `keepGoing` said stop.
bool readRows(SqliteDatabase& db, const QString& sql, const std::vector<std::int64_t>& bound, bool sourced,
              ActivityStore::Builder& builder, const std::function<bool(std::int64_t)>& keepGoing) {
    SqliteDatabase::Statement stmt = db.prepare(sql);
    sqlite3_stmt* st = stmt.get();
    for (std::size_t i = 0; i < bound.size(); ++i)
        sqlite3_bind_int64(st, int(i + 1), bound[i]);
    std::array<ActivityValue, 24> hours;
    std::array<std::uint16_t, 24> plainHours{};
    ActivityValue day;
    std::int64_t rows = 0;
    // The last name of each column and its id: a name met again in the next row is not looked up.
    std::array<std::string, 2> lastName;
    std::array<std::uint32_t, 2> lastId{ActivityStore::kNoName, ActivityStore::kNoName};
    auto name = [&](int i, std::size_t slot, auto id) {
        // Names are kept as text; a number in a name column counts as its text, as it compares.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        if (!text)
            return ActivityStore::kNoName;
        const auto size = std::size_t(sqlite3_column_bytes(st, i));
        if (lastId[slot] != ActivityStore::kNoName && lastName[slot].size() == size &&
            std::memcmp(lastName[slot].data(), text, size) == 0)
            return lastId[slot];
        lastName[slot].assign(text, size);
        lastId[slot] = std::invoke(id, builder, text, size);
        return lastId[slot];
    };
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const std::uint32_t user = name(kUserColumn, 0, &ActivityStore::Builder::userId);
        const std::uint32_t computer = name(kComputerColumn, 1, &ActivityStore::Builder::computerId);
        sqlite3_value* dayValue = sqlite3_column_value(st, kDayColumn);
        bool plain = sqlite3_value_type(dayValue) == SQLITE_INTEGER;
        for (int h = 0; plain && h < 24; ++h)
            plain = compactValue(sqlite3_column_value(st, kFirstHourColumn + h), plainHours[std::size_t(h)]);
        if (plain) {
            builder.addChecked(sqlite3_value_int64(dayValue), user, computer, plainHours.data());
        } else {
            readValue(day, dayValue);
            for (int h = 0; h < 24; ++h)
                readValue(hours[std::size_t(h)], sqlite3_column_value(st, kFirstHourColumn + h));
            builder.add(day, user, computer, hours);
        }
        if (sourced)
            builder.setRowSource(sqlite3_column_int64(st, kRowIdColumn));
        if ((++rows & 0x3FFF) == 0 && keepGoing && !keepGoing(rows))
            return false;
    }
    if (rc != SQLITE_DONE && db.stoppedByCaller())
        return false;
    if (rc != SQLITE_DONE)
        throw Error(ErrNo::DataSource, db.lastError());
    return true;
}

// Every row, by one connection, or by two where the file is large and kept with a rollback
// journal. False when `progress` said stop.
bool readAllRows(SqliteDatabase& db, const Opener& another, const QString& rowId, std::int64_t lastRow,
                 ActivityStore::Builder& builder, const std::function<bool(int)>& progress) {
    const auto percent = [lastRow](std::int64_t rows) {
        return lastRow > 0 ? int(std::min<std::int64_t>(89, rows * 90 / lastRow)) : 0;
    };
    const bool split = !rowId.isEmpty() && lastRow >= sqliteSplitReadRows() &&
                       std::thread::hardware_concurrency() > 1 && !writeAheadLog(db);
    if (!split) {
        return readRows(db, selectRowsFrom(rowId.isEmpty() ? u"NULL"_s : rowId, ""), {}, !rowId.isEmpty(),
                        builder, [&](std::int64_t rows) { return !progress || progress(percent(rows)); });
    }
    const std::int64_t middle = lastRow / 2;
    SecondReader second(another, rowId, middle);
    const bool whole = readRows(db, selectRowsFrom(rowId, "WHERE ROWID <= ?1"), {middle}, true, builder,
                                [&](std::int64_t rows) {
                                    const bool go = !progress || progress(percent(rows + second.rowsRead()));
                                    if (!go)
                                        second.stop();
                                    return go;
                                });
    if (!whole)
        return false;
    const std::int64_t resumeAt = second.deliver(builder);
    const std::int64_t before = lastRow - resumeAt;
    return readRows(
        db, selectRowsFrom(rowId, "WHERE ROWID >= ?1"), {resumeAt}, true, builder,
        [&](std::int64_t rows) { return !progress || progress(percent(lastRow - before + rows)); });
}

// Opens the file for reading and sets `stamp` to the committed state the read transaction shows.
// With a rollback journal the stamp taken inside the transaction is exact: no writer changes the
// file while the shared lock is held. With a write-ahead log a commit may land between the look
// at the wal-index and the start of the snapshot, either way round; the read's stamp is trusted
// only when the look before it began agrees, and otherwise the transaction starts again. A file
// that never stays still that long gets a stamp of no state (size -1).
std::shared_ptr<SqliteDatabase> beginStampedRead(const QString& path, DataFileStamp& stamp) {
    constexpr int kTries = 4;
    DataFileStamp before = stampDataFile(path);
    for (int attempt = 1;; ++attempt) {
        std::shared_ptr<SqliteDatabase> db = openDataFileForReading(path);
        stamp = stampDataFile(path);
        if (stamp.size >= 0 && stamp.sameLogState(before))
            return db;
        if (attempt == kTries) {
            stamp = DataFileStamp{};
            return db;
        }
        before = stamp;
    }
}

// Refuses the file when SQLite's own check of the Activity table and its indexes finds a fault:
// a damaged page can read back as rows of nothing rather than fail.
void refuseWhenDamaged(const QString& path, const QString& finding) {
    if (finding != u"ok"_s)
        throw Error(ErrNo::DataSource,
                    u"No report is made from the data file \"%1\": it is damaged (SQLite's own check of it "
                    "found: %2), and figures read from it could be wrong."_s.arg(path, finding));
}

// The Activity table's root page, or 0 where it has none (a view).
std::uint32_t activityRootPage(SqliteDatabase& db) {
    const std::unique_ptr<Recordset> root = db.query(
        u"SELECT rootpage FROM sqlite_master WHERE type = 'table' AND name = 'Activity' COLLATE NOCASE"_s);
    return root->atEnd() ? 0 : std::uint32_t(root->field(0).toLongLong());
}

// Where the rows lie in `file` (the data file, or a private copy of it), as a read transaction of
// the state `state` shows them: kept with the store so that a later state is read by the pages
// that changed. Nothing is kept when the pages cannot be read as SQLite lays them out.
void recordSourcePages(SqliteDatabase& db, const QString& file, const DataFileStamp& state, bool ownFile,
                       ActivityStore::Builder& builder) {
    const std::uint32_t root = activityRootPage(db);
    if (root == 0)
        return;
    const std::optional<FilePages> pages = FilePages::open(file, state, ownFile);
    if (!pages)
        return;
    if (std::optional<std::vector<ActivityStore::SourceLeaf>> leaves = pages->tableLeaves(root, true))
        builder.setSourcePages(pages->pageSize(), root, std::move(*leaves));
}

} // namespace

std::int64_t sqliteSplitReadRows() {
    return gSplitRows.load();
}

void setSqliteSplitReadRows(std::int64_t rows) {
    gSplitRows.store(rows > 0 ? rows : kDefaultSplitRows);
}

// Opens the file read-only and reads it under the file's locks, in one read transaction (a
// writer busy past the timeout, or a crashed writer's journal, is refused, never read around);
// nothing is ever written to the file.
std::shared_ptr<const ActivityStore>
readSqliteStore(const QString& path, const std::function<bool(int)>& progress, DataFileStamp* stateRead) {
    // With a rollback journal, every moment of the read keeps the writer from committing: a file
    // of moderate size is copied into memory, piece by piece, and read from there. A commit
    // between two pieces starts the copy again; the last try copies under one lock.
    constexpr int kCopyTries = 3;
    DataFileStamp stamp;
    std::shared_ptr<SqliteDatabase> dbHolder;
    std::optional<MemorySnapshot> copy;
    for (int attempt = 1; attempt <= kCopyTries; ++attempt) {
        dbHolder = beginStampedRead(path, stamp);
        bool changed = false;
        copy = snapshotIntoMemory(path, kMemoryCopyBytes, attempt < kCopyTries ? dbHolder.get() : nullptr,
                                  &changed);
        if (!changed)
            break;
        dbHolder->exec(u"COMMIT"_s);
    }
    if (stateRead)
        *stateRead = stamp;
    // Not the usual wait for a busy writer: one waiting to commit waits for the first reader,
    // which would then wait for the second.
    Opener another = [path] { return openDataFileForReading(path, std::chrono::milliseconds(0)); };
    QString pagesFile = path;
    DataFileStamp pagesState = stamp;
    bool ownFile = false;
    std::function<bool()> showsState = [path, stamp] {
        const DataFileStamp seen = stampDataFile(path);
        return seen.size >= 0 && stamp.size >= 0 && seen.sameLogState(stamp);
    };
    if (copy) {
        dbHolder->exec(u"COMMIT"_s);
        dbHolder = copy->db;
        another = copy->another;
        pagesFile = copy->file;
        pagesState = DataFileStamp{};
        ownFile = true;
        showsState = [] { return true; };
    }
    SqliteDatabase& db = *dbHolder;
    // Cancel stops a query that gives no rows for long as well (a view that takes its time).
    int lastPercent = 0;
    const auto reportedProgress = [&](int p) {
        lastPercent = p;
        return !progress || progress(p);
    };
    db.stopWhen([&] { return reportedProgress(lastPercent); });
    checkActivityTable(db, path);
    try {
        ActivityStore::Builder builder(sqliteGrouping(db));
        const QString rowId = rowIdName(db);
        const std::int64_t lastRow = lastRowId(db, rowId);
        if (lastRow > 0 && lastRow < (std::int64_t(1) << 31))
            builder.reserve(std::size_t(lastRow));
        // A view has no pages of its own to check.
        std::optional<StructureCheck> check;
        if (!rowId.isEmpty())
            check.emplace(another, showsState);
        const bool whole = readAllRows(db, another, rowId, lastRow, builder, reportedProgress);
        if (whole && check) {
            const std::optional<QString> finding = check->finding();
            refuseWhenDamaged(path, finding ? *finding : structureFinding(db));
        }
        if (whole && !rowId.isEmpty() && stamp.size >= 0)
            recordSourcePages(db, pagesFile, pagesState, ownFile, builder);
        db.exec(u"COMMIT"_s);
        return whole ? builder.finish() : nullptr;
    } catch (...) {
        ignoringFailures([&] { db.exec(u"COMMIT"_s); });
        throw;
    }
}

} // namespace tallyrow

namespace tallyrow {

namespace {

// Changed leaves past this share of all are read as a whole file is: reading them one range after
// another would cost more.
constexpr std::size_t kMostChangedShare = 4;

// Whether a later stamp's log continues the earlier one's: the same log (its salts are drawn anew
// whenever a log starts over), holding frames then and grown by commits since, whose frames then
// name every page written since. A log of no frames has no salts of its own yet.
bool logContinues(const DataFileStamp& earlier, const DataFileStamp& later) {
    return earlier.walSize == 0 && later.walSize == 0 && earlier.walFrames > 0 &&
           earlier.walSalt1 == later.walSalt1 && earlier.walSalt2 == later.walSalt2 &&
           earlier.walFrames <= later.walFrames;
}

// The leaves of the table now, each with its checksum, and the row id ranges of those that are
// not, byte for byte and place for place, leaves of the earlier state.
std::optional<std::vector<RowIdRange>> changedRanges(const FilePages& pages, const DataFileStamp& earlier,
                                                     const DataFileStamp& now,
                                                     const ActivityStore::SourcePages& before,
                                                     std::vector<ActivityStore::SourceLeaf>& leaves,
                                                     const std::function<bool()>& between) {
    const ActivityStore::SourceLeaf* first = before.leaves;
    const ActivityStore::SourceLeaf* last = before.leaves + before.leafCount;
    const auto earlierLeaf = [&](const ActivityStore::SourceLeaf& leaf) -> const ActivityStore::SourceLeaf* {
        const auto* at =
            std::lower_bound(first, last, leaf.low, [](const ActivityStore::SourceLeaf& l, std::int64_t low) {
                return l.low < low;
            });
        return at != last && at->low == leaf.low && at->high == leaf.high && at->page == leaf.page ? at
                                                                                                   : nullptr;
    };
    std::vector<char> same(leaves.size(), 0);
    if (logContinues(earlier, now)) {
        // Only pages the log holds since then can differ: the others keep their checksums.
        const std::vector<std::uint32_t> logged = pages.pagesLoggedAfter(earlier.walFrames);
        std::vector<ActivityStore::SourceLeaf> toSum;
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            const ActivityStore::SourceLeaf* old = earlierLeaf(leaves[i]);
            if (old && !std::binary_search(logged.begin(), logged.end(), leaves[i].page)) {
                leaves[i].sum = old->sum;
                same[i] = 1;
            } else {
                toSum.push_back(leaves[i]);
                at.push_back(i);
            }
        }
        if (!pages.sumLeaves(toSum))
            return std::nullopt;
        for (std::size_t k = 0; k < toSum.size(); ++k) {
            leaves[at[k]].sum = toSum[k].sum;
            const ActivityStore::SourceLeaf* old = earlierLeaf(leaves[at[k]]);
            same[at[k]] = old && old->sum == toSum[k].sum ? 1 : 0;
        }
    } else {
        if (!pages.sumLeaves(leaves, between))
            return std::nullopt;
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            const ActivityStore::SourceLeaf* old = earlierLeaf(leaves[i]);
            same[i] = old && old->sum == leaves[i].sum ? 1 : 0;
        }
    }
    std::vector<RowIdRange> ranges;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        if (same[i])
            continue;
        ++changed;
        if (!ranges.empty() && ranges.back().high == leaves[i].low)
            ranges.back().high = leaves[i].high;
        else
            ranges.push_back({leaves[i].low, leaves[i].high});
    }
    if (changed * kMostChangedShare > leaves.size() + kMostChangedShare)
        return std::nullopt;
    return ranges;
}

// The rows of the ranges, each with its row id, into `builder`.
void readRanges(SqliteDatabase& db, const QString& rowId, const std::vector<RowIdRange>& ranges,
                ActivityStore::Builder& builder) {
    const QString bounded = selectRowsFrom(rowId, "WHERE ROWID > ?1 AND ROWID <= ?2");
    const QString fromFirst = selectRowsFrom(rowId, "WHERE ROWID <= ?1");
    for (const RowIdRange& r : ranges) {
        if (r.low == INT64_MIN)
            readRows(db, fromFirst, {r.high}, true, builder, {});
        else
            readRows(db, bounded, {r.low, r.high}, true, builder, {});
    }
}

} // namespace

namespace {

// What changed since an earlier state: the row id ranges read again, the rows they hold now and
// the table's leaves now.
struct ChangedRows {
    std::vector<RowIdRange> ranges;
    std::shared_ptr<const ActivityStore> rows;
    std::vector<ActivityStore::SourceLeaf> leaves;
};

// Finds and reads what changed in the file since `earlierState`, in one state of it (`stamp`
// gets it). A rollback-journal file's pages are compared in pieces, each in a read transaction of
// its own so a writer waits for one piece at most; `changed` is set when a commit came between
// them. Nothing when the change cannot be bounded.
std::optional<ChangedRows> readChangedRows(const QString& path, const ActivityStore& earlier,
                                           const DataFileStamp& earlierState, DataFileStamp& stamp,
                                           bool& changed) {
    const ActivityStore::Columns& c = earlier.columns();
    std::shared_ptr<SqliteDatabase> dbHolder = beginStampedRead(path, stamp);
    SqliteDatabase& db = *dbHolder;
    const auto end = qScopeGuard([&] { ignoringFailures([&] { db.exec(u"COMMIT"_s); }); });
    if (stamp.size < 0 || stamp.device != earlierState.device || stamp.inode != earlierState.inode)
        return std::nullopt;
    checkActivityTable(db, path);
    const ActivityStore::Grouping g = sqliteGrouping(db);
    const QString rowId = rowIdName(db);
    std::optional<FilePages> pages = FilePages::open(path, stamp, false);
    if (g.namesIgnoreCase != earlier.grouping().namesIgnoreCase ||
        g.keyIndexOrder != earlier.grouping().keyIndexOrder || rowId.isEmpty() || !pages ||
        pages->pageSize() != c.source.pageSize || activityRootPage(db) != c.source.root)
        return std::nullopt;
    std::optional<std::vector<ActivityStore::SourceLeaf>> leaves = pages->tableLeaves(c.source.root, false);
    if (!leaves)
        return std::nullopt;
    std::function<bool()> between;
    if (stamp.walSize < 0) {
        between = [&] {
            db.exec(u"COMMIT"_s);
            db.exec(u"BEGIN"_s);
            db.query(u"SELECT count(*) FROM sqlite_master"_s);
            changed = !(stampDataFile(path) == stamp);
            return !changed;
        };
    }
    std::optional<std::vector<RowIdRange>> ranges =
        changedRanges(*pages, earlierState, stamp, c.source, *leaves, between);
    if (!ranges)
        return std::nullopt;
    ActivityStore::Builder builder(g);
    readRanges(db, rowId, *ranges, builder);
    const std::size_t read = builder.rowCount();
    ChangedRows found{std::move(*ranges), builder.finish(), std::move(*leaves)};
    // A row without a day counts for the user list only: such a file is read whole.
    if (found.rows->rowCount() != read || !pages->logUnchanged())
        return std::nullopt;
    return found;
}

} // namespace

std::shared_ptr<const ActivityStore> updateSqliteStore(const QString& path, const ActivityStore& earlier,
                                                       const DataFileStamp& earlierState,
                                                       DataFileStamp& stateRead) {
    constexpr int kTries = 3;
    const ActivityStore::Columns& c = earlier.columns();
    if (c.source.pageSize == 0 || !c.rowSource ||
        (c.rowSourceSum != 0 && ActivityStore::checksum(c.rowSource, c.rows * 8) != c.rowSourceSum))
        return nullptr;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        DataFileStamp stamp;
        bool changed = false;
        std::optional<ChangedRows> found = readChangedRows(path, earlier, earlierState, stamp, changed);
        if (changed)
            continue;
        if (!found)
            return nullptr;
        // Merged after the read transaction ends: the writer never waits for it.
        stateRead = stamp;
        return mergeStore(earlier, found->ranges, *found->rows, std::move(found->leaves));
    }
    return nullptr;
}

} // namespace tallyrow
