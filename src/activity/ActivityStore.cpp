#include "activity/ActivityStore.h"

#include "activity/OwnedColumns.h"

#include "support/Error.h"
#include "support/Printable.h"

#include <QDate>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

QString valueText(const ActivityValue& v) {
    switch (v.type) {
    case ActivityValue::Type::Null:
        return u"nothing (NULL)"_s;
    case ActivityValue::Type::Integer:
        return QString::number(v.integer);
    case ActivityValue::Type::Real:
        return QString::number(v.real, 'g', 17);
    case ActivityValue::Type::Text:
        return u"the text \"%1\""_s.arg(printable(v.text));
    case ActivityValue::Type::Blob:
        return u"binary data"_s;
    }
    return {};
}

// A whole number held as an integer or as a real without a fraction.
std::optional<std::int64_t> wholeNumber(const ActivityValue& v) {
    if (v.type == ActivityValue::Type::Integer)
        return v.integer;
    if (v.type == ActivityValue::Type::Real && std::isfinite(v.real) && std::floor(v.real) == v.real &&
        std::fabs(v.real) < 9.0e18)
        return static_cast<std::int64_t>(v.real);
    return std::nullopt;
}

// The key the source's user list groups and orders a name by: its UTF-8 bytes, A–Z folded to
// lower case when the column ignores case (as the file's collation does).
QByteArray groupKey(const QString& name, bool ignoreCase) {
    QByteArray key = name.toUtf8();
    if (ignoreCase) {
        for (char& c : key) {
            if (c >= 'A' && c <= 'Z')
                c = char(c + 32);
        }
    }
    return key;
}

struct BytesHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using NameIds = std::unordered_map<std::string, std::uint32_t, BytesHash, std::equal_to<>>;

std::uint32_t internName(std::string_view utf8, NameIds& ids, std::vector<QString>& names) {
    const auto it = ids.find(utf8);
    if (it != ids.end())
        return it->second;
    const auto id = static_cast<std::uint32_t>(names.size());
    ids.emplace(std::string(utf8), id);
    names.push_back(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
    return id;
}

// Sorts a name table and returns old id → new id.
std::vector<std::uint32_t> sortNames(std::vector<QString>& names) {
    std::vector<std::uint32_t> order(names.size());
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return names[a] < names[b]; });
    std::vector<std::uint32_t> newId(names.size());
    std::vector<QString> sorted(names.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        newId[order[i]] = i;
        sorted[i] = std::move(names[order[i]]);
    }
    names = std::move(sorted);
    return newId;
}

// Rank of each name's group key (equal keys share a rank).
std::vector<std::int64_t> keyRanks(const std::vector<QString>& names, bool ignoreCase) {
    std::vector<QByteArray> keys(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        keys[i] = groupKey(names[i], ignoreCase);
    std::vector<std::uint32_t> order(names.size());
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    std::vector<std::int64_t> rank(names.size());
    std::int64_t r = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && keys[order[i]] != keys[order[i - 1]])
            ++r;
        rank[order[i]] = r;
    }
    return rank;
}

// Rearranges `records` (each `width` values) so that record k holds what record order[k] held,
// in place: a second copy of the rows would double the memory a large file needs. `order` must
// be a permutation of 0 … n-1.
template <typename T>
void permuteInPlace(std::vector<T>& records, std::size_t width, const std::vector<std::uint32_t>& order) {
    const std::size_t n = order.size();
    std::vector<bool> done(n);
    std::vector<T> held(width);
    for (std::size_t start = 0; start < n; ++start) {
        if (done[start] || order[start] == start) {
            done[start] = true;
            continue;
        }
        std::copy_n(&records[start * width], width, held.begin());
        std::size_t at = start;
        for (;;) {
            done[at] = true;
            const std::size_t from = order[at];
            if (from == start) {
                std::copy_n(held.begin(), width, &records[at * width]);
                break;
            }
            std::copy_n(&records[from * width], width, &records[at * width]);
            at = from;
        }
    }
}

// Gives a vector's memory back at once (`v = {}` would keep it, as clear() does).
template <typename T> void release(std::vector<T>& v) {
    std::vector<T>().swap(v);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Building

ActivityStore::DayFigures ActivityStore::DayFigures::none() {
    DayFigures f;
    std::memset(&f, 0, sizeof f);
    std::fill(std::begin(f.min), std::end(f.min), kNoHour);
    return f;
}

void ActivityStore::DayFigures::add(const std::uint16_t* hours) {
    for (std::size_t k = 0; k < 24; ++k) {
        const std::uint16_t v = hours[k];
        if (v == kNoHour)
            continue;
        sum[k] += v;
        if (count[k]++ == 0) {
            max[k] = min[k] = v;
            maxCount[k] = minCount[k] = 1;
            continue;
        }
        if (v > max[k]) {
            max[k] = v;
            maxCount[k] = 0;
        }
        maxCount[k] += v == max[k] ? 1 : 0;
        if (v < min[k]) {
            min[k] = v;
            minCount[k] = 0;
        }
        minCount[k] += v == min[k] ? 1 : 0;
    }
}

struct ActivityStore::Builder::Data {
    Grouping grouping;
    NameIds userIds;
    NameIds computerIds;
    std::vector<QString> users;
    std::vector<QString> computers;
    std::vector<std::int64_t> day; ///< INT64_MIN: the row has no day
    std::vector<std::uint32_t> user;
    std::vector<std::uint32_t> computer;
    std::vector<std::uint16_t> hours;
    std::vector<std::int64_t> source; ///< row ids, when the rows have them
    std::vector<SourceLeaf> leaves;
    std::uint32_t pageSize = 0;
    std::uint32_t root = 0;

    std::vector<Pair> makePairs(std::vector<std::uint32_t>& rowPair) const;
    std::vector<std::uint32_t> rowOrder(std::vector<Pair>& pairs, std::vector<std::uint32_t>& rowPair,
                                        std::size_t& kept);
    void dayTables(OwnedColumns& c) const;
};

ActivityStore::Builder::Builder(Grouping grouping) : d(std::make_unique<Data>()) {
    d->grouping = grouping;
}

ActivityStore::Builder::~Builder() = default;

void ActivityStore::Builder::setRowSource(std::int64_t rowId) {
    d->source.push_back(rowId);
}

void ActivityStore::Builder::setSourcePages(std::uint32_t pageSize, std::uint32_t root,
                                            std::vector<SourceLeaf> leaves) {
    d->pageSize = pageSize;
    d->root = root;
    d->leaves = std::move(leaves);
}

void ActivityStore::Builder::reserve(std::size_t rows) {
    d->day.reserve(rows);
    d->user.reserve(rows);
    d->computer.reserve(rows);
    d->hours.reserve(rows * 24);
}

std::size_t ActivityStore::Builder::rowCount() const {
    return d->day.size();
}

std::uint32_t ActivityStore::Builder::userId(const char* utf8, std::size_t size) {
    return utf8 ? internName(std::string_view(utf8, size), d->userIds, d->users) : kNoName;
}

std::uint32_t ActivityStore::Builder::computerId(const char* utf8, std::size_t size) {
    return utf8 ? internName(std::string_view(utf8, size), d->computerIds, d->computers) : kNoName;
}

void ActivityStore::Builder::add(const ActivityValue& day, const ActivityValue& user,
                                 const ActivityValue& computer, const std::array<ActivityValue, 24>& hours) {
    auto bytes = [](const ActivityValue& v) {
        return v.type == ActivityValue::Type::Null ? QByteArray() : v.text.toUtf8();
    };
    const QByteArray u = bytes(user);
    const QByteArray c = bytes(computer);
    add(day, userId(user.type == ActivityValue::Type::Null ? nullptr : u.constData(), std::size_t(u.size())),
        computerId(computer.type == ActivityValue::Type::Null ? nullptr : c.constData(),
                   std::size_t(c.size())),
        hours);
}

void ActivityStore::Builder::add(const ActivityValue& day, std::uint32_t user, std::uint32_t computer,
                                 const std::array<ActivityValue, 24>& hours) {
    const auto refuse = [&](const QString& column, const ActivityValue& value, const QString& rule) {
        QString dayText = valueText(day);
        if (const auto n = wholeNumber(day); n && *n > -3'000'000 && *n < 3'000'000)
            dayText = u"%1 (%2)"_s.arg(*n).arg(QDate(2000, 1, 1).addDays(*n).toString(Qt::ISODate));
        auto nameOf = [](std::uint32_t id, const std::vector<QString>& names) {
            return id == kNoName ? u"(none)"_s : u"\"%1\""_s.arg(printable(names[id]));
        };
        throw Error(ErrNo::DataSource,
                    u"the row of day %1, user %2, computer %3 holds in %4 %5, a value the monitoring product "
                    "never writes (%6)"_s.arg(dayText, nameOf(user, d->users), nameOf(computer, d->computers),
                                              column, valueText(value), rule),
                    QString::fromLatin1(kRefusedRowSource))
            .setKind(ErrorKind::RefusedRow);
    };
    std::int64_t dayNumber = INT64_MIN;
    if (day.type != ActivityValue::Type::Null) {
        const auto n = wholeNumber(day);
        if (!n)
            refuse(u"ActiveDay"_s, day, u"days are whole numbers"_s);
        dayNumber = *n;
    }
    std::array<std::uint16_t, 24> seconds{};
    for (std::size_t h = 0; h < 24; ++h) {
        const ActivityValue& v = hours[h];
        if (v.type == ActivityValue::Type::Null) {
            seconds[h] = kNoHour;
            continue;
        }
        const auto n = wholeNumber(v);
        if (!n || *n < 0 || *n > 3600)
            refuse(u"H%1"_s.arg(h), v, u"hours hold whole seconds from 0 to 3600"_s);
        seconds[h] = static_cast<std::uint16_t>(*n);
    }
    addChecked(dayNumber, user, computer, seconds.data());
}

void ActivityStore::Builder::addChecked(std::int64_t day, std::uint32_t user, std::uint32_t computer,
                                        const std::uint16_t* hours) {
    d->day.push_back(day);
    d->user.push_back(user);
    d->computer.push_back(computer);
    d->hours.insert(d->hours.end(), hours, hours + 24);
}

// The exact (user, computer) pairs of the rows, each with its earliest row as the source lists
// them (by its key index: day, then reading order; or as written), sorted by the names' ids.
// `rowPair` gets each row's pair.
std::vector<ActivityStore::Pair>
ActivityStore::Builder::Data::makePairs(std::vector<std::uint32_t>& rowPair) const {
    const std::size_t n = day.size();
    // A row's place in reading order: its row id where rows have one (rows are read by row id).
    const bool sourced = source.size() == n;
    const auto place = [&](std::size_t i) { return sourced ? std::uint64_t(source[i]) ^ (1ULL << 63) : i; };
    std::unordered_map<std::uint64_t, std::uint32_t> index;
    std::vector<Pair> pairs;
    rowPair.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t key = (std::uint64_t(user[i]) << 32) | computer[i];
        const auto [it, added] = index.try_emplace(key, std::uint32_t(pairs.size()));
        if (added) {
            Pair p;
            p.user = user[i];
            p.computer = computer[i];
            p.firstDay = grouping.keyIndexOrder ? day[i] : 0;
            p.firstSource = place(i);
            pairs.push_back(p);
        } else if (grouping.keyIndexOrder && day[i] < pairs[it->second].firstDay) {
            // Rows come in reading order, so the first row of the earliest day is kept.
            pairs[it->second].firstDay = day[i];
            pairs[it->second].firstSource = place(i);
        }
        rowPair[i] = it->second;
    }
    // By user, then computer; a missing name (kNoName) last.
    std::vector<std::uint32_t> order(pairs.size());
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return pairs[a].user != pairs[b].user ? pairs[a].user < pairs[b].user
                                              : pairs[a].computer < pairs[b].computer;
    });
    std::vector<std::uint32_t> newIndex(pairs.size());
    std::vector<Pair> sorted(pairs.size());
    for (std::uint32_t k = 0; k < order.size(); ++k) {
        newIndex[order[k]] = k;
        sorted[k] = pairs[order[k]];
    }
    for (std::uint32_t& p : rowPair)
        p = newIndex[p];
    return sorted;
}

// The rows in pair order and by day within a pair; rows without a day, or with one no date range
// can reach, come last (they take part in the user list only). `kept` gets the number of the
// others. Fills each pair's row range.
std::vector<std::uint32_t> ActivityStore::Builder::Data::rowOrder(std::vector<Pair>& pairs,
                                                                  std::vector<std::uint32_t>& rowPair,
                                                                  std::size_t& kept) {
    const std::size_t n = day.size();
    const auto reachable = [&](std::size_t i) { return day[i] >= INT32_MIN && day[i] <= INT32_MAX; };
    std::vector<std::uint32_t> start(pairs.size() + 1, 0);
    kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (reachable(i)) {
            ++start[rowPair[i] + 1];
            ++kept;
        }
    }
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        start[p + 1] += start[p];
        pairs[p].firstRow = start[p];
        pairs[p].rowCount = start[p + 1] - start[p];
    }
    std::vector<std::uint32_t> order(n);
    std::size_t unreachable = kept;
    for (std::size_t i = 0; i < n; ++i)
        order[reachable(i) ? start[rowPair[i]]++ : unreachable++] = std::uint32_t(i);
    release(rowPair);
    const auto byDay = [&](std::uint32_t a, std::uint32_t b) { return day[a] < day[b]; };
    for (const Pair& p : pairs) {
        auto* first = order.data() + p.firstRow;
        auto* last = first + p.rowCount;
        if (!std::is_sorted(first, last, byDay))
            std::stable_sort(first, last, byDay);
    }
    return order;
}

void ActivityStore::Builder::Data::dayTables(OwnedColumns& c) const {
    const std::size_t n = c.rowDay.size();
    std::vector<std::int32_t> distinct;
    if (n > 0) {
        const auto [lo, hi] = std::minmax_element(c.rowDay.begin(), c.rowDay.end());
        const std::int64_t spanDays = std::int64_t(*hi) - *lo + 1;
        if (spanDays <= (std::int64_t(1) << 22)) {
            std::vector<char> seen(std::size_t(spanDays), 0);
            for (const std::int32_t dd : c.rowDay)
                seen[std::size_t(dd - *lo)] = 1;
            for (std::int64_t k = 0; k < spanDays; ++k) {
                if (seen[std::size_t(k)])
                    distinct.push_back(std::int32_t(*lo + k));
            }
        } else {
            distinct = c.rowDay;
            std::sort(distinct.begin(), distinct.end());
            distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        }
    }
    c.days = distinct;
    c.dayFigures.assign(distinct.size(), DayFigures::none());
    for (std::size_t i = 0; i < n; ++i) {
        const auto at = std::lower_bound(distinct.begin(), distinct.end(), c.rowDay[i]) - distinct.begin();
        c.dayFigures[std::size_t(at)].add(&c.rowHours[i * 24]);
    }
    c.runningTotal.resize(distinct.size());
    std::int64_t running = 0;
    for (std::size_t k = 0; k < distinct.size(); ++k) {
        running +=
            std::accumulate(std::begin(c.dayFigures[k].sum), std::end(c.dayFigures[k].sum), std::int64_t{0});
        c.runningTotal[k] = running;
    }
}

std::shared_ptr<const ActivityStore> ActivityStore::Builder::finish() {
    Data& b = *d;
    const std::size_t n = b.day.size();
    const std::vector<std::uint32_t> userId = sortNames(b.users);
    const std::vector<std::uint32_t> computerId = sortNames(b.computers);
    for (std::size_t i = 0; i < n; ++i) {
        if (b.user[i] != kNoName)
            b.user[i] = userId[b.user[i]];
        if (b.computer[i] != kNoName)
            b.computer[i] = computerId[b.computer[i]];
    }
    auto owned = std::make_shared<OwnedColumns>();
    std::vector<std::uint32_t> rowPair;
    owned->pairs = b.makePairs(rowPair);
    release(b.user);
    release(b.computer);
    std::size_t kept = 0;
    const std::vector<std::uint32_t> order = b.rowOrder(owned->pairs, rowPair, kept);
    owned->rowDay.resize(kept);
    for (std::size_t k = 0; k < kept; ++k)
        owned->rowDay[k] = static_cast<std::int32_t>(b.day[order[k]]);
    release(b.day);
    if (b.source.size() == n) {
        owned->rowSource.resize(kept);
        for (std::size_t k = 0; k < kept; ++k)
            owned->rowSource[k] = b.source[order[k]];
        // A row kept for the user list only has no place in the store to follow it by.
        if (kept == n) {
            owned->pageSize = b.pageSize;
            owned->root = b.root;
            owned->leaves = std::move(b.leaves);
        }
    }
    release(b.source);
    permuteInPlace(b.hours, 24, order);
    b.hours.resize(kept * 24); // never shrunk to fit: that would copy every row once more
    owned->rowHours = std::move(b.hours);
    b.dayTables(*owned);

    const Columns c = owned->columns();
    auto store = std::make_shared<const ActivityStore>(b.grouping, std::move(b.users), std::move(b.computers),
                                                       c, std::shared_ptr<const void>(owned));
    d.reset();
    return store;
}

// ---------------------------------------------------------------------------------------------
// The store

ActivityStore::ActivityStore(Grouping grouping, std::vector<QString> users, std::vector<QString> computers,
                             Columns columns, std::shared_ptr<const void> owner,
                             const std::uint64_t* blockSums, const std::uint64_t* extraBlockSums,
                             std::shared_ptr<const void> firstRowsOwner)
    : m_grouping(grouping), m_users(std::move(users)), m_computers(std::move(computers)), m_columns(columns),
      m_owner(std::move(owner)), m_firstRowsOwner(std::move(firstRowsOwner)), m_blockSums(blockSums),
      m_extraBlockSums(extraBlockSums) {
    const auto flags = [](std::size_t rows) {
        const std::size_t blocks = (rows + kBlockRows - 1) / kBlockRows;
        auto checked = std::make_unique<std::atomic<std::uint8_t>[]>(blocks);
        for (std::size_t b = 0; b < blocks; ++b)
            checked[b].store(0, std::memory_order_relaxed);
        return checked;
    };
    if (m_blockSums)
        m_blockChecked = flags(m_columns.rows);
    if (m_extraBlockSums)
        m_extraBlockChecked = flags(m_columns.extraRows);
}

ActivityStore::~ActivityStore() = default;

std::size_t ActivityStore::memoryBytes() const {
    std::size_t bytes = 0;
    if (!m_blockSums) {
        const Columns& c = m_columns;
        bytes += c.rows * (sizeof(std::int32_t) + 24 * sizeof(std::uint16_t) +
                           (c.rowSource ? sizeof(std::int64_t) : 0)) +
                 c.source.leafCount * sizeof(SourceLeaf) + c.pairCount * sizeof(Pair) +
                 c.dayCount * (sizeof(std::int32_t) + sizeof(DayFigures) + sizeof(std::int64_t));
    }
    for (const auto* names : {&m_users, &m_computers}) {
        for (const QString& s : *names)
            bytes += sizeof(QString) + std::size_t(s.capacity()) * 2 + 16;
    }
    return bytes;
}

namespace {

std::uint64_t rotl(std::uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

} // namespace

std::uint64_t ActivityStore::checksum(const void* bytes, std::size_t size) {
    // Four independent lanes of multiply-rotate mixing: cheap enough for a block on first use,
    // and any damage to a byte changes the result.
    const auto* data = static_cast<const char*>(bytes);
    constexpr std::uint64_t p1 = 0x9E3779B185EBCA87ULL;
    constexpr std::uint64_t p2 = 0xC2B2AE3D27D4EB4FULL;
    std::uint64_t lane[4] = {p1 + p2, p2, 0, 0 - p1};
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        for (std::size_t k = 0; k < 4; ++k) {
            std::uint64_t w = 0;
            std::memcpy(&w, data + i + 8 * k, 8);
            lane[k] = rotl(lane[k] + w * p2, 31) * p1;
        }
    }
    std::uint64_t h = rotl(lane[0], 1) + rotl(lane[1], 7) + rotl(lane[2], 12) + rotl(lane[3], 18) + size;
    for (; i < size; ++i)
        h = rotl(h ^ (std::uint64_t(std::uint8_t(data[i])) * p1), 11) * p2;
    h ^= h >> 33;
    h *= p2;
    h ^= h >> 29;
    return h;
}

std::uint64_t ActivityStore::blockChecksum(const std::int32_t* days, const std::uint16_t* hours,
                                           std::size_t rows) {
    return checksum(days, rows * sizeof(std::int32_t)) * 0x9E3779B185EBCA87ULL ^
           checksum(hours, rows * 24 * sizeof(std::uint16_t));
}

void ActivityStore::checkBlocks(bool extra, std::size_t from, std::size_t to) const {
    const std::uint64_t* sums = extra ? m_extraBlockSums : m_blockSums;
    if (!sums || from >= to)
        return;
    std::atomic<std::uint8_t>* checked = extra ? m_extraBlockChecked.get() : m_blockChecked.get();
    const std::size_t rows = extra ? m_columns.extraRows : m_columns.rows;
    const std::int32_t* days = extra ? m_columns.extraDay : m_columns.rowDay;
    const std::uint16_t* allHours = extra ? m_columns.extraHours : m_columns.rowHours;
    for (std::size_t b = from / kBlockRows; b <= (to - 1) / kBlockRows; ++b) {
        if (checked[b].load(std::memory_order_acquire))
            continue;
        const std::size_t first = b * kBlockRows;
        const std::size_t count = std::min(kBlockRows, rows - first);
        const std::uint16_t* hours = allHours + first * 24;
        if (blockChecksum(days + first, hours, count) != sums[b])
            throw StoreDamaged("a block of rows does not match its checksum");
        // Checked as the data file's rows are: a copy is trusted no more than the file.
        if (std::any_of(hours, hours + count * 24, [](std::uint16_t v) { return v > 3600 && v != kNoHour; }))
            throw StoreDamaged("a block of rows holds an hour the monitoring product never writes");
        checked[b].store(1, std::memory_order_release);
    }
}

ActivityStore::RowSpan ActivityStore::rowsOf(const Pair& pair) const {
    const bool extra = (pair.firstRow & kExtraRows) != 0;
    RowSpan s;
    s.day = extra ? m_columns.extraDay : m_columns.rowDay;
    s.hours = extra ? m_columns.extraHours : m_columns.rowHours;
    s.source = extra ? m_columns.extraSource : m_columns.rowSource;
    s.from = pair.firstRow & ~kExtraRows;
    s.to = s.from + pair.rowCount;
    checkBlocks(extra, s.from, s.to);
    return s;
}

std::vector<const ActivityStore::Pair*> ActivityStore::matchingPairs(const QString& user,
                                                                     const QString& computer) const {
    auto matches = [](const std::vector<QString>& names, const QString& filter) {
        std::vector<char> ok(names.size(), 1);
        if (!filter.isEmpty()) {
            for (std::size_t i = 0; i < names.size(); ++i)
                ok[i] = activityNameMatches(names[i], filter) ? 1 : 0;
        }
        return ok;
    };
    const std::vector<char> userOk = matches(m_users, user);
    const std::vector<char> computerOk = matches(m_computers, computer);
    const auto passes = [](std::uint32_t id, const std::vector<char>& ok, const QString& filter) {
        if (filter.isEmpty())
            return true;
        return id != kNoName && id < ok.size() && ok[id];
    };
    std::vector<const Pair*> pairs;
    for (std::size_t p = 0; p < m_columns.pairCount; ++p) {
        const Pair& pair = m_columns.pairs[p];
        if (passes(pair.user, userOk, user) && passes(pair.computer, computerOk, computer))
            pairs.push_back(&pair);
    }
    return pairs;
}

ActivityStore::RowSpan ActivityStore::pairRows(const Pair& pair, const DayRange& range) const {
    if (range.empty())
        return {};
    RowSpan s = rowsOf(pair);
    const std::int32_t* first = s.day + s.from;
    const std::int32_t* last = s.day + s.to;
    const auto* lo =
        std::lower_bound(first, last, range.first, [](std::int32_t d, std::int64_t v) { return d < v; });
    const auto* hi =
        std::upper_bound(lo, last, range.last, [](std::int64_t v, std::int32_t d) { return v < d; });
    s.from = std::size_t(lo - s.day);
    s.to = std::size_t(hi - s.day);
    return s;
}

namespace {

// One weekday group's hour figures while the rows are passed.
struct HourAccumulator {
    bool present = false;
    std::array<std::int64_t, 24> sum{};
    std::array<std::int32_t, 24> count{};
    std::array<std::uint16_t, 24> max{};
    std::array<std::uint16_t, 24> min{};
    HourAccumulator() { min.fill(ActivityStore::kNoHour); }
};

double aggregated(const HourAccumulator& a, std::size_t h, HourAggregate aggregate) {
    switch (aggregate) {
    case HourAggregate::Average:
        return static_cast<double>(a.sum[h]) / static_cast<double>(a.count[h]);
    case HourAggregate::Total:
        return static_cast<double>(a.sum[h]);
    case HourAggregate::Maximum:
        return a.max[h];
    case HourAggregate::Minimum:
        return a.min[h];
    }
    return 0;
}

} // namespace

std::vector<HourGroup> ActivityStore::hourAggregates(const ActivityQuery& query,
                                                     std::int64_t& rowsRead) const {
    std::array<HourAccumulator, 7> acc{};
    const DayRange range = query.ranges.empty() ? DayRange{} : query.ranges.front();
    const Columns& c = m_columns;
    if (query.user.isEmpty() && query.computer.isEmpty()) {
        // Every row counts: the per-day figures answer without touching the rows.
        const auto* lo = std::lower_bound(c.days, c.days + c.dayCount, range.first,
                                          [](std::int32_t d, std::int64_t v) { return d < v; });
        for (const auto* it = lo; it != c.days + c.dayCount && *it <= range.last; ++it) {
            const std::int32_t r = activityDayRemainder(*it);
            if (!query.weekdayCounts(r))
                continue;
            const DayFigures& f = c.dayFigures[std::size_t(it - c.days)];
            HourAccumulator& a = acc[std::size_t(r)];
            a.present = true;
            for (std::size_t h = 0; h < 24; ++h) {
                if (f.count[h] == 0)
                    continue;
                a.sum[h] += f.sum[h];
                a.count[h] += f.count[h];
                a.max[h] = std::max(a.max[h], f.max[h]);
                a.min[h] = std::min(a.min[h], f.min[h]);
            }
        }
    } else {
        for (const Pair* pair : matchingPairs(query.user, query.computer)) {
            const RowSpan rows = pairRows(*pair, range);
            rowsRead += std::int64_t(rows.to - rows.from);
            for (std::size_t i = rows.from; i < rows.to; ++i) {
                const std::int32_t r = activityDayRemainder(rows.day[i]);
                if (!query.weekdayCounts(r))
                    continue;
                HourAccumulator& a = acc[std::size_t(r)];
                a.present = true;
                const std::uint16_t* hours = rows.hours + i * 24;
                for (std::size_t h = 0; h < 24; ++h) {
                    const std::uint16_t v = hours[h];
                    if (v == kNoHour)
                        continue;
                    a.sum[h] += v;
                    ++a.count[h];
                    a.max[h] = std::max(a.max[h], v);
                    a.min[h] = std::min(a.min[h], v);
                }
            }
        }
    }
    std::vector<HourGroup> groups;
    for (std::int32_t r = 0; r < 7; ++r) {
        const HourAccumulator& a = acc[std::size_t(r)];
        if (!a.present)
            continue;
        HourGroup g;
        g.remainder = r;
        for (std::size_t h = 0; h < 24; ++h) {
            if (a.count[h] > 0)
                g.hours[h] = aggregated(a, h, query.aggregate);
        }
        groups.push_back(g);
    }
    return groups;
}

std::vector<std::int64_t> ActivityStore::rangeSeconds(const ActivityQuery& query,
                                                      std::int64_t& rowsRead) const {
    const Columns& c = m_columns;
    std::vector<std::int64_t> seconds(query.ranges.size(), 0);
    if (query.user.isEmpty() && query.computer.isEmpty()) {
        const auto runningBefore = [&](std::int64_t day) {
            const auto* it = std::lower_bound(c.days, c.days + c.dayCount, day,
                                              [](std::int32_t d, std::int64_t v) { return d < v; });
            return it == c.days ? std::int64_t{0} : c.runningTotal[std::size_t(it - c.days) - 1];
        };
        for (std::size_t p = 0; p < query.ranges.size(); ++p) {
            const DayRange& r = query.ranges[p];
            if (!r.empty())
                seconds[p] = runningBefore(r.last + 1) - runningBefore(r.first);
        }
        return seconds;
    }
    // Ranges in ascending order without overlap (the periods of a report) are found by a binary
    // search per row; any others are summed one by one.
    const bool ordered =
        std::is_sorted(query.ranges.begin(), query.ranges.end(),
                       [](const DayRange& a, const DayRange& b) { return a.last < b.first; }) &&
        std::adjacent_find(query.ranges.begin(), query.ranges.end(),
                           [](const DayRange& a, const DayRange& b) { return !(a.last < b.first); }) ==
            query.ranges.end();
    const auto rowSeconds = [&](const RowSpan& rows, std::size_t i) {
        std::int64_t s = 0;
        const std::uint16_t* hours = rows.hours + i * 24;
        for (std::size_t h = 0; h < 24; ++h)
            s += hours[h] == kNoHour ? 0 : hours[h];
        return s;
    };
    for (const Pair* pair : matchingPairs(query.user, query.computer)) {
        if (ordered) {
            const RowSpan rows = pairRows(*pair, query.span());
            rowsRead += std::int64_t(rows.to - rows.from);
            for (std::size_t i = rows.from; i < rows.to; ++i) {
                const std::int64_t day = rows.day[i];
                const auto it =
                    std::upper_bound(query.ranges.begin(), query.ranges.end(), day,
                                     [](std::int64_t v, const DayRange& r) { return v < r.first; });
                if (it == query.ranges.begin() || day > std::prev(it)->last || std::prev(it)->empty())
                    continue;
                seconds[std::size_t(std::prev(it) - query.ranges.begin())] += rowSeconds(rows, i);
            }
            continue;
        }
        for (std::size_t p = 0; p < query.ranges.size(); ++p) {
            const RowSpan rows = pairRows(*pair, query.ranges[p]);
            rowsRead += std::int64_t(rows.to - rows.from);
            for (std::size_t i = rows.from; i < rows.to; ++i)
                seconds[p] += rowSeconds(rows, i);
        }
    }
    return seconds;
}

namespace {

// A pair of the user list with its names' group ranks (-1 for a missing name).
struct RankedPair {
    std::int64_t user;
    std::int64_t computer;
    const ActivityStore::Pair* pair;
};

std::optional<QString> nameOf(const std::vector<QString>& names, std::uint32_t id) {
    return id == ActivityStore::kNoName || id >= names.size() ? std::nullopt
                                                              : std::optional<QString>(names[id]);
}

// The groups (by `group`) of more than one pair with a name in `other`, named by their first pair:
// users on several computers, or computers of several users, in the pairs' list order.
std::vector<ActivityUserList::Count> groupsOfSeveral(std::vector<RankedPair> pairs,
                                                     std::int64_t RankedPair::*group,
                                                     std::int64_t RankedPair::*other,
                                                     std::uint32_t ActivityStore::Pair::*id,
                                                     const std::vector<QString>& names) {
    std::stable_sort(pairs.begin(), pairs.end(),
                     [&](const RankedPair& x, const RankedPair& y) { return x.*group < y.*group; });
    std::vector<ActivityUserList::Count> counts;
    for (std::size_t i = 0; i < pairs.size();) {
        std::size_t j = i;
        std::int64_t count = 0;
        for (; j < pairs.size() && pairs[j].*group == pairs[i].*group; ++j)
            count += pairs[j].*other >= 0 ? 1 : 0;
        if (count > 1)
            counts.push_back({nameOf(names, pairs[i].pair->*id), count});
        i = j;
    }
    return counts;
}

} // namespace

ActivityUserList ActivityStore::userList() const {
    // Pairs group by both names' keys; the pair shown is the earliest of its group as the source
    // lists rows (its key index: by day, or as written).
    const Columns& c = m_columns;
    const std::vector<std::int64_t> userRank = keyRanks(m_users, m_grouping.namesIgnoreCase);
    const std::vector<std::int64_t> computerRank = keyRanks(m_computers, m_grouping.namesIgnoreCase);
    const auto rankOf = [](const std::vector<std::int64_t>& ranks, std::uint32_t id) {
        return id == kNoName || id >= ranks.size() ? std::int64_t{-1} : ranks[id];
    };
    std::vector<const Pair*> exact;
    for (std::size_t p = 0; p < c.pairCount; ++p)
        exact.push_back(&c.pairs[p]);
    std::sort(exact.begin(), exact.end(), [&](const Pair* a, const Pair* b) {
        if (m_grouping.keyIndexOrder && a->firstDay != b->firstDay)
            return a->firstDay < b->firstDay;
        return a->firstSource < b->firstSource;
    });
    std::vector<RankedPair> pairs;
    QHash<QPair<qint64, qint64>, bool> seen;
    for (const Pair* p : exact) {
        const QPair<qint64, qint64> key(rankOf(userRank, p->user), rankOf(computerRank, p->computer));
        if (!seen.contains(key)) {
            seen.insert(key, true);
            pairs.push_back({key.first, key.second, p});
        }
    }
    if (m_grouping.keyIndexOrder) {
        std::sort(pairs.begin(), pairs.end(), [](const RankedPair& x, const RankedPair& y) {
            return x.user != y.user ? x.user < y.user : x.computer < y.computer;
        });
    }
    // Several computers per user / users per computer: the first pair of each group names it,
    // and missing names are not counted.
    ActivityUserList list;
    list.usersOnSeveral =
        groupsOfSeveral(pairs, &RankedPair::user, &RankedPair::computer, &Pair::user, m_users);
    list.computersOfSeveral =
        groupsOfSeveral(pairs, &RankedPair::computer, &RankedPair::user, &Pair::computer, m_computers);
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const RankedPair& x, const RankedPair& y) { return x.user < y.user; });
    for (const RankedPair& p : pairs)
        list.pairs.push_back({nameOf(m_users, p.pair->user), nameOf(m_computers, p.pair->computer)});
    return list;
}

namespace {

// The Users report's line of each name id (spellings PeopleTally takes as one share one); the
// last entry is the line of a missing name.
std::vector<std::uint32_t> lineOfEachName(const std::vector<QString>& names) {
    std::vector<std::uint32_t> line(names.size() + 1);
    QHash<QString, std::uint32_t> index;
    const auto lineOf = [&](const std::optional<QString>& name) {
        const QString key = PeopleTally::lineKey(name);
        auto it = index.constFind(key);
        if (it == index.constEnd())
            it = index.insert(key, std::uint32_t(index.size()));
        return *it;
    };
    for (std::size_t i = 0; i < names.size(); ++i)
        line[i] = lineOf(names[i]);
    line.back() = lineOf(std::nullopt);
    return line;
}

} // namespace

std::vector<PersonTotal> ActivityStore::peopleTotals(const ActivityQuery& query,
                                                     std::int64_t& rowsRead) const {
    const DayRange range = query.ranges.empty() ? DayRange{} : query.ranges.front();
    const auto name = [](const std::vector<QString>& names, std::uint32_t id) -> std::optional<QString> {
        return id == kNoName || id >= names.size() ? std::nullopt : std::optional<QString>(names[id]);
    };
    // One line per name as the report groups them (PeopleTally: spellings --user takes as one,
    // a missing name with an empty one), so this groups as the SQL executors do.
    const std::vector<std::uint32_t> userLine = lineOfEachName(m_users);
    const std::vector<std::uint32_t> computerLine = lineOfEachName(m_computers);
    const auto lineIndex = [](const std::vector<std::uint32_t>& line, std::uint32_t id) {
        return line[std::min<std::size_t>(id, line.size() - 1)];
    };
    struct Line {
        std::int64_t seconds = 0;
        std::vector<std::int32_t> days; ///< active days, from several pairs when grouped
        std::optional<QString> user;
        std::optional<QString> computer;
        bool shown = false; ///< whether user and computer hold a spelling yet
    };
    std::unordered_map<std::uint64_t, Line> lines;
    for (const Pair* pair : matchingPairs(query.user, query.computer)) {
        const RowSpan rows = pairRows(*pair, range);
        rowsRead += std::int64_t(rows.to - rows.from);
        const std::uint64_t u = lineIndex(userLine, pair->user);
        const std::uint64_t k = lineIndex(computerLine, pair->computer);
        const std::uint64_t key = query.grouping == PeopleGrouping::User       ? u
                                  : query.grouping == PeopleGrouping::Computer ? k
                                                                               : (u << 32) | k;
        Line* line = nullptr;
        for (std::size_t i = rows.from; i < rows.to; ++i) {
            if (!query.weekdayCounts(activityDayRemainder(rows.day[i])))
                continue;
            std::int64_t seconds = 0;
            const std::uint16_t* hours = rows.hours + i * 24;
            for (std::size_t h = 0; h < 24; ++h)
                seconds += hours[h] == kNoHour ? 0 : hours[h];
            if (seconds <= 0)
                continue;
            if (!line) {
                line = &lines[key];
                const std::optional<QString> user = name(m_users, pair->user);
                const std::optional<QString> computer = name(m_computers, pair->computer);
                if (!line->shown || PeopleTally::shownBefore(user, line->user))
                    line->user = user;
                if (!line->shown || PeopleTally::shownBefore(computer, line->computer))
                    line->computer = computer;
                line->shown = true;
            }
            line->seconds += seconds;
            line->days.push_back(rows.day[i]);
        }
    }
    std::vector<PersonTotal> people;
    people.reserve(lines.size());
    for (auto& [key, line] : lines) {
        std::sort(line.days.begin(), line.days.end());
        PersonTotal t;
        if (query.grouping != PeopleGrouping::Computer)
            t.user = line.user;
        if (query.grouping != PeopleGrouping::User)
            t.computer = line.computer;
        t.seconds = line.seconds;
        t.activeDays = std::int64_t(std::unique(line.days.begin(), line.days.end()) - line.days.begin());
        people.push_back(std::move(t));
    }
    PeopleTally::rank(people);
    return people;
}

ActivityAnswer ActivityStore::answer(const ActivityQuery& query) const {
    ActivityAnswer a;
    switch (query.shape) {
    case ActivityQuery::Shape::HourAggregates:
        a.groups = hourAggregates(query, a.rowsRead);
        break;
    case ActivityQuery::Shape::RangeSeconds:
        a.seconds = rangeSeconds(query, a.rowsRead);
        break;
    case ActivityQuery::Shape::UserList:
        a.users = userList();
        break;
    case ActivityQuery::Shape::PeopleTotals:
        a.people = peopleTotals(query, a.rowsRead);
        break;
    }
    return a;
}

} // namespace tallyrow
