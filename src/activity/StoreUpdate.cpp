#include "activity/StoreUpdate.h"

#include "activity/OwnedColumns.h"

#include <algorithm>
#include <map>
#include <cstring>
#include <numeric>

namespace tallyrow {

namespace {

using Pair = ActivityStore::Pair;

// The union of two sorted name tables, with each table's old id → new id.
std::vector<QString> unitedNames(const std::vector<QString>& a, const std::vector<QString>& b,
                                 std::vector<std::uint32_t>& fromA, std::vector<std::uint32_t>& fromB) {
    std::vector<QString> names;
    names.reserve(a.size() + b.size());
    fromA.resize(a.size());
    fromB.resize(b.size());
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() || j < b.size()) {
        const bool takeA = j == b.size() || (i < a.size() && !(b[j] < a[i]));
        const bool takeB = i == a.size() || (j < b.size() && !(a[i] < b[j]));
        const auto id = std::uint32_t(names.size());
        names.push_back(takeA ? a[i] : b[j]);
        if (takeA)
            fromA[i++] = id;
        if (takeB)
            fromB[j++] = id;
    }
    return names;
}

std::uint32_t mapped(const std::vector<std::uint32_t>& ids, std::uint32_t id) {
    return id == ActivityStore::kNoName ? id : ids[id];
}

// A row's place in reading order, as the builder keeps it.
std::uint64_t place(std::int64_t rowId) {
    return std::uint64_t(rowId) ^ (1ULL << 63);
}

class Merger {
public:
    Merger(const ActivityStore& base, const std::vector<RowIdRange>& replaced, const ActivityStore& added)
        : m_base(base), m_b(base.columns()), m_replaced(replaced), m_added(added), m_a(added.columns()) {
        if (!replaced.empty()) {
            m_lowest = replaced.front().low;
            m_highest = replaced.back().high;
        }
    }

    // The pairs that changed take their rows into a second segment; the others keep theirs where
    // they lie in the first (or are carried over from the earlier second segment).
    std::shared_ptr<OwnedColumns> run(std::vector<QString>& users, std::vector<QString>& computers) {
        users = unitedNames(m_base.users(), m_added.users(), m_baseUser, m_addedUser);
        computers = unitedNames(m_base.computers(), m_added.computers(), m_baseComputer, m_addedComputer);
        m_out = std::make_shared<OwnedColumns>();
        m_out->base = m_base.firstRowsOwner();
        m_out->baseRows.rowDay = m_b.rowDay;
        m_out->baseRows.rowHours = m_b.rowHours;
        m_out->baseRows.rows = m_b.rows;
        m_out->baseRows.rowSource = m_b.rowSource;
        std::size_t i = 0;
        std::size_t j = 0;
        while (i < m_b.pairCount || j < m_a.pairCount) {
            const Pair* b = i < m_b.pairCount ? &m_b.pairs[i] : nullptr;
            const Pair* a = j < m_a.pairCount ? &m_a.pairs[j] : nullptr;
            const auto bk = b ? key(mapped(m_baseUser, b->user), mapped(m_baseComputer, b->computer)) : ~0ULL;
            const auto ak =
                a ? key(mapped(m_addedUser, a->user), mapped(m_addedComputer, a->computer)) : ~0ULL;
            const bool takeB = b && (!a || bk <= ak);
            const bool takeA = a && (!b || ak <= bk);
            mergePair(takeB ? b : nullptr, takeA ? a : nullptr, takeB ? bk : ak);
            i += takeB ? 1 : 0;
            j += takeA ? 1 : 0;
        }
        keepNamesInUse(users, &Pair::user);
        keepNamesInUse(computers, &Pair::computer);
        dayTables();
        return m_out;
    }

private:
    static std::uint64_t key(std::uint32_t user, std::uint32_t computer) {
        return (std::uint64_t(user) << 32) | computer;
    }
    bool removed(std::int64_t id) const {
        if (m_replaced.empty() || (id <= m_lowest && m_lowest != INT64_MIN) || id > m_highest)
            return false;
        const auto it = std::lower_bound(m_replaced.begin(), m_replaced.end(), id,
                                         [](const RowIdRange& r, std::int64_t v) { return r.high < v; });
        return it != m_replaced.end() && it->holds(id);
    }
    // The figures a day lost (a row read again or gone) or gained (a row read).
    struct DayChange {
        ActivityStore::DayFigures removed = ActivityStore::DayFigures::none();
        ActivityStore::DayFigures added = ActivityStore::DayFigures::none();
    };
    void noteRemoved(std::int32_t day, const std::uint16_t* hours) { m_dayChanges[day].removed.add(hours); }
    void noteAdded(std::int32_t day, const std::uint16_t* hours) { m_dayChanges[day].added.add(hours); }

    void copyRow(const ActivityStore::RowSpan& s, std::size_t r) {
        m_out->extraDay.push_back(s.day[r]);
        m_out->extraHours.insert(m_out->extraHours.end(), s.hours + r * 24, s.hours + (r + 1) * 24);
        m_out->extraSource.push_back(s.source[r]);
    }

    // The rows of a pair without a check of their blocks: only the row ids are looked at.
    ActivityStore::RowSpan unchecked(const ActivityStore::Columns& c, const Pair& p) const {
        const bool extra = (p.firstRow & ActivityStore::kExtraRows) != 0;
        ActivityStore::RowSpan s;
        s.day = extra ? c.extraDay : c.rowDay;
        s.hours = extra ? c.extraHours : c.rowHours;
        s.source = extra ? c.extraSource : c.rowSource;
        s.from = p.firstRow & ~ActivityStore::kExtraRows;
        s.to = s.from + p.rowCount;
        return s;
    }

    void mergePair(const Pair* b, const Pair* a, std::uint64_t k) {
        Pair out;
        out.user = std::uint32_t(k >> 32);
        out.computer = std::uint32_t(k);
        const ActivityStore::RowSpan bs = b ? unchecked(m_b, *b) : ActivityStore::RowSpan{};
        bool changed = a != nullptr;
        for (std::size_t r = bs.from; r < bs.to && !changed; ++r)
            changed = removed(bs.source[r]);
        if (!changed && (b->firstRow & ActivityStore::kExtraRows) == 0) {
            out = *b; // its rows stay where they lie
            out.user = std::uint32_t(k >> 32);
            out.computer = std::uint32_t(k);
            m_out->pairs.push_back(out);
            return;
        }
        // Rows handed on are checked first: a damaged copy never passes its damage on.
        const ActivityStore::RowSpan checked = b ? m_base.rowsOf(*b) : ActivityStore::RowSpan{};
        const ActivityStore::RowSpan as = a ? m_added.rowsOf(*a) : ActivityStore::RowSpan{};
        const std::size_t first = m_out->extraDay.size();
        std::size_t bi = checked.from;
        std::size_t ai = as.from;
        for (;;) {
            while (bi < checked.to && removed(checked.source[bi])) {
                noteRemoved(checked.day[bi], checked.hours + bi * 24);
                ++bi;
            }
            if (bi == checked.to && ai == as.to)
                break;
            const bool fromBase =
                ai == as.to ||
                (bi < checked.to && (checked.day[bi] != as.day[ai] ? checked.day[bi] < as.day[ai]
                                                                   : checked.source[bi] < as.source[ai]));
            if (fromBase) {
                copyRow(checked, bi++);
            } else {
                noteAdded(as.day[ai], as.hours + ai * 24);
                copyRow(as, ai++);
            }
        }
        out.firstRow = std::uint32_t(first) | ActivityStore::kExtraRows;
        out.rowCount = std::uint32_t(m_out->extraDay.size() - first);
        if (out.rowCount == 0)
            return; // every row of the pair is gone
        if (!changed) {
            out.firstDay = b->firstDay;
            out.firstSource = b->firstSource;
        } else {
            const std::int64_t* sources = m_out->extraSource.data() + first;
            if (m_base.grouping().keyIndexOrder) {
                out.firstDay = m_out->extraDay[first];
                out.firstSource = place(sources[0]); // rows lie by day, then row id
            } else {
                out.firstDay = 0;
                out.firstSource = place(*std::min_element(sources, sources + out.rowCount));
            }
        }
        m_out->pairs.push_back(out);
    }

    // Only names some row still has stay, in order, as a store read whole keeps them.
    void keepNamesInUse(std::vector<QString>& names, std::uint32_t Pair::*id) {
        std::vector<std::uint32_t> newId(names.size(), 0);
        for (const Pair& p : m_out->pairs) {
            if (p.*id != ActivityStore::kNoName)
                newId[p.*id] = 1;
        }
        std::vector<QString> kept;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (newId[i]) {
                newId[i] = std::uint32_t(kept.size());
                kept.push_back(std::move(names[i]));
            }
        }
        names = std::move(kept);
        for (Pair& p : m_out->pairs) {
            if (p.*id != ActivityStore::kNoName)
                p.*id = newId[p.*id];
        }
    }

    // The largest (or, with `less`, smallest) value of an hour and how many rows hold it, from
    // those of the day before and of the rows it lost and gained; false when the rows that held
    // it all went and nothing as large came (the day's rows then tell).
    template <typename Less>
    static bool followedExtreme(std::uint16_t& value, std::int32_t& holders, std::int32_t kept,
                                std::uint16_t gone, std::int32_t goneHolders, std::uint16_t came,
                                std::int32_t cameHolders, Less less) {
        if (kept > 0) {
            holders -= goneHolders > 0 && gone == value ? goneHolders : 0;
            if (holders == 0 && !(cameHolders > 0 && !less(came, value)))
                return false;
        }
        if (kept == 0 || holders == 0 || (cameHolders > 0 && less(value, came))) {
            value = came;
            holders = cameHolders;
        } else if (cameHolders > 0 && came == value) {
            holders += cameHolders;
        }
        return true;
    }

    // The figures of a day from its figures before and what it lost and gained; false when that
    // cannot tell the largest or smallest value of an hour, or whether the day still has a row (no
    // hour holds a value): then its rows tell.
    static bool followed(const ActivityStore::DayFigures* old, const DayChange& c,
                         ActivityStore::DayFigures& out) {
        out = old ? *old : ActivityStore::DayFigures::none();
        bool anyValue = false;
        const auto greater = [](std::uint16_t a, std::uint16_t b) { return a < b; };
        const auto smaller = [](std::uint16_t a, std::uint16_t b) { return a > b; };
        for (std::size_t h = 0; h < 24; ++h) {
            const std::int32_t kept = out.count[h] - c.removed.count[h];
            const std::int32_t came = c.added.count[h];
            out.sum[h] += c.added.sum[h] - c.removed.sum[h];
            out.count[h] = kept + came;
            anyValue = anyValue || out.count[h] > 0;
            if (!followedExtreme(out.max[h], out.maxCount[h], kept, c.removed.max[h],
                                 c.removed.count[h] > 0 ? c.removed.maxCount[h] : 0, c.added.max[h],
                                 came > 0 ? c.added.maxCount[h] : 0, greater) ||
                !followedExtreme(out.min[h], out.minCount[h], kept, c.removed.min[h],
                                 c.removed.count[h] > 0 ? c.removed.minCount[h] : 0, c.added.min[h],
                                 came > 0 ? c.added.minCount[h] : 0, smaller))
                return false;
            if (out.count[h] == 0) {
                out.max[h] = 0;
                out.min[h] = ActivityStore::kNoHour;
                out.maxCount[h] = out.minCount[h] = 0;
            }
        }
        return anyValue;
    }

    // The figures of the days whose rows must tell them, from every row they now have.
    std::vector<ActivityStore::DayFigures> touchedFigures(std::vector<char>& anyRow) {
        std::vector<ActivityStore::DayFigures> touched(m_touchedDays.size());
        for (ActivityStore::DayFigures& f : touched) {
            std::memset(&f, 0, sizeof f);
            std::fill(std::begin(f.min), std::end(f.min), ActivityStore::kNoHour);
        }
        anyRow.assign(m_touchedDays.size(), 0);
        if (m_touchedDays.empty())
            return touched;
        const ActivityStore::Columns now = m_out->columns();
        const std::int32_t lo = m_touchedDays.front();
        const std::int32_t hi = m_touchedDays.back();
        for (const Pair& p : m_out->pairs) {
            const ActivityStore::RowSpan s = unchecked(now, p);
            // A pair's rows lie by day: only those from the first touched day on are looked at.
            const std::int32_t* from = std::lower_bound(s.day + s.from, s.day + s.to, lo);
            for (std::size_t r = std::size_t(from - s.day); r < s.to && s.day[r] <= hi; ++r) {
                const auto at = std::lower_bound(m_touchedDays.begin(), m_touchedDays.end(), s.day[r]);
                if (*at != s.day[r])
                    continue;
                if ((p.firstRow & ActivityStore::kExtraRows) == 0)
                    m_base.checkBlocks(false, r, r + 1);
                const auto k = std::size_t(at - m_touchedDays.begin());
                anyRow[k] = 1;
                touched[k].add(s.hours + r * 24);
            }
        }
        return touched;
    }

    // The days and their figures: those of untouched days as they were, those of days that lost
    // or gained a row made again from the rows.
    void dayTables() {
        // Days whose figures follow from what they lost and gained; the rest are made from rows.
        std::map<std::int32_t, ActivityStore::DayFigures> followedDays;
        for (const auto& [day, change] : m_dayChanges) {
            const auto* at = std::lower_bound(m_b.days, m_b.days + m_b.dayCount, day);
            const bool had = at != m_b.days + m_b.dayCount && *at == day;
            ActivityStore::DayFigures f;
            if (followed(had ? &m_b.dayFigures[at - m_b.days] : nullptr, change, f))
                followedDays[day] = f;
            else
                m_touchedDays.push_back(day);
        }
        std::vector<char> anyRow;
        std::vector<ActivityStore::DayFigures> touched = touchedFigures(anyRow);
        for (const auto& [day, f] : followedDays) {
            const auto at = std::lower_bound(m_touchedDays.begin(), m_touchedDays.end(), day);
            touched.insert(touched.begin() + (at - m_touchedDays.begin()), f);
            anyRow.insert(anyRow.begin() + (at - m_touchedDays.begin()), 1);
            m_touchedDays.insert(at, day);
        }
        std::size_t d = 0;
        std::size_t t = 0;
        while (d < m_b.dayCount || t < m_touchedDays.size()) {
            if (t < m_touchedDays.size() && (d == m_b.dayCount || m_touchedDays[t] <= m_b.days[d])) {
                if (anyRow[t]) {
                    m_out->days.push_back(m_touchedDays[t]);
                    m_out->dayFigures.push_back(touched[t]);
                }
                if (d < m_b.dayCount && m_touchedDays[t] == m_b.days[d])
                    ++d; // made again above
                ++t;
            } else {
                m_out->days.push_back(m_b.days[d]);
                m_out->dayFigures.push_back(m_b.dayFigures[d]);
                ++d;
            }
        }
        m_out->runningTotal.resize(m_out->days.size());
        std::int64_t running = 0;
        for (std::size_t k = 0; k < m_out->days.size(); ++k) {
            const ActivityStore::DayFigures& f = m_out->dayFigures[k];
            running += std::accumulate(std::begin(f.sum), std::end(f.sum), std::int64_t{0});
            m_out->runningTotal[k] = running;
        }
    }

    const ActivityStore& m_base;
    const ActivityStore::Columns& m_b;
    const std::vector<RowIdRange>& m_replaced;
    const ActivityStore& m_added;
    const ActivityStore::Columns& m_a;
    std::int64_t m_lowest = 0;
    std::int64_t m_highest = 0;
    std::vector<std::uint32_t> m_baseUser, m_addedUser, m_baseComputer, m_addedComputer;
    std::vector<std::int32_t> m_touchedDays; ///< ascending
    std::map<std::int32_t, DayChange> m_dayChanges;
    std::shared_ptr<OwnedColumns> m_out;
};

} // namespace

std::shared_ptr<const ActivityStore> mergeStore(const ActivityStore& base,
                                                const std::vector<RowIdRange>& replaced,
                                                const ActivityStore& added,
                                                std::vector<ActivityStore::SourceLeaf> leaves) {
    std::vector<QString> users;
    std::vector<QString> computers;
    std::shared_ptr<OwnedColumns> owned = Merger(base, replaced, added).run(users, computers);
    owned->pageSize = base.columns().source.pageSize;
    owned->root = base.columns().source.root;
    owned->leaves = std::move(leaves);
    const ActivityStore::Columns c = owned->columns();
    return std::make_shared<const ActivityStore>(base.grouping(), std::move(users), std::move(computers), c,
                                                 std::shared_ptr<const void>(owned), base.blockSums(),
                                                 nullptr, base.firstRowsOwner());
}

std::shared_ptr<const ActivityStore> flattenStore(const ActivityStore& store) {
    auto owned = std::make_shared<OwnedColumns>();
    const ActivityStore::Columns& c = store.columns();
    owned->rowDay.reserve(c.rows + c.extraRows);
    owned->rowHours.reserve((c.rows + c.extraRows) * 24);
    owned->rowSource.reserve(c.rows + c.extraRows);
    for (std::size_t p = 0; p < c.pairCount; ++p) {
        const ActivityStore::RowSpan s = store.rowsOf(c.pairs[p]);
        ActivityStore::Pair pair = c.pairs[p];
        pair.firstRow = std::uint32_t(owned->rowDay.size());
        owned->rowDay.insert(owned->rowDay.end(), s.day + s.from, s.day + s.to);
        owned->rowHours.insert(owned->rowHours.end(), s.hours + s.from * 24, s.hours + s.to * 24);
        owned->rowSource.insert(owned->rowSource.end(), s.source + s.from, s.source + s.to);
        owned->pairs.push_back(pair);
    }
    owned->days.assign(c.days, c.days + c.dayCount);
    owned->dayFigures.assign(c.dayFigures, c.dayFigures + c.dayCount);
    owned->runningTotal.assign(c.runningTotal, c.runningTotal + c.dayCount);
    owned->pageSize = c.source.pageSize;
    owned->root = c.source.root;
    owned->leaves.assign(c.source.leaves, c.source.leaves + c.source.leafCount);
    const ActivityStore::Columns flat = owned->columns();
    return std::make_shared<const ActivityStore>(store.grouping(), store.users(), store.computers(), flat,
                                                 std::shared_ptr<const void>(owned));
}

} // namespace tallyrow
