#pragma once

#include "activity/ActivitySource.h"
#include "activity/StoreCache.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tallyrow {

class SqlExecutor;

/// Answers the queries on one data file by whichever way is cheapest now, never slower than
/// plain SQL on the file:
///  - the store is fresh (in memory, or a saved copy of the file as it is now): the store;
///  - the file changed since, and the query touches few rows (counted through the file's day
///    index, up to a limit): SQL on the file, exact and current;
///  - the file changed and the query is large: the store is read again (with progress) and
///    answers, when the policy allows it; otherwise SQL.
/// A block of a saved copy found damaged is never used: the copy is discarded and the query
/// answered again the same way.
class ActivityPlanner final : public ActivitySource {
public:
    struct Policy {
        /// Most rows in range for which a changed file is asked by SQL rather than read again.
        std::int64_t sqlRowLimit = kDefaultSqlRowLimit;
        /// Whether a large query on a changed file reads the store again here (the tool), or is
        /// asked by SQL while the caller refreshes the store in the background (the window).
        bool refreshForLargeQueries = true;
        /// A changed file of no more rows than this is read whole whatever the question (it costs
        /// little, and every row is checked as the store checks rows), when the policy allows it.
        std::int64_t wholeFileRows = kDefaultWholeFileRows;
        /// Progress of a refresh, 0 … 100; false stops it (the query then fails as cancelled).
        std::function<bool(int)> progress;
    };
    static constexpr std::int64_t kDefaultSqlRowLimit = 400'000;
    static constexpr std::int64_t kDefaultWholeFileRows = 100'000;

    ActivityPlanner(QString dataFile, std::shared_ptr<StoreCache> cache, Policy policy);
    ~ActivityPlanner() override;

    bool connect() override;
    void disconnect() override;
    ActivityAnswer answer(const ActivityQuery& query) override;

    enum class Route { Store, Sql, Refresh };
    /// How `query` would be answered now (a Refresh answers from the store afterwards).
    Route plan(const ActivityQuery& query);
    /// How the last answer was given.
    Route lastRoute() const { return m_lastRoute; }
    /// Whether the store answers without reading the file.
    bool isFresh();
    /// Whether a query over `span` would be answered by SQL now, as the file changed and the
    /// span holds few rows; false when the store is fresh.
    bool answersBySql(const DayRange& span);
    const QString& dataFile() const { return m_path; }

private:
    /// Looks at the file while no connection to it is open: its store, if fresh, and its kind.
    void look();
    Route route(const ActivityQuery& query);
    bool fewRows(const DayRange& span, std::int64_t limit);
    bool smallFile();
    void refresh();
    ActivityAnswer fromStore(const ActivityQuery& query);
    ActivityAnswer bySql(const ActivityQuery& query);
    SqlExecutor& sql();

    QString m_path;
    std::shared_ptr<StoreCache> m_cache;
    Policy m_policy;
    std::unique_ptr<SqlExecutor> m_sql;
    std::shared_ptr<const ActivityStore> m_pinned; ///< the store a connected report reads
    bool m_session = false;                        ///< between connect() and disconnect()
    bool m_sqlite = false;                         ///< the file is an SQLite file (as last looked at)
    Route m_lastRoute = Route::Store;
};

/// The source that answers for `dataSource`: a planner over the cache's store for a data file,
/// SQL for a server. Empty `dataSource` gives nothing.
std::shared_ptr<ActivitySource> openActivitySource(const QString& dataSource,
                                                   std::shared_ptr<StoreCache> cache,
                                                   ActivityPlanner::Policy policy = {});

} // namespace tallyrow
