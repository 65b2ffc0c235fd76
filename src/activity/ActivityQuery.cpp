#include "activity/ActivityQuery.h"

#include <algorithm>

#include <QStringList>

#include "support/Printable.h"

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

const QDate kDayZero(2000, 1, 1);

} // namespace

std::int64_t activityDayNumber(const QDate& date) {
    return kDayZero.daysTo(date);
}

DayRange DayRange::of(const DateRange& range) {
    if (!range.isValid())
        return {};
    return {activityDayNumber(range.start), activityDayNumber(range.end)};
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

ActivityQuery ActivityQuery::peopleTotals(DayRange range, QString user, QString computer,
                                          std::uint8_t weekdays, PeopleGrouping grouping) {
    ActivityQuery q =
        hourAggregates(range, std::move(user), std::move(computer), weekdays, HourAggregate::Total);
    q.shape = Shape::PeopleTotals;
    q.grouping = grouping;
    return q;
}

namespace {

// The name as lines group it: folded as --user compares names, and a missing name the same as
// an empty one.
QString groupedName(const std::optional<QString>& name) {
    return name && !name->isEmpty() ? u'+' + name->toCaseFolded() : u"-"_s;
}

// Whether `a` comes before `b` in the report's order of names: a missing name first, then an
// empty one, then by UTF-16 code units.
bool nameBefore(const std::optional<QString>& a, const std::optional<QString>& b) {
    if (!a || !b)
        return !a && b;
    return *a < *b;
}

} // namespace

void PeopleTally::add(const std::optional<QString>& user, const std::optional<QString>& computer,
                      std::int64_t day, std::int64_t seconds) {
    if (seconds <= 0)
        return;
    std::optional<QString> u = m_grouping == PeopleGrouping::Computer ? std::nullopt : user;
    std::optional<QString> c = m_grouping == PeopleGrouping::User ? std::nullopt : computer;
    const QString key = groupedName(u) + QChar(0) + groupedName(c);
    auto it = m_index.constFind(key);
    if (it == m_index.constEnd()) {
        it = m_index.insert(key, m_lines.size());
        m_lines.push_back({PersonTotal{u, c, 0, 0}, {}});
    }
    Line& line = m_lines[*it];
    // Spellings of one name make one line, shown in the spelling that comes first.
    const auto keepFirst = [](std::optional<QString>& shown, const std::optional<QString>& name) {
        if (nameBefore(name, shown))
            shown = name;
    };
    if (m_grouping != PeopleGrouping::Computer)
        keepFirst(line.total.user, u);
    if (m_grouping != PeopleGrouping::User)
        keepFirst(line.total.computer, c);
    line.total.seconds += seconds;
    line.days.push_back(day);
}

std::vector<PersonTotal> PeopleTally::finish() const {
    std::vector<PersonTotal> people;
    people.reserve(m_lines.size());
    for (const Line& line : m_lines) {
        std::vector<std::int64_t> days = line.days;
        std::sort(days.begin(), days.end());
        PersonTotal t = line.total;
        t.activeDays = std::int64_t(std::unique(days.begin(), days.end()) - days.begin());
        people.push_back(t);
    }
    rank(people);
    return people;
}

void PeopleTally::rank(std::vector<PersonTotal>& people) {
    std::sort(people.begin(), people.end(), [&](const PersonTotal& a, const PersonTotal& b) {
        if (a.seconds != b.seconds)
            return a.seconds > b.seconds;
        if (a.user != b.user)
            return nameBefore(a.user, b.user);
        return nameBefore(a.computer, b.computer);
    });
}

QString PeopleTally::lineKey(const std::optional<QString>& name) {
    return groupedName(name);
}

bool PeopleTally::shownBefore(const std::optional<QString>& a, const std::optional<QString>& b) {
    return nameBefore(a, b);
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
    static const char* const kShapes[] = {"hour aggregates", "range seconds", "user list", "people totals"};
    static const char* const kAggregates[] = {"average", "total", "maximum", "minimum"};
    QStringList parts{QLatin1String(kShapes[int(shape)])};
    if (shape == Shape::UserList)
        return parts.front();
    QStringList ranges;
    for (const DayRange& r : this->ranges)
        ranges << u"%1..%2"_s.arg(r.first).arg(r.last);
    parts << u"days "_s + ranges.join(u',');
    parts << u"user \"%1\" computer \"%2\""_s.arg(printable(user), printable(computer));
    if (shape == Shape::HourAggregates)
        parts << u"weekdays %1 %2"_s.arg(weekdays, 0, 2).arg(QLatin1String(kAggregates[int(aggregate)]));
    if (shape == Shape::PeopleTotals)
        parts << u"weekdays %1 by %2"_s.arg(weekdays, 0, 2).arg(int(grouping));
    return parts.join(u"; "_s);
}

} // namespace tallyrow
