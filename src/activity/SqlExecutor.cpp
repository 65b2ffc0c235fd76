#include "activity/SqlExecutor.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "support/StepRunner.h"

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyrow {

ActivitySource::~ActivitySource() = default;

namespace {

QString literal(const QString& text) {
    QString quoted = text;
    quoted.replace(u'\'', u"''"_s);
    return u'\'' + quoted + u'\'';
}

// " AND UserName='…' AND ComputerName='…'": the connection compares names as every source does.
QString nameFilter(const ActivityQuery& q) {
    QString filter;
    if (!q.user.isEmpty())
        filter += u" AND UserName="_s + literal(q.user);
    if (!q.computer.isEmpty())
        filter += u" AND ComputerName="_s + literal(q.computer);
    return filter;
}

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

QString hourList(const char* function, const char* alias) {
    QStringList columns;
    for (int h = 0; h < 24; ++h)
        columns << u"%1(H%2) AS %3%2"_s.arg(QLatin1String(function)).arg(h).arg(QLatin1String(alias));
    return columns.join(u", "_s);
}

QString hourAggregatesStatement(const ActivityQuery& q) {
    const DayRange range = q.ranges.empty() ? DayRange{} : q.ranges.front();
    QString sql = u"SELECT [ActiveDay] Mod 7 AS DayNumber, "_s;
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
    sql += u" FROM Activity WHERE (ActiveDay BETWEEN %1 AND %2)"_s.arg(range.first).arg(range.last);
    sql += nameFilter(q);
    sql += weekdayFilter(q);
    return sql + u" GROUP BY [ActiveDay] Mod 7"_s;
}

// One statement for every range: the seconds of each day from the first range's first day to the
// last range's last day, grouped by day (a few thousand rows at most); the days are added up
// into the ranges here, whatever their order or overlap.
QString rangeSecondsStatement(const ActivityQuery& q) {
    const DayRange span = q.span();
    if (span.empty())
        return {};
    return u"SELECT ActiveDay AS Day, "_s + hourList("Sum", "S") +
           u" FROM Activity WHERE (ActiveDay BETWEEN %1 AND %2)"_s.arg(span.first).arg(span.last) +
           nameFilter(q) + u" GROUP BY ActiveDay"_s;
}

// The rows of the range on the counted weekdays, one per user, computer and day with its
// seconds; the lines are added up here as the store adds them.
QString peopleTotalsStatement(const ActivityQuery& q) {
    const DayRange range = q.ranges.empty() ? DayRange{} : q.ranges.front();
    if (range.empty())
        return {};
    QString sql = u"SELECT UserName, ComputerName, ActiveDay, "_s + hourList("Sum", "S") +
                  u" FROM Activity WHERE (ActiveDay BETWEEN %1 AND %2)"_s.arg(range.first).arg(range.last) +
                  nameFilter(q);
    sql += weekdayFilter(q);
    return sql + u" GROUP BY UserName, ComputerName, ActiveDay"_s;
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

std::vector<HourGroup> readHourGroups(Recordset& rs, HourAggregate aggregate, bool check) {
    std::vector<HourGroup> groups;
    for (; !rs.atEnd(); rs.next()) {
        if (check)
            checkFigures(rs, 1, 24);
        HourGroup g;
        g.remainder = rs.field(0).toInt();
        for (int h = 0; h < 24; ++h) {
            const std::optional<double> value = number(rs.field(1 + h));
            if (aggregate != HourAggregate::Average) {
                g.hours[std::size_t(h)] = value;
                continue;
            }
            const std::int64_t count = rs.field(25 + h).toLongLong();
            if (value && count > 0)
                g.hours[std::size_t(h)] =
                    static_cast<double>(rs.field(1 + h).toLongLong()) / static_cast<double>(count);
        }
        groups.push_back(g);
    }
    std::sort(groups.begin(), groups.end(),
              [](const HourGroup& a, const HourGroup& b) { return a.remainder < b.remainder; });
    return groups;
}

std::vector<std::int64_t> readRangeSeconds(Recordset& rs, const std::vector<DayRange>& ranges, bool check) {
    // The seconds of every day read, then running totals over the days in order.
    std::vector<std::pair<std::int64_t, std::int64_t>> days;
    for (; !rs.atEnd(); rs.next()) {
        if (check)
            checkFigures(rs, 1, 24);
        std::int64_t sum = 0;
        for (int h = 0; h < 24; ++h)
            sum += rs.field(1 + h).toLongLong();
        days.emplace_back(rs.field(0).toLongLong(), sum);
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

std::vector<PersonTotal> readPeopleTotals(Recordset& rs, PeopleGrouping grouping, bool check) {
    PeopleTally tally(grouping);
    for (; !rs.atEnd(); rs.next()) {
        if (check)
            checkFigures(rs, 3, 24);
        std::int64_t sum = 0;
        for (int h = 0; h < 24; ++h)
            sum += rs.field(3 + h).toLongLong();
        tally.add(text(rs.field(0)), text(rs.field(1)), rs.field(2).toLongLong(), sum);
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
    withTrail(u"opening the data file&"_s, [this] { connection(); });
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

QString SqlExecutor::statement(const ActivityQuery& query) {
    switch (query.shape) {
    case ActivityQuery::Shape::HourAggregates:
        return hourAggregatesStatement(query);
    case ActivityQuery::Shape::RangeSeconds:
        return rangeSecondsStatement(query);
    case ActivityQuery::Shape::UserList:
        return kPairs;
    case ActivityQuery::Shape::PeopleTotals:
        return peopleTotalsStatement(query);
    }
    return {};
}

ActivityAnswer SqlExecutor::answer(const ActivityQuery& query) {
    ActivityAnswer a;
    if (query.shape == ActivityQuery::Shape::UserList) {
        a.users = readUserList(connection());
        return a;
    }
    const QString sql = statement(query);
    if (sql.isEmpty()) { // nothing to read: every range is empty
        if (query.shape == ActivityQuery::Shape::RangeSeconds)
            a.seconds.assign(query.ranges.size(), 0);
        return a;
    }
    std::unique_ptr<Recordset> rs = connection().Execute(sql);
    if (query.shape == ActivityQuery::Shape::HourAggregates)
        a.groups = readHourGroups(*rs, query.aggregate, m_checkValues);
    else if (query.shape == ActivityQuery::Shape::PeopleTotals)
        a.people = readPeopleTotals(*rs, query.grouping, m_checkValues);
    else
        a.seconds = readRangeSeconds(*rs, query.ranges, m_checkValues);
    rs->Close();
    return a;
}

} // namespace tallyrow
