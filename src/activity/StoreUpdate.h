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
/// id. The rows of the pairs that changed lie in a second segment; the others stay where they lie
/// in `base` (kept alive by the result), so a change costs what it changed. Answers as a store
/// read whole from the later state does. Throws StoreDamaged when a block of `base` it hands on is
/// damaged.
std::shared_ptr<const ActivityStore> mergeStore(const ActivityStore& base,
                                                const std::vector<RowIdRange>& replaced,
                                                const ActivityStore& added,
                                                std::vector<ActivityStore::SourceLeaf> leaves);

/// The same store with its rows in one segment, in pair order, as a store read whole holds them.
/// Throws StoreDamaged when a block it copies is damaged.
std::shared_ptr<const ActivityStore> flattenStore(const ActivityStore& store);

} // namespace tallyrow
