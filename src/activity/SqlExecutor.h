#pragma once

#include "activity/ActivitySource.h"
#include "datafile/Connection.h"

#include <QString>

#include <memory>
#include <stdexcept>

namespace tallyrow {

/// The three statements of the user-and-computer list, in the Jet dialect.
enum class UserListPart { Pairs, UsersOnSeveral, ComputersOfSeveral };
QString userListStatement(UserListPart part);

/// Answers activity queries with SQL on the data source itself: an SQLite data file, an Access
/// file (through its in-memory copy) or a PostgreSQL server. One statement per query, written
/// in the Jet dialect the connection translates for its provider; aggregates the source can do
/// in integers (sums and counts of seconds) are done there and divided here, so every source
/// gives the same figures to the last digit. While connected, every answer reads the one
/// committed state the connection's read transaction sees.
class SqlExecutor final : public ActivitySource {
public:
    /// Thrown by a checking executor when an hour it added up held something other than a whole
    /// number (a fraction, text): a read of the whole file names the row, as the store refuses it.
    class UncheckedValue : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    explicit SqlExecutor(QString dataSource);
    /// Whether the answers check that the hours they add up are whole numbers (a data file's
    /// columns hold whatever was written; a server's are typed).
    void setCheckValues(bool check) { m_checkValues = check; }
    ~SqlExecutor() override;

    bool connect() override;
    void disconnect() override;
    /// Connects first when not connected (a failure then is an Error, not a report).
    ActivityAnswer answer(const ActivityQuery& query) override;

    /// The rows with a day in `span`, counted no further than `limit` + 1 (through the day index
    /// where the source has one). Connects first when not connected; fails with an Error.
    std::int64_t countRows(const DayRange& span, std::int64_t limit);

    /// The statement sent for `query` to a source with `traits` (for a benchmark to run the
    /// same text elsewhere).
    static QString statement(const ActivityQuery& query, const SourceTraits& traits = {});
    /// The largest row id of Activity: about as many rows as the table holds (SQLite files).
    std::int64_t lastRowId();

private:
    Connection& connection();

    QString m_source;
    std::unique_ptr<Connection> m_cn;
    bool m_checkValues = false;
};

} // namespace tallyrow
