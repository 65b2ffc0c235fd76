#include "activity/ActivityPlanner.h"

#include "activity/SqlExecutor.h"
#include "datafile/DataFileKind.h"
#include "datafile/DataSource.h"
#include "support/Error.h"

#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyrow {

ActivityPlanner::ActivityPlanner(QString dataFile, std::shared_ptr<StoreCache> cache, Policy policy)
    : m_path(std::move(dataFile)), m_cache(std::move(cache)), m_policy(std::move(policy)) {}

ActivityPlanner::~ActivityPlanner() = default;

SqlExecutor& ActivityPlanner::sql() {
    if (!m_sql) {
        m_sql = std::make_unique<SqlExecutor>(m_path);
        m_sql->setCheckValues(true);
    }
    return *m_sql;
}

ActivityAnswer ActivityPlanner::bySql(const ActivityQuery& query) {
    try {
        return sql().answer(query);
    } catch (const SqlExecutor::UncheckedValue&) {
        // Refused as the store refuses it: a read of the whole file names the row.
        if (!m_policy.refreshForLargeQueries)
            throw Error(
                ErrNo::DataSource,
                u"No report is made from the data file \"%1\": a row holds a value the monitoring "
                "product never writes (an hour outside 0 to 3600 seconds, or not a whole number)."_s.arg(
                    m_path));
        m_lastRoute = Route::Refresh;
        refresh();
        return fromStore(query);
    }
}

namespace {

// SQL on the file reads a row through its index some sixteen times slower than a copy of an
// earlier state is brought up to date per row it holds.
constexpr std::size_t kFollowShare = 16;

} // namespace

// A note on order: the file's stamp and kind are looked at only while this planner holds no
// connection to it. Closing any other descriptor of an SQLite file drops the locks the process
// holds on it, and a writer could then commit in the middle of a read.

bool ActivityPlanner::isFresh() {
    return m_session ? m_pinned != nullptr : m_cache->fresh(m_path) != nullptr;
}

void ActivityPlanner::look() {
    if (m_sql)
        m_sql->disconnect();
    m_pinned = m_cache->fresh(m_path);
    m_sqlite = probeDataFile(m_path).kind == DataFileKind::SQLite;
}

bool ActivityPlanner::connect() {
    // A report's questions are answered from one state of the file: the store as it is now, or
    // the read transaction of one connection.
    look();
    m_session = true;
    return m_pinned || sql().connect();
}

void ActivityPlanner::disconnect() {
    m_session = false;
    m_pinned.reset();
    if (m_sql)
        m_sql->disconnect();
}

bool ActivityPlanner::answersBySql(const DayRange& span) {
    if (m_session)
        return !m_pinned && m_sqlite && fewRows(span, m_policy.sqlRowLimit);
    look();
    const bool bySql = !m_pinned && m_sqlite && fewRows(span, m_policy.sqlRowLimit);
    disconnect();
    return bySql;
}

bool ActivityPlanner::fewRows(const DayRange& span, std::int64_t limit) {
    try {
        return sql().countRows(span, limit) <= limit;
    } catch (const Error&) {
        return false; // the file's own read reports what is wrong with it
    }
}

bool ActivityPlanner::smallFile() {
    try {
        return sql().lastRowId() <= m_policy.wholeFileRows;
    } catch (const Error&) {
        return false; // no row ids (a view): the question decides
    }
}

ActivityPlanner::Route ActivityPlanner::route(const ActivityQuery& query) {
    if (m_pinned)
        return Route::Store;
    const Route large = m_policy.refreshForLargeQueries ? Route::Refresh : Route::Sql;
    // An Access file is read whole even for one row; the user list takes every row too.
    if (query.shape == ActivityQuery::Shape::UserList || !m_sqlite ||
        (large == Route::Refresh && smallFile()))
        return large;
    // A copy of an earlier state is brought up to date by the pages that changed, at a cost that
    // grows with its rows (it is copied once): SQL answers only questions of far fewer rows.
    std::int64_t limit = m_policy.sqlRowLimit;
    if (large == Route::Refresh) {
        if (const std::size_t rows = m_cache->followableRows(m_path))
            limit = std::min<std::int64_t>(limit, std::int64_t(rows / kFollowShare));
    }
    return fewRows(query.span(), limit) ? Route::Sql : large;
}

ActivityPlanner::Route ActivityPlanner::plan(const ActivityQuery& query) {
    if (m_session)
        return route(query);
    look();
    const Route r = route(query);
    disconnect();
    return r;
}

ActivityAnswer ActivityPlanner::answer(const ActivityQuery& query) {
    // Outside a connected report every question is a report of its own.
    const bool own = !m_session;
    if (own) {
        look();
        m_session = true;
    }
    const auto end = qScopeGuard([&] {
        if (own)
            disconnect();
    });
    m_lastRoute = route(query);
    switch (m_lastRoute) {
    case Route::Store:
        return fromStore(query);
    case Route::Sql:
        return bySql(query);
    case Route::Refresh:
        break;
    }
    refresh();
    return fromStore(query);
}

void ActivityPlanner::refresh() {
    // The read takes connections of its own; this one's read transaction is let go first, so a
    // writer waiting for it is not held up for the whole read.
    if (m_sql)
        m_sql->disconnect();
    m_pinned = m_cache->load(m_path, m_policy.progress);
    if (!m_pinned)
        throw Error(ErrNo::DataSource, u"Reading the data file \"%1\" was cancelled."_s.arg(m_path));
}

ActivityAnswer ActivityPlanner::fromStore(const ActivityQuery& query) {
    try {
        return m_pinned->answer(query);
    } catch (const StoreDamaged&) {
        // Never an answer from a damaged copy: it goes, and the file is read anew (the window
        // asks by SQL meanwhile and reads it again in the background).
        m_cache->discard(m_path);
        m_pinned.reset();
        if (!m_policy.refreshForLargeQueries) {
            m_lastRoute = Route::Sql;
            return bySql(query);
        }
        m_lastRoute = Route::Refresh;
        refresh();
        return m_pinned->answer(query);
    }
}

std::shared_ptr<ActivitySource> openActivitySource(const QString& dataSource,
                                                   std::shared_ptr<StoreCache> cache,
                                                   ActivityPlanner::Policy policy) {
    if (dataSource.isEmpty())
        return nullptr;
    if (cache && DataSource(dataSource).keepsSavedCopy())
        return std::make_shared<ActivityPlanner>(dataSource, std::move(cache), std::move(policy));
    return std::make_shared<SqlExecutor>(dataSource);
}

} // namespace tallyrow
