#include "activity/StoreUpdate.h"

#include "activity/OwnedColumns.h"

#include <algorithm>
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

    std::shared_ptr<OwnedColumns> run(std::vector<QString>& users, std::vector<QString>& computers) {
        users = unitedNames(m_base.users(), m_added.users(), m_baseUser, m_addedUser);
        computers = unitedNames(m_base.computers(), m_added.computers(), m_baseComputer, m_addedComputer);
        m_out = std::make_shared<OwnedColumns>();
        m_out->rowDay.reserve(m_b.rows + m_a.rows);
        m_out->rowHours.reserve((m_b.rows + m_a.rows) * 24);
        m_out->rowSource.reserve(m_b.rows + m_a.rows);
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
    void noteDay(std::int32_t day) { m_touchedDays.push_back(day); }

    void copyRows(const ActivityStore::Columns& c, std::size_t from, std::size_t count) {
        m_out->rowDay.insert(m_out->rowDay.end(), c.rowDay + from, c.rowDay + from + count);
        m_out->rowHours.insert(m_out->rowHours.end(), c.rowHours + from * 24,
                               c.rowHours + (from + count) * 24);
        m_out->rowSource.insert(m_out->rowSource.end(), c.rowSource + from, c.rowSource + from + count);
    }

    void mergePair(const Pair* b, const Pair* a, std::uint64_t k) {
        Pair out;
        out.user = std::uint32_t(k >> 32);
        out.computer = std::uint32_t(k);
        out.firstRow = std::uint32_t(m_out->rowDay.size());
        std::size_t bi = b ? b->firstRow : 0;
        const std::size_t bEnd = b ? bi + b->rowCount : 0;
        if (b)
            m_base.checkBlocks(bi, bEnd);
        bool changed = a != nullptr;
        for (std::size_t r = bi; r < bEnd && !changed; ++r)
            changed = removed(m_b.rowSource[r]);
        if (!changed) {
            copyRows(m_b, bi, bEnd - bi);
            out.rowCount = b->rowCount;
            out.firstDay = b->firstDay;
            out.firstSource = b->firstSource;
            m_out->pairs.push_back(out);
            return;
        }
        std::size_t ai = a ? a->firstRow : 0;
        const std::size_t aEnd = a ? ai + a->rowCount : 0;
        for (;;) {
            while (bi < bEnd && removed(m_b.rowSource[bi])) {
                noteDay(m_b.rowDay[bi]);
                ++bi;
            }
            if (bi == bEnd && ai == aEnd)
                break;
            const bool fromBase = ai == aEnd || (bi < bEnd && (m_b.rowDay[bi] != m_a.rowDay[ai]
                                                                   ? m_b.rowDay[bi] < m_a.rowDay[ai]
                                                                   : m_b.rowSource[bi] < m_a.rowSource[ai]));
            if (fromBase) {
                copyRows(m_b, bi++, 1);
            } else {
                noteDay(m_a.rowDay[ai]);
                copyRows(m_a, ai++, 1);
            }
        }
        out.rowCount = std::uint32_t(m_out->rowDay.size() - out.firstRow);
        if (out.rowCount == 0)
            return; // every row of the pair is gone
        const std::int64_t* sources = m_out->rowSource.data() + out.firstRow;
        if (m_base.grouping().keyIndexOrder) {
            out.firstDay = m_out->rowDay[out.firstRow];
            out.firstSource = place(sources[0]); // rows lie by day, then row id
        } else {
            out.firstDay = 0;
            out.firstSource = place(*std::min_element(sources, sources + out.rowCount));
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

    // The days and their figures: those of untouched days as they were, those of days that lost
    // or gained a row made again from the rows.
    void dayTables() {
        std::sort(m_touchedDays.begin(), m_touchedDays.end());
        m_touchedDays.erase(std::unique(m_touchedDays.begin(), m_touchedDays.end()), m_touchedDays.end());
        std::vector<ActivityStore::DayFigures> touched(m_touchedDays.size());
        for (ActivityStore::DayFigures& f : touched) {
            std::memset(&f, 0, sizeof f);
            std::fill(std::begin(f.min), std::end(f.min), ActivityStore::kNoHour);
        }
        std::vector<char> anyRow(m_touchedDays.size(), 0);
        if (!m_touchedDays.empty()) {
            const std::int32_t lo = m_touchedDays.front();
            const std::int32_t hi = m_touchedDays.back();
            for (std::size_t r = 0; r < m_out->rowDay.size(); ++r) {
                const std::int32_t day = m_out->rowDay[r];
                if (day < lo || day > hi)
                    continue;
                const auto at = std::lower_bound(m_touchedDays.begin(), m_touchedDays.end(), day);
                if (at == m_touchedDays.end() || *at != day)
                    continue;
                const auto k = std::size_t(at - m_touchedDays.begin());
                anyRow[k] = 1;
                addRow(touched[k], &m_out->rowHours[r * 24]);
            }
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

    static void addRow(ActivityStore::DayFigures& f, const std::uint16_t* h) {
        for (std::size_t k = 0; k < 24; ++k) {
            if (h[k] == ActivityStore::kNoHour)
                continue;
            f.sum[k] += h[k];
            ++f.count[k];
            f.max[k] = std::max(f.max[k], h[k]);
            f.min[k] = std::min(f.min[k], h[k]);
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
    std::vector<std::int32_t> m_touchedDays;
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
                                                 std::shared_ptr<const void>(owned));
}

} // namespace tallyrow
