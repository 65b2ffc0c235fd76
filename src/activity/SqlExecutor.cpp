#include "activity/SqlExecutor.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "support/StepRunner.h"

#include <QStringList>

#include <algorithm>
#include <map>

using namespace Qt::StringLiterals;

namespace tallyrow {

ActivitySource::~ActivitySource() = default;

namespace {

QString literal(const QString& text) {
    QString quoted = text;
    quoted.replace(u'\'', u"''"_s);
    return u'\'' + quoted + u'\'';
}

// How a statement for a source is written: which names it selects to be checked here, whether
// it narrows by name on the source, whether it reads the per-day rollup.
struct Layout {
    explicit Layout(const ActivityQuery& q, const SourceTraits& traits) : traits(traits) {
        const bool allUsers = q.user.isEmpty() && q.computer.isEmpty();
        const bool sums = q.shape == ActivityQuery::Shape::RangeSeconds ||
                          (q.shape == ActivityQuery::Shape::HourAggregates &&
                           (q.aggregate == HourAggregate::Average || q.aggregate == HourAggregate::Total));
        rollup = traits.dayRollup && allUsers && sums;
        if (traits.names != SourceTraits::NameComparison::Exact) {
            // The source may take names the files do not: it groups by the spellings it takes, and
            // only those the program's own folding takes are kept.
            if (!q.user.isEmpty())
                checked.emplace_back(u"UserName"_s, q.user);
            if (!q.computer.isEmpty())
                checked.emplace_back(u"ComputerName"_s, q.computer);
        }
    }

    QString spelled(const QString& column) const { return traits.spelling.arg(column); }

    // "UserName, " and the like: the checked names first, in every select list and GROUP BY.
    QString names(bool aliased) const {
        QString list;
        for (const auto& [column, filter] : checked)
            list += spelled(column) + (aliased ? u" AS "_s + column : QString()) + u", "_s;
        return list;
    }

    // " AND UserName='…' AND ComputerName='…'": the connection compares names as its traits say.
    QString nameFilter(const ActivityQuery& q) const {
        QString filter;
        if (traits.names == SourceTraits::NameComparison::None)
            return filter;
        if (!q.user.isEmpty())
            filter += u" AND UserName="_s + literal(q.user);
        if (!q.computer.isEmpty())
            filter += u" AND ComputerName="_s + literal(q.computer);
        return filter;
    }

    // Whether the row's checked names (its first columns) are the filters' names.
    bool keeps(const Recordset& rs) const {
        for (std::size_t i = 0; i < checked.size(); ++i) {
            const QVariant v = rs.field(int(i));
            if (!activityNameMatches(v.isNull() ? std::nullopt : std::optional<QString>(v.toString()),
                                     checked[i].second))
                return false;
        }
        return true;
    }

    int first() const { return int(checked.size()); }

    SourceTraits traits;
    std::vector<std::pair<QString, QString>> checked; // column, filter
    bool rollup = false;
};

// " AND ([ActiveDay] Mod 7) In (…)" for the counted weekdays; nothing when every one counts.
QString weekdayFilter(const ActivityQuery& q) {
    if (q.weekdays == ActivityQuery::kEveryWeekday)
        return {};
    QStringList days;
    for (int r = 0; r < 7; ++r) {
        if (q.weekdayCounts(r))
            days << QString::number(r);
    }
    return days.isEmpty() ? u" AND 1=0"_s : u" AND ([ActiveDay] Mod 7) In ("_s + days.join(u',') + u')';
}

QString hourList(const char* function, const char* column, const char* alias) {
    QStringList columns;
    for (int h = 0; h < 24; ++h) {
        const QString hour = QString::number(h);
        columns << QLatin1String(function) + u'(' + QLatin1String(column) + hour + u") AS "_s +
                       QLatin1String(alias) + hour;
    }
    return columns.join(u", "_s);
}

QString hourList(const char* function, const char* alias) {
    return hourList(function, "H", alias);
}

QString hourAggregatesStatement(const ActivityQuery& q, const Layout& l) {
    const DayRange range = q.ranges.empty() ? DayRange{} : q.ranges.front();
    const QString days = u"(ActiveDay BETWEEN %1 AND %2)"_s.arg(range.first).arg(range.last);
    if (l.rollup) {
        // Per day the sums and counts of the rows: a total is a sum over the days, and nothing
        // where no row has a figure.
        return u"SELECT [ActiveDay] Mod 7 AS DayNumber, "_s + hourList("Sum", "S", "S") + u", "_s +
               hourList("Sum", "C", "C") + u" FROM ActivityDays WHERE "_s + days + weekdayFilter(q) +
               u" GROUP BY [ActiveDay] Mod 7 HAVING Sum(N) > 0"_s;
    }
    QString sql = u"SELECT "_s + l.names(true) + u"[ActiveDay] Mod 7 AS DayNumber, "_s;
    switch (q.aggregate) {
    case HourAggregate::Average:
        // Sums and counts of whole seconds are exact on every server; the mean is taken here.
        sql += hourList("Sum", "S") + u", "_s + hourList("Count", "C");
        break;
    case HourAggregate::Total:
        sql += hourList("Sum", "S");
        break;
    case HourAggregate::Maximum:
        sql += hourList("Max", "S");
        break;
    case HourAggregate::Minimum:
        sql += hourList("Min", "S");
        break;
    }
    sql += u" FROM Activity WHERE "_s + days + l.nameFilter(q) + weekdayFilter(q);
    return sql + u" GROUP BY "_s + l.names(false) + u"[ActiveDay] Mod 7"_s;
}

// One statement for every range: the seconds of each day from the first range's first day to the
// last range's last day, grouped by day (a few thousand rows at most); the days are added up
// into the ranges here, whatever their order or overlap.
QString rangeSecondsStatement(const ActivityQuery& q, const Layout& l) {
    const DayRange span = q.span();
    if (span.empty())
        return {};
    const QString days = u"(ActiveDay BETWEEN %1 AND %2)"_s.arg(span.first).arg(span.last);
    if (l.rollup) {
        QStringList hours;
        for (int h = 0; h < 24; ++h)
            hours << u"S%1"_s.arg(h);
        return u"SELECT ActiveDay AS Day, "_s + hours.join(u", "_s) + u" FROM ActivityDays WHERE "_s + days;
    }
    return u"SELECT "_s + l.names(true) + u"ActiveDay AS Day, "_s + hourList("Sum", "S") +
           u" FROM Activity WHERE "_s + days + l.nameFilter(q) + u" GROUP BY "_s + l.names(false) +
           u"ActiveDay"_s;
}

// The rows of the range on the counted weekdays, one per user, computer and day (names as
// written) with its seconds; the lines are added up here as the store adds them.
QString peopleTotalsStatement(const ActivityQuery& q, const Layout& l) {
    const DayRange range = q.ranges.empty() ? DayRange{} : q.ranges.front();
    if (range.empty())
        return {};
    const QString user = l.spelled(u"UserName"_s);
    const QString computer = l.spelled(u"ComputerName"_s);
    QString sql = u"SELECT %1 AS UserName, %2 AS ComputerName, ActiveDay, "_s.arg(user, computer) +
                  hourList("Sum", "S") +
                  u" FROM Activity WHERE (ActiveDay BETWEEN %1 AND %2)"_s.arg(range.first).arg(range.last) +
                  l.nameFilter(q);
    sql += weekdayFilter(q);
    return sql + u" GROUP BY %1, %2, ActiveDay"_s.arg(user, computer);
}

std::optional<double> number(const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}

// Whether the figures from column `first` on, `count` of them, came from whole numbers only: a
// sum or extreme of anything else (a fraction, text) comes back as a real or a text. Reading the
// hours again to check their range would double what the statement costs; the range is checked
// when the file is read whole.
void checkFigures(const Recordset& rs, int first, int count) {
    for (int c = first; c < first + count; ++c) {
        const QVariant v = rs.field(c);
        const int type = v.typeId();
        if (!v.isNull() && type != QMetaType::LongLong && type != QMetaType::Int && type != QMetaType::UInt &&
            type != QMetaType::ULongLong)
            throw SqlExecutor::UncheckedValue("an hour holds a value the monitoring product never writes");
    }
}

// One weekday's figures while rows of several spellings come in: sums and counts where the
// statement gives counts, else the aggregate so far.
struct HourTally {
    std::array<std::int64_t, 24> sum{};
    std::array<std::int64_t, 24> count{};
    HourGroup group;
};

std::vector<HourGroup> readHourGroups(Recordset& rs, const ActivityQuery& q, const Layout& l, bool check) {
    const bool counts = l.rollup || q.aggregate == HourAggregate::Average;
    const int at = l.first();
    std::map<std::int32_t, HourTally> tallies;
    for (; !rs.atEnd(); rs.next()) {
        if (!l.keeps(rs))
            continue;
        if (check)
            checkFigures(rs, at + 1, 24);
        const std::int32_t remainder = rs.field(at).toInt();
        HourTally& t = tallies[remainder];
        for (std::size_t h = 0; h < 24; ++h) {
            const int column = at + 1 + int(h);
            if (counts) {
                t.sum[h] += rs.field(column).toLongLong();
                t.count[h] += rs.field(column + 24).toLongLong();
                continue;
            }
            const std::optional<double> value = number(rs.field(column));
            std::optional<double>& hour = t.group.hours[h];
            if (!value)
                continue;
            if (!hour)
                hour = value;
            else if (q.aggregate == HourAggregate::Total)
                *hour += *value;
            else if (q.aggregate == HourAggregate::Maximum)
                hour = std::max(*hour, *value);
            else
                hour = std::min(*hour, *value);
        }
    }
    std::vector<HourGroup> groups;
    for (auto& [remainder, t] : tallies) {
        t.group.remainder = remainder;
        for (std::size_t h = 0; h < 24 && counts; ++h) {
            if (t.count[h] > 0)
                t.group.hours[h] = q.aggregate == HourAggregate::Average
                                       ? static_cast<double>(t.sum[h]) / static_cast<double>(t.count[h])
                                       : static_cast<double>(t.sum[h]);
        }
        groups.push_back(t.group);
    }
    return groups;
}

std::vector<std::int64_t> readRangeSeconds(Recordset& rs, const std::vector<DayRange>& ranges,
                                           const Layout& l, bool check) {
    // The seconds of every day read, then running totals over the days in order.
    const int at = l.first();
    std::vector<std::pair<std::int64_t, std::int64_t>> days;
    for (; !rs.atEnd(); rs.next()) {
        if (!l.keeps(rs))
            continue;
        if (check)
            checkFigures(rs, at + 1, 24);
        std::int64_t sum = 0;
        for (int h = 0; h < 24; ++h)
            sum += rs.field(at + 1 + h).toLongLong();
        days.emplace_back(rs.field(at).toLongLong(), sum);
    }
    std::sort(days.begin(), days.end());
    std::vector<std::int64_t> running(days.size() + 1, 0);
    for (std::size_t i = 0; i < days.size(); ++i)
        running[i + 1] = running[i] + days[i].second;
    const auto before = [&](std::int64_t day) {
        const auto it = std::lower_bound(days.begin(), days.end(), day,
                                         [](const auto& d, std::int64_t v) { return d.first < v; });
        return running[std::size_t(it - days.begin())];
    };
    std::vector<std::int64_t> seconds(ranges.size(), 0);
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (!ranges[i].empty())
            seconds[i] = before(ranges[i].last + 1) - before(ranges[i].first);
    }
    return seconds;
}

std::optional<QString> text(const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<QString>(v.toString());
}

std::vector<PersonTotal> readPeopleTotals(Recordset& rs, const ActivityQuery& q, const Layout& l,
                                          bool check) {
    PeopleTally tally(q.grouping);
    for (; !rs.atEnd(); rs.next()) {
        if (check)
            checkFigures(rs, 3, 24);
        const std::optional<QString> user = text(rs.field(0));
        const std::optional<QString> computer = text(rs.field(1));
        if (l.traits.names != SourceTraits::NameComparison::Exact &&
            ((!q.user.isEmpty() && !activityNameMatches(user, q.user)) ||
             (!q.computer.isEmpty() && !activityNameMatches(computer, q.computer))))
            continue;
        std::int64_t sum = 0;
        for (int h = 0; h < 24; ++h)
            sum += rs.field(3 + h).toLongLong();
        tally.add(user, computer, rs.field(2).toLongLong(), sum);
    }
    return tally.finish();
}

const QString kPairs = u"select distinct username, computername from activity ORDER BY UserName"_s;
const QString kUsersOnSeveral =
    u"SELECT UserName, Count(ComputerName) AS TotalComputers "
    " FROM (SELECT DISTINCT Activity.UserName, Activity.ComputerName FROM Activity) "
    " GROUP BY UserName HAVING Count(ComputerName)>1 ORDER BY UserName"_s;
// "TotaUsers" is the alias the list has always used; nothing reads it by name.
const QString kComputersOfSeveral =
    u"SELECT ComputerName, Count(UserName) AS TotaUsers "
    " FROM (SELECT DISTINCT Activity.UserName, Activity.ComputerName FROM Activity)"
    " GROUP BY ComputerName HAVING Count(UserName)>1 ORDER BY ComputerName"_s;

} // namespace

QString userListStatement(UserListPart part) {
    switch (part) {
    case UserListPart::Pairs:
        return kPairs;
    case UserListPart::UsersOnSeveral:
        return kUsersOnSeveral;
    case UserListPart::ComputersOfSeveral:
        return kComputersOfSeveral;
    }
    return {};
}

namespace {

ActivityUserList readUserList(Connection& cn) {
    ActivityUserList list;
    std::unique_ptr<Recordset> pairs = cn.Execute(kPairs);
    for (; !pairs->atEnd(); pairs->next())
        list.pairs.push_back({text(pairs->field(0)), text(pairs->field(1))});
    for (const auto& [sql, counts] : {std::pair{&kUsersOnSeveral, &list.usersOnSeveral},
                                      std::pair{&kComputersOfSeveral, &list.computersOfSeveral}}) {
        std::unique_ptr<Recordset> rs = cn.Execute(*sql);
        for (; !rs->atEnd(); rs->next())
            counts->push_back({text(rs->field(0)), rs->field(1).toLongLong()});
    }
    return list;
}

} // namespace

SqlExecutor::SqlExecutor(QString dataSource) : m_source(std::move(dataSource)) {}

SqlExecutor::~SqlExecutor() {
    disconnect();
}

bool SqlExecutor::connect() {
    if (m_cn)
        return true;
    if (m_source.isEmpty())
        return false;
    // A source that does not open is the caller's to tell: the failure goes up to the report.
    withStep(u"opening the data file"_s, [this] { connection(); });
    return true;
}

void SqlExecutor::disconnect() {
    if (m_cn)
        ignoringFailures([this] { m_cn->Close(); });
    m_cn.reset();
}

Connection& SqlExecutor::connection() {
    if (!m_cn) {
        auto cn = std::make_unique<Connection>();
        cn->Open(connectionStringOf(m_source), QString(), QString(), -1);
        m_cn = std::move(cn);
    }
    return *m_cn;
}

std::int64_t SqlExecutor::lastRowId() {
    std::unique_ptr<Recordset> rs = connection().Execute(u"SELECT max(rowid) AS N FROM Activity"_s);
    return rs->atEnd() ? 0 : rs->field(0).toLongLong();
}

std::int64_t SqlExecutor::countRows(const DayRange& span, std::int64_t limit) {
    if (span.empty())
        return 0;
    std::unique_ptr<Recordset> rs = connection().Execute(
        u"SELECT Count(*) AS N FROM (SELECT ActiveDay FROM Activity WHERE ActiveDay BETWEEN %1 AND "
        "%2 LIMIT %3) AS InRange"_s.arg(span.first)
            .arg(span.last)
            .arg(limit + 1));
    return rs->atEnd() ? 0 : rs->field(0).toLongLong();
}

QString SqlExecutor::statement(const ActivityQuery& query, const SourceTraits& traits) {
    const Layout layout(query, traits);
    switch (query.shape) {
    case ActivityQuery::Shape::HourAggregates:
        return hourAggregatesStatement(query, layout);
    case ActivityQuery::Shape::RangeSeconds:
        return rangeSecondsStatement(query, layout);
    case ActivityQuery::Shape::UserList:
        return kPairs;
    case ActivityQuery::Shape::PeopleTotals:
        return peopleTotalsStatement(query, layout);
    }
    return {};
}

ActivityAnswer SqlExecutor::answer(const ActivityQuery& query) {
    ActivityAnswer a;
    if (query.shape == ActivityQuery::Shape::UserList) {
        a.users = readUserList(connection());
        return a;
    }
    const SourceTraits traits = connection().traits();
    const QString sql = statement(query, traits);
    if (sql.isEmpty()) { // nothing to read: every range is empty
        if (query.shape == ActivityQuery::Shape::RangeSeconds)
            a.seconds.assign(query.ranges.size(), 0);
        return a;
    }
    const Layout layout(query, traits);
    std::unique_ptr<Recordset> rs = connection().Execute(sql);
    if (query.shape == ActivityQuery::Shape::HourAggregates)
        a.groups = readHourGroups(*rs, query, layout, m_checkValues);
    else if (query.shape == ActivityQuery::Shape::PeopleTotals)
        a.people = readPeopleTotals(*rs, query, layout, m_checkValues);
    else
        a.seconds = readRangeSeconds(*rs, query.ranges, layout, m_checkValues);
    rs->Close();
    return a;
}

} // namespace tallyrow
