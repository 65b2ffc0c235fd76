#include "datafile/ActivitySnapshot.h"

#include "support/Error.h"

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
        return u"the text \"%1\""_s.arg(v.text);
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

} // namespace

bool activityNameMatches(const std::optional<QString>& name, const QString& filter) {
    if (!name)
        return false;
    // The queries compare names through the fold every data file's connection has: Qt's simple
    // case folding, letter by letter, for every letter (so "ß" stays apart from "ss").
    return name->toCaseFolded() == filter.toCaseFolded();
}

std::int32_t activityDayRemainder(std::int64_t day) {
    // The queries' Mod keeps the remainder non-negative, so a day before 2000 counts under its
    // own weekday.
    return static_cast<std::int32_t>(((day % 7) + 7) % 7);
}

// ---------------------------------------------------------------------------------------------
// Building

namespace {

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

} // namespace

struct ActivitySnapshot::Builder::Data {
    Grouping grouping;
    NameIds userIds;
    NameIds computerIds;
    std::vector<QString> users;
    std::vector<QString> computers;
    std::vector<std::int64_t> day;
    std::vector<char> hasDay;
    std::vector<std::uint32_t> user;
    std::vector<std::uint32_t> computer;
    std::vector<std::uint16_t> hours;
};

ActivitySnapshot::Builder::Builder(Grouping grouping) : d(std::make_unique<Data>()) {
    d->grouping = grouping;
}

ActivitySnapshot::Builder::~Builder() = default;

void ActivitySnapshot::Builder::reserve(std::size_t rows) {
    d->day.reserve(rows);
    d->hasDay.reserve(rows);
    d->user.reserve(rows);
    d->computer.reserve(rows);
    d->hours.reserve(rows * 24);
}

std::uint32_t ActivitySnapshot::Builder::userId(const char* utf8, std::size_t size) {
    return utf8 ? internName(std::string_view(utf8, size), d->userIds, d->users) : kNoName;
}

std::uint32_t ActivitySnapshot::Builder::computerId(const char* utf8, std::size_t size) {
    return utf8 ? internName(std::string_view(utf8, size), d->computerIds, d->computers) : kNoName;
}

void ActivitySnapshot::Builder::add(const ActivityValue& day, const ActivityValue& user,
                                    const ActivityValue& computer,
                                    const std::array<ActivityValue, 24>& hours) {
    auto id = [](const ActivityValue& v) {
        return v.type == ActivityValue::Type::Null ? QByteArray() : v.text.toUtf8();
    };
    const QByteArray u = id(user);
    const QByteArray c = id(computer);
    add(day, userId(user.type == ActivityValue::Type::Null ? nullptr : u.constData(), std::size_t(u.size())),
        computerId(computer.type == ActivityValue::Type::Null ? nullptr : c.constData(),
                   std::size_t(c.size())),
        hours);
}

void ActivitySnapshot::Builder::add(const ActivityValue& day, std::uint32_t user, std::uint32_t computer,
                                    const std::array<ActivityValue, 24>& hours) {
    const auto refuse = [&](const QString& column, const ActivityValue& value, const QString& rule) {
        QString dayText = valueText(day);
        if (const auto n = wholeNumber(day); n && *n > -3'000'000 && *n < 3'000'000)
            dayText = u"%1 (%2)"_s.arg(*n).arg(QDate(2000, 1, 1).addDays(*n).toString(Qt::ISODate));
        auto nameOf = [](std::uint32_t id, const std::vector<QString>& names) {
            return id == kNoName ? u"(none)"_s : u"\"%1\""_s.arg(names[id]);
        };
        throw Error(ErrNo::DataSource,
                    u"the row of day %1, user %2, computer %3 holds in %4 %5, a value the monitoring product "
                    "never writes (%6)"_s.arg(dayText, nameOf(user, d->users), nameOf(computer, d->computers),
                                              column, valueText(value), rule),
                    QString::fromLatin1(kRefusedRowSource));
    };
    std::int64_t dayNumber = 0;
    bool hasDay = false;
    if (day.type == ActivityValue::Type::Integer) {
        dayNumber = day.integer;
        hasDay = true;
    } else if (day.type != ActivityValue::Type::Null) {
        const auto n = wholeNumber(day);
        if (!n)
            refuse(u"ActiveDay"_s, day, u"days are whole numbers"_s);
        dayNumber = *n;
        hasDay = true;
    }
    std::array<std::uint16_t, 24> seconds{};
    for (int h = 0; h < 24; ++h) {
        const ActivityValue& v = hours[h];
        if (v.type == ActivityValue::Type::Integer && v.integer >= 0 && v.integer <= 3600) {
            seconds[h] = static_cast<std::uint16_t>(v.integer);
            continue;
        }
        if (v.type == ActivityValue::Type::Null) {
            seconds[h] = kNoHour;
            continue;
        }
        const auto n = wholeNumber(v);
        if (!n || *n < 0 || *n > 3600)
            refuse(u"H%1"_s.arg(h), v, u"hours hold whole seconds from 0 to 3600"_s);
        seconds[h] = static_cast<std::uint16_t>(*n);
    }
    d->day.push_back(dayNumber);
    d->hasDay.push_back(hasDay ? 1 : 0);
    d->user.push_back(user);
    d->computer.push_back(computer);
    d->hours.insert(d->hours.end(), seconds.begin(), seconds.end());
}

namespace {

// Sorts a name table and returns old id → new id.
std::vector<std::uint32_t> sortNames(std::vector<QString>& names) {
    std::vector<std::uint32_t> order(names.size());
    std::iota(order.begin(), order.end(), 0u);
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

// Rank of each name's group key (equal keys share a rank); a missing name ranks below all.
std::vector<std::int64_t> keyRanks(const std::vector<QString>& names, bool ignoreCase) {
    std::vector<QByteArray> keys(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        keys[i] = groupKey(names[i], ignoreCase);
    std::vector<std::uint32_t> order(names.size());
    std::iota(order.begin(), order.end(), 0u);
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

} // namespace

std::shared_ptr<const ActivitySnapshot> ActivitySnapshot::Builder::finish() {
    Data& b = *d;
    auto snap = std::make_shared<ActivitySnapshot>();
    const std::size_t n = b.day.size();

    const std::vector<std::uint32_t> userId = sortNames(b.users);
    const std::vector<std::uint32_t> computerId = sortNames(b.computers);
    for (std::size_t i = 0; i < n; ++i) {
        if (b.user[i] != kNoName)
            b.user[i] = userId[b.user[i]];
        if (b.computer[i] != kNoName)
            b.computer[i] = computerId[b.computer[i]];
    }
    finishUserList(*snap);
    finishRows(*snap);
    snap->m_users = std::move(b.users);
    snap->m_computers = std::move(b.computers);
    d.reset();
    snap->computeDayTotals();
    return snap;
}

// The pairs of the user list. Pairs group by both names' keys; the pair shown is the first row of
// its group in the order the source reads them (its key index: by day, or as written).
std::vector<ActivitySnapshot::Builder::RankedPair> ActivitySnapshot::Builder::firstPairs() const {
    const Data& b = *d;
    const std::size_t n = b.day.size();
    const std::vector<std::int64_t> userRank = keyRanks(b.users, b.grouping.namesIgnoreCase);
    const std::vector<std::int64_t> computerRank = keyRanks(b.computers, b.grouping.namesIgnoreCase);
    auto rankOf = [](const std::vector<std::int64_t>& ranks, std::uint32_t id) {
        return id == kNoName ? std::int64_t{-1} : ranks[id];
    };
    QHash<QPair<qint64, qint64>, std::size_t> at;
    std::vector<RankedPair> pairs;
    const auto earlier = [&](std::size_t a, std::size_t r) {
        if (!b.grouping.keyIndexOrder)
            return a < r;
        // A missing day sorts before every day in the index.
        if (b.hasDay[a] != b.hasDay[r])
            return b.hasDay[a] < b.hasDay[r];
        if (b.hasDay[a] && b.day[a] != b.day[r])
            return b.day[a] < b.day[r];
        return a < r;
    };
    // The rows' exact pairs first (few), then those pairs by their keys; both keep the
    // earliest row, so the earliest of each key group is found.
    std::unordered_map<std::uint64_t, std::size_t> exact;
    std::vector<std::size_t> exactRows;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t key = (std::uint64_t(b.user[i]) << 32) | b.computer[i];
        const auto [it, added] = exact.try_emplace(key, exactRows.size());
        if (added)
            exactRows.push_back(i);
        else if (earlier(i, exactRows[it->second]))
            exactRows[it->second] = i;
    }
    std::sort(exactRows.begin(), exactRows.end(),
              [&](std::size_t x, std::size_t y) { return earlier(x, y); });
    for (const std::size_t i : exactRows) {
        const QPair<qint64, qint64> key(rankOf(userRank, b.user[i]), rankOf(computerRank, b.computer[i]));
        if (!at.contains(key)) {
            at.insert(key, pairs.size());
            pairs.push_back({key.first, key.second, i});
        }
    }
    // The pairs in the order the source lists them: by key, or as first written.
    if (b.grouping.keyIndexOrder) {
        std::sort(pairs.begin(), pairs.end(), [](const RankedPair& x, const RankedPair& y) {
            return x.user != y.user ? x.user < y.user : x.computer < y.computer;
        });
    }
    return pairs;
}

void ActivitySnapshot::Builder::finishUserList(ActivitySnapshot& snap) const {
    const Data& b = *d;
    const std::vector<RankedPair> pairs = firstPairs();
    std::vector<RankedPair> byUser = pairs;
    std::stable_sort(byUser.begin(), byUser.end(),
                     [](const RankedPair& x, const RankedPair& y) { return x.user < y.user; });
    for (const RankedPair& p : byUser)
        snap.m_pairs.push_back({b.user[p.row], b.computer[p.row]});
    // Several computers per user / users per computer: the first pair of each group names it,
    // and missing names are not counted.
    for (std::size_t i = 0; i < byUser.size();) {
        std::size_t j = i;
        std::int64_t count = 0;
        for (; j < byUser.size() && byUser[j].user == byUser[i].user; ++j)
            count += byUser[j].computer >= 0 ? 1 : 0;
        if (count > 1)
            snap.m_usersOnSeveral.push_back({b.user[byUser[i].row], count});
        i = j;
    }
    std::vector<RankedPair> byComputer = pairs;
    std::stable_sort(byComputer.begin(), byComputer.end(),
                     [](const RankedPair& x, const RankedPair& y) { return x.computer < y.computer; });
    for (std::size_t i = 0; i < byComputer.size();) {
        std::size_t j = i;
        std::int64_t count = 0;
        for (; j < byComputer.size() && byComputer[j].computer == byComputer[i].computer; ++j)
            count += byComputer[j].user >= 0 ? 1 : 0;
        if (count > 1)
            snap.m_computersOfSeveral.push_back({b.computer[byComputer[i].row], count});
        i = j;
    }
}

void ActivitySnapshot::Builder::finishRows(ActivitySnapshot& snap) const {
    const Data& b = *d;
    const std::size_t n = b.day.size();
    // The rows in day order. Rows without a day, or with one no date range can reach, take part
    // in the user list only.
    std::vector<std::uint32_t> order;
    order.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (b.hasDay[i] && b.day[i] >= INT32_MIN && b.day[i] <= INT32_MAX)
            order.push_back(static_cast<std::uint32_t>(i));
    }
    if (!std::is_sorted(order.begin(), order.end(),
                        [&](std::uint32_t x, std::uint32_t y) { return b.day[x] < b.day[y]; })) {
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t x, std::uint32_t y) { return b.day[x] < b.day[y]; });
    }
    snap.m_day.resize(order.size());
    snap.m_user.resize(order.size());
    snap.m_computer.resize(order.size());
    snap.m_hours.resize(order.size() * 24);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint32_t i = order[k];
        snap.m_day[k] = static_cast<std::int32_t>(b.day[i]);
        snap.m_user[k] = b.user[i];
        snap.m_computer[k] = b.computer[i];
        std::memcpy(&snap.m_hours[k * 24], &b.hours[std::size_t(i) * 24], 24 * sizeof(std::uint16_t));
    }
}

void ActivitySnapshot::computeDayTotals() {
    m_dayTotals.clear();
    std::int64_t running = 0;
    for (std::size_t i = 0; i < m_day.size(); ++i) {
        if (m_dayTotals.empty() || m_dayTotals.back().day != m_day[i]) {
            DayTotals t;
            t.day = m_day[i];
            t.min.fill(kNoHour);
            m_dayTotals.push_back(t);
        }
        DayTotals& t = m_dayTotals.back();
        const std::uint16_t* h = &m_hours[i * 24];
        for (int k = 0; k < 24; ++k) {
            if (h[k] == kNoHour)
                continue;
            t.sum[k] += h[k];
            running += h[k];
            ++t.count[k];
            t.max[k] = std::max(t.max[k], h[k]);
            t.min[k] = std::min(t.min[k], h[k]);
        }
        t.total = running;
    }
}

std::size_t ActivitySnapshot::memoryBytes() const {
    std::size_t bytes = m_day.capacity() * sizeof(std::int32_t) + m_user.capacity() * sizeof(std::uint32_t) +
                        m_computer.capacity() * sizeof(std::uint32_t) +
                        m_hours.capacity() * sizeof(std::uint16_t) +
                        m_dayTotals.capacity() * sizeof(DayTotals) + m_pairs.capacity() * sizeof(m_pairs[0]) +
                        (m_usersOnSeveral.capacity() + m_computersOfSeveral.capacity()) * sizeof(NameCount);
    for (const auto* names : {&m_users, &m_computers}) {
        for (const QString& s : *names)
            bytes += sizeof(QString) + std::size_t(s.capacity()) * 2 + 16;
    }
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// Answers

std::pair<std::size_t, std::size_t> ActivitySnapshot::slice(std::int64_t firstDay,
                                                            std::int64_t lastDay) const {
    if (lastDay < firstDay)
        return {0, 0};
    const auto lo = std::lower_bound(m_day.begin(), m_day.end(), firstDay,
                                     [](std::int32_t d, std::int64_t v) { return d < v; });
    const auto hi =
        std::upper_bound(lo, m_day.end(), lastDay, [](std::int64_t v, std::int32_t d) { return v < d; });
    return {std::size_t(lo - m_day.begin()), std::size_t(hi - m_day.begin())};
}

std::vector<char> ActivitySnapshot::nameMatches(const std::vector<QString>& names,
                                                const QString& filter) const {
    std::vector<char> match(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        match[i] = activityNameMatches(names[i], filter) ? 1 : 0;
    return match;
}

namespace {

// One weekday group's hour figures while the rows are passed.
struct HourAccumulator {
    bool present = false;
    std::array<std::int64_t, 24> sum{};
    std::array<std::int32_t, 24> count{};
    std::array<std::uint16_t, 24> max{};
    std::array<std::uint16_t, 24> min{};
};

// The figure of hour `h` (which has values) the aggregate asks for.
double aggregated(const HourAccumulator& a, std::size_t h, ActivitySnapshot::Aggregate aggregate) {
    switch (aggregate) {
    case ActivitySnapshot::Aggregate::Avg:
        return static_cast<double>(a.sum[h]) / static_cast<double>(a.count[h]);
    case ActivitySnapshot::Aggregate::Sum:
        return static_cast<double>(a.sum[h]);
    case ActivitySnapshot::Aggregate::Max:
        return a.max[h];
    case ActivitySnapshot::Aggregate::Min:
        return a.min[h];
    }
    return 0;
}

} // namespace

std::vector<ActivitySnapshot::RemainderGroup>
ActivitySnapshot::hourAggregates(std::int64_t firstDay, std::int64_t lastDay, const QString& userFilter,
                                 const QString& computerFilter, Aggregate aggregate) const {
    // Remainders run from -6 to 6.
    std::array<HourAccumulator, 13> acc{};
    for (HourAccumulator& a : acc)
        a.min.fill(kNoHour);

    if (userFilter.isEmpty() && computerFilter.isEmpty()) {
        // Every row counts: the per-day totals answer without touching the rows.
        const auto lo = std::lower_bound(m_dayTotals.begin(), m_dayTotals.end(), firstDay,
                                         [](const DayTotals& t, std::int64_t v) { return t.day < v; });
        for (auto it = lo; it != m_dayTotals.end() && it->day <= lastDay; ++it) {
            const std::int32_t slot = activityDayRemainder(it->day) + 6;
            HourAccumulator& a = acc[std::size_t(slot)];
            a.present = true;
            for (int h = 0; h < 24; ++h) {
                a.sum[h] += it->sum[h];
                a.count[h] += it->count[h];
                if (it->count[h] > 0) {
                    a.max[h] = std::max(a.max[h], it->max[h]);
                    a.min[h] = std::min(a.min[h], it->min[h]);
                }
            }
        }
    } else {
        const std::vector<char> userOk = nameMatches(m_users, userFilter);
        const std::vector<char> computerOk = nameMatches(m_computers, computerFilter);
        const auto [from, to] = slice(firstDay, lastDay);
        for (std::size_t i = from; i < to; ++i) {
            if (!userFilter.isEmpty() && (m_user[i] == kNoName || !userOk[m_user[i]]))
                continue;
            if (!computerFilter.isEmpty() && (m_computer[i] == kNoName || !computerOk[m_computer[i]]))
                continue;
            const std::int32_t slot = activityDayRemainder(m_day[i]) + 6;
            HourAccumulator& a = acc[std::size_t(slot)];
            a.present = true;
            const std::uint16_t* hours = &m_hours[i * 24];
            for (int h = 0; h < 24; ++h) {
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

    std::vector<RemainderGroup> groups;
    for (int r = 0; r < 13; ++r) {
        const HourAccumulator& a = acc[std::size_t(r)];
        if (!a.present)
            continue;
        RemainderGroup g;
        g.remainder = r - 6;
        for (int h = 0; h < 24; ++h) {
            if (a.count[h] == 0)
                continue;
            g.hours[h] = aggregated(a, std::size_t(h), aggregate);
        }
        groups.push_back(g);
    }
    return groups;
}

std::vector<std::int64_t> ActivitySnapshot::rangeSeconds(const std::vector<DayRange>& ranges,
                                                         const QString& userFilter,
                                                         const QString& computerFilter) const {
    std::vector<std::int64_t> seconds(ranges.size(), 0);
    if (userFilter.isEmpty() && computerFilter.isEmpty()) {
        const auto runningBefore = [&](std::int64_t day) {
            // The total of every day before `day`.
            const auto it = std::lower_bound(m_dayTotals.begin(), m_dayTotals.end(), day,
                                             [](const DayTotals& t, std::int64_t v) { return t.day < v; });
            return it == m_dayTotals.begin() ? std::int64_t{0} : std::prev(it)->total;
        };
        for (std::size_t p = 0; p < ranges.size(); ++p) {
            if (ranges[p].last >= ranges[p].first)
                seconds[p] = runningBefore(ranges[p].last + 1) - runningBefore(ranges[p].first);
        }
        return seconds;
    }
    const std::vector<char> userOk = nameMatches(m_users, userFilter);
    const std::vector<char> computerOk = nameMatches(m_computers, computerFilter);
    for (std::size_t p = 0; p < ranges.size(); ++p) {
        const auto [from, to] = slice(ranges[p].first, ranges[p].last);
        std::int64_t sum = 0;
        for (std::size_t i = from; i < to; ++i) {
            if (!userFilter.isEmpty() && (m_user[i] == kNoName || !userOk[m_user[i]]))
                continue;
            if (!computerFilter.isEmpty() && (m_computer[i] == kNoName || !computerOk[m_computer[i]]))
                continue;
            const std::uint16_t* hours = &m_hours[i * 24];
            for (int h = 0; h < 24; ++h)
                sum += hours[h] == kNoHour ? 0 : hours[h];
        }
        seconds[p] = sum;
    }
    return seconds;
}

QVariant ActivitySnapshot::nameValue(const std::vector<QString>& names, std::uint32_t id) {
    return id == kNoName ? QVariant() : QVariant(names[id]);
}

std::unique_ptr<Recordset> ActivitySnapshot::userComputerPairs() const {
    QVector<QVector<QVariant>> rows;
    rows.reserve(qsizetype(m_pairs.size()));
    for (const NamePair& p : m_pairs)
        rows.append({nameValue(m_users, p.user), nameValue(m_computers, p.computer)});
    return std::make_unique<Recordset>(QStringList{u"UserName"_s, u"ComputerName"_s}, std::move(rows));
}

std::unique_ptr<Recordset> ActivitySnapshot::usersOnSeveralComputers() const {
    QVector<QVector<QVariant>> rows;
    for (const NameCount& n : m_usersOnSeveral)
        rows.append({nameValue(m_users, n.name), QVariant(qlonglong(n.count))});
    return std::make_unique<Recordset>(QStringList{u"UserName"_s, u"TotalComputers"_s}, std::move(rows));
}

std::unique_ptr<Recordset> ActivitySnapshot::computersOfSeveralUsers() const {
    QVector<QVector<QVariant>> rows;
    for (const NameCount& n : m_computersOfSeveral)
        rows.append({nameValue(m_computers, n.name), QVariant(qlonglong(n.count))});
    return std::make_unique<Recordset>(QStringList{u"ComputerName"_s, u"TotaUsers"_s}, std::move(rows));
}

// ---------------------------------------------------------------------------------------------
// Saved form: a header, the arrays as they lie in memory (with a byte-order mark), and a
// checksum over everything before it.

namespace {

constexpr char kMagic[] = "TALLYROW-SNAPSHOT 1\n";
constexpr std::uint32_t kByteOrderMark = 0x01020304;

std::uint64_t rotl(std::uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

std::uint64_t snapshotChecksum(const char* data, std::size_t size) {
    // Four independent lanes of multiply-rotate mixing: fast enough to check a large copy on
    // every load, and any damage to a byte changes the result.
    constexpr std::uint64_t p1 = 0x9E3779B185EBCA87ULL;
    constexpr std::uint64_t p2 = 0xC2B2AE3D27D4EB4FULL;
    std::uint64_t lane[4] = {p1 + p2, p2, 0, 0 - p1};
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        for (std::size_t k = 0; k < 4; ++k) {
            std::uint64_t w;
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

class Writer {
public:
    QByteArray bytes;
    template <typename T> void value(const T& v) {
        bytes.append(reinterpret_cast<const char*>(&v), sizeof(T));
    }
    template <typename T> void array(const std::vector<T>& v) {
        value(std::uint64_t(v.size()));
        bytes.append(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()) * qsizetype(sizeof(T)));
    }
    void names(const std::vector<QString>& v) {
        value(std::uint64_t(v.size()));
        for (const QString& s : v) {
            const QByteArray u = s.toUtf8();
            value(std::uint32_t(u.size()));
            bytes.append(u);
        }
    }
};

class Reader {
public:
    Reader(const char* p, std::size_t size) : m_p(p), m_end(p + size) {}
    template <typename T> bool value(T& v) {
        if (std::size_t(m_end - m_p) < sizeof(T))
            return false;
        std::memcpy(&v, m_p, sizeof(T));
        m_p += sizeof(T);
        return true;
    }
    template <typename T> bool array(std::vector<T>& v) {
        std::uint64_t n = 0;
        if (!value(n) || n > std::size_t(m_end - m_p) / sizeof(T))
            return false;
        v.resize(n);
        std::memcpy(v.data(), m_p, n * sizeof(T));
        m_p += n * sizeof(T);
        return true;
    }
    bool names(std::vector<QString>& v) {
        std::uint64_t n = 0;
        if (!value(n) || n > std::size_t(m_end - m_p) / 4)
            return false;
        v.resize(n);
        for (QString& s : v) {
            std::uint32_t len = 0;
            if (!value(len) || len > std::size_t(m_end - m_p))
                return false;
            s = QString::fromUtf8(m_p, qsizetype(len));
            m_p += len;
        }
        return true;
    }
    bool atEnd() const { return m_p == m_end; }

private:
    const char* m_p;
    const char* m_end;
};

} // namespace

QByteArray ActivitySnapshot::toBytes() const {
    Writer w;
    const std::size_t expected = 128 + m_day.size() * 60 + m_dayTotals.size() * sizeof(DayTotals);
    w.bytes.reserve(qsizetype(expected));
    w.bytes.append(kMagic, sizeof(kMagic) - 1);
    w.value(kByteOrderMark);
    w.names(m_users);
    w.names(m_computers);
    w.array(m_day);
    w.array(m_user);
    w.array(m_computer);
    w.array(m_hours);
    w.array(m_dayTotals);
    w.array(m_pairs);
    w.array(m_usersOnSeveral);
    w.array(m_computersOfSeveral);
    w.value(snapshotChecksum(w.bytes.constData(), std::size_t(w.bytes.size())));
    return w.bytes;
}

std::shared_ptr<const ActivitySnapshot> ActivitySnapshot::fromBytes(const QByteArray& bytes) {
    const std::size_t magic = sizeof(kMagic) - 1;
    if (std::size_t(bytes.size()) < magic + 8 || std::memcmp(bytes.constData(), kMagic, magic) != 0)
        return nullptr;
    const std::size_t body = std::size_t(bytes.size()) - 8;
    std::uint64_t sum = 0;
    std::memcpy(&sum, bytes.constData() + body, 8);
    if (sum != snapshotChecksum(bytes.constData(), body))
        return nullptr;
    Reader r(bytes.constData() + magic, body - magic);
    auto snap = std::make_shared<ActivitySnapshot>();
    std::uint32_t mark = 0;
    if (!r.value(mark) || mark != kByteOrderMark || !r.names(snap->m_users) || !r.names(snap->m_computers) ||
        !r.array(snap->m_day) || !r.array(snap->m_user) || !r.array(snap->m_computer) ||
        !r.array(snap->m_hours) || !r.array(snap->m_dayTotals) || !r.array(snap->m_pairs) ||
        !r.array(snap->m_usersOnSeveral) || !r.array(snap->m_computersOfSeveral) || !r.atEnd())
        return nullptr;
    // The arrays must fit together, and every id must name an entry, before anything indexes them.
    const std::size_t n = snap->m_day.size();
    if (snap->m_user.size() != n || snap->m_computer.size() != n || snap->m_hours.size() != n * 24)
        return nullptr;
    const auto valid = [](std::uint32_t id, const std::vector<QString>& names) {
        return id == kNoName || id < names.size();
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (!valid(snap->m_user[i], snap->m_users) || !valid(snap->m_computer[i], snap->m_computers) ||
            (i > 0 && snap->m_day[i] < snap->m_day[i - 1]))
            return nullptr;
    }
    for (const NamePair& p : snap->m_pairs) {
        if (!valid(p.user, snap->m_users) || !valid(p.computer, snap->m_computers))
            return nullptr;
    }
    for (const NameCount& c : snap->m_usersOnSeveral) {
        if (!valid(c.name, snap->m_users))
            return nullptr;
    }
    for (const NameCount& c : snap->m_computersOfSeveral) {
        if (!valid(c.name, snap->m_computers))
            return nullptr;
    }
    return snap;
}

} // namespace tallyrow
