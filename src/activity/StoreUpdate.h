#pragma once

#include "activity/ActivityStore.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tallyrow {

/// The row ids above `low` and up to `high` (`low` INT64_MIN: from the first row id on).
struct RowIdRange {
    std::int64_t low = 0;
    std::int64_t high = 0;
    bool holds(std::int64_t id) const { return (id > low || low == INT64_MIN) && id <= high; }
};

/// The store of a later state of a file: `base`, a store of an earlier state, without its rows in
/// `replaced` (ascending, apart), with `added` (the rows the file now holds in those ranges) in
/// their place, and with `leaves` as where the rows now lie. Both stores must know every row's row
/// id. Equal in every column to a store read whole from the later state. Throws StoreDamaged when a
/// block of `base` it copies is damaged.
std::shared_ptr<const ActivityStore> mergeStore(const ActivityStore& base,
                                                const std::vector<RowIdRange>& replaced,
                                                const ActivityStore& added,
                                                std::vector<ActivityStore::SourceLeaf> leaves);

} // namespace tallyrow
