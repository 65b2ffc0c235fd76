#pragma once

#include "activity/ActivityStore.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tallyrow {

/// The columns of a store made in memory (by the builder, or by bringing a store up to date),
/// kept alive by the store that points into them.
struct OwnedColumns {
    std::vector<std::int32_t> rowDay;
    std::vector<std::uint16_t> rowHours;
    std::vector<std::int64_t> rowSource;
    std::vector<ActivityStore::Pair> pairs;
    std::vector<std::int32_t> days;
    std::vector<ActivityStore::DayFigures> dayFigures;
    std::vector<std::int64_t> runningTotal;
    std::vector<ActivityStore::SourceLeaf> leaves;
    std::uint32_t pageSize = 0;
    std::uint32_t root = 0;
    /// A second segment of rows, over a first one `base` keeps alive (rows above stay empty).
    std::vector<std::int32_t> extraDay;
    std::vector<std::uint16_t> extraHours;
    std::vector<std::int64_t> extraSource;
    std::shared_ptr<const void> base;
    ActivityStore::Columns baseRows; ///< rowDay, rowHours, rows, rowSource of `base`

    /// The columns as a store reads them.
    ActivityStore::Columns columns() const {
        ActivityStore::Columns c;
        c.rowDay = rowDay.data();
        c.rowHours = rowHours.data();
        c.rows = rowDay.size();
        c.pairs = pairs.data();
        c.pairCount = pairs.size();
        c.days = days.data();
        c.dayFigures = dayFigures.data();
        c.runningTotal = runningTotal.data();
        c.dayCount = days.size();
        c.rowSource = rowSource.empty() ? nullptr : rowSource.data();
        if (base) {
            c.rowDay = baseRows.rowDay;
            c.rowHours = baseRows.rowHours;
            c.rows = baseRows.rows;
            c.rowSource = baseRows.rowSource;
            c.extraDay = extraDay.data();
            c.extraHours = extraHours.data();
            c.extraSource = extraSource.data();
            c.extraRows = extraDay.size();
        }
        if (pageSize != 0 && c.rowSource)
            c.source = {pageSize, root, leaves.data(), leaves.size()};
        return c;
    }
};

} // namespace tallyrow
