#pragma once

#include "activity/ActivityStore.h"

#include <QString>

#include <vector>

namespace tallyrow::test {

/// The seconds of the rows in `range` that pass the filters.
inline std::int64_t secondsIn(const ActivityStore& store, DayRange range, const QString& user = {},
                              const QString& computer = {}) {
    return store.answer(ActivityQuery::rangeSeconds({range}, user, computer)).seconds.front();
}

/// A spread of questions whose answers together tell two stores of the same rows from others:
/// every shape, filters that hit and miss, every aggregate, all rows and some days.
std::vector<ActivityQuery> probeQueries(const std::vector<QString>& users,
                                        const std::vector<QString>& computers);

/// The answers of a store to probeQueries over its own names (figures only).
struct StoreFigures {
    std::vector<ActivityAnswer> answers;
    bool operator==(const StoreFigures& other) const;
};
StoreFigures figuresOf(const ActivityStore& store);

} // namespace tallyrow::test
