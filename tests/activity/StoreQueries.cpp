#include "activity/StoreQueries.h"

namespace tallyrow::test {

std::vector<ActivityQuery> probeQueries(const std::vector<QString>& users,
                                        const std::vector<QString>& computers) {
    const DayRange all{-100000, 100000};
    std::vector<ActivityQuery> queries{ActivityQuery::userList(),
                                       ActivityQuery::rangeSeconds({all, {0, 6}, {7, 400}}, {}, {})};
    for (const HourAggregate a :
         {HourAggregate::Average, HourAggregate::Total, HourAggregate::Maximum, HourAggregate::Minimum})
        queries.push_back(ActivityQuery::hourAggregates(all, {}, {}, ActivityQuery::kEveryWeekday, a));
    for (std::size_t i = 0; i < std::min<std::size_t>(users.size(), 3); ++i) {
        queries.push_back(ActivityQuery::rangeSeconds({all, {0, 3}}, users[i], {}));
        queries.push_back(ActivityQuery::hourAggregates(all, users[i], {}, 0x55, HourAggregate::Average));
    }
    for (const PeopleGrouping by : {PeopleGrouping::User, PeopleGrouping::Computer, PeopleGrouping::Pair})
        queries.push_back(ActivityQuery::peopleTotals(all, {}, {}, 0x3E, by));
    for (std::size_t i = 0; i < std::min<std::size_t>(computers.size(), 3); ++i)
        queries.push_back(ActivityQuery::hourAggregates(all, {}, computers[i], 0x7F, HourAggregate::Maximum));
    return queries;
}

bool StoreFigures::operator==(const StoreFigures& other) const {
    if (answers.size() != other.answers.size())
        return false;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        if (!answers[i].sameFigures(other.answers[i]))
            return false;
    }
    return true;
}

StoreFigures figuresOf(const ActivityStore& store) {
    StoreFigures f;
    for (const ActivityQuery& q : probeQueries(store.users(), store.computers()))
        f.answers.push_back(store.answer(q));
    return f;
}

} // namespace tallyrow::test
