#include "activity/ActivityQuery.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

const QDate kDayZero(2000, 1, 1);

} // namespace

std::int64_t activityDayNumber(const QDate& date) {
    return kDayZero.daysTo(date);
}

DayRange DayRange::between(const QDate& from, const QDate& to) {
    if (!from.isValid() || !to.isValid())
        return {};
    return {activityDayNumber(from), activityDayNumber(to)};
}

DayRange DayRange::upTo(const QDate& from, const QDate& next) {
    if (!from.isValid() || !next.isValid())
        return {};
    return {activityDayNumber(from), activityDayNumber(next) - 1};
}

std::int32_t activityDayRemainder(std::int64_t day) {
    return static_cast<std::int32_t>(((day % 7) + 7) % 7);
}

bool activityNameMatches(const std::optional<QString>& name, const QString& filter) {
    if (!name)
        return false;
    // Qt's simple case folding, letter by letter, for every letter (so "ß" stays apart from "ss"):
    // the fold every data file's connection compares names with.
    return name->toCaseFolded() == filter.toCaseFolded();
}

ActivityQuery ActivityQuery::hourAggregates(DayRange range, QString user, QString computer,
                                            std::uint8_t weekdays, HourAggregate aggregate) {
    ActivityQuery q;
    q.shape = Shape::HourAggregates;
    q.ranges = {range};
    q.user = std::move(user);
    q.computer = std::move(computer);
    q.weekdays = weekdays & kEveryWeekday;
    q.aggregate = aggregate;
    return q;
}

ActivityQuery ActivityQuery::rangeSeconds(std::vector<DayRange> ranges, QString user, QString computer) {
    ActivityQuery q;
    q.shape = Shape::RangeSeconds;
    q.ranges = std::move(ranges);
    q.user = std::move(user);
    q.computer = std::move(computer);
    return q;
}

ActivityQuery ActivityQuery::userList() {
    ActivityQuery q;
    q.shape = Shape::UserList;
    return q;
}

DayRange ActivityQuery::span() const {
    DayRange s;
    bool any = false;
    if (shape == Shape::UserList)
        return s;
    for (const DayRange& r : ranges) {
        if (r.empty())
            continue;
        s.first = any ? std::min(s.first, r.first) : r.first;
        s.last = any ? std::max(s.last, r.last) : r.last;
        any = true;
    }
    return any ? s : DayRange{};
}

QString ActivityQuery::describe() const {
    static const char* const kShapes[] = {"hour aggregates", "range seconds", "user list"};
    static const char* const kAggregates[] = {"average", "total", "maximum", "minimum"};
    QStringList parts{QLatin1String(kShapes[int(shape)])};
    if (shape == Shape::UserList)
        return parts.front();
    QStringList ranges;
    for (const DayRange& r : this->ranges)
        ranges << u"%1..%2"_s.arg(r.first).arg(r.last);
    parts << u"days "_s + ranges.join(u',');
    parts << u"user \"%1\" computer \"%2\""_s.arg(user, computer);
    if (shape == Shape::HourAggregates)
        parts << u"weekdays %1 %2"_s.arg(weekdays, 0, 2).arg(QLatin1String(kAggregates[int(aggregate)]));
    return parts.join(u"; "_s);
}

} // namespace tallyrow
