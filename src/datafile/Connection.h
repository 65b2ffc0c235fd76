#pragma once

#include "datafile/Recordset.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

namespace tallyrow {

/// What a source's SQL does beyond the Jet dialect every source speaks, for those who write the
/// statements (the activity queries).
struct SourceTraits {
    /// How `Name = 'text'` compares on the source.
    enum class NameComparison {
        Exact,     ///< exactly as the files fold names (a data file)
        Narrowing, ///< it takes every name the files take, and maybe some more
        None,      ///< it folds otherwise: a statement must not narrow by name at all
    };
    NameComparison names = NameComparison::Exact;
    /// The text of a name column as written, "%1" standing for the column: a column that
    /// compares without regard to case (citext) groups spellings together otherwise.
    QString spelling = QStringLiteral("%1");
    /// The table ActivityDays is there and kept current by the source itself: per day, the rows
    /// (N) and per hour the sum of the seconds (S0 … S23) and the rows with a figure (C0 … C23).
    bool dayRollup = false;
};

/// A read-only connection to a data source, opened from a connection string. The provider is
/// chosen by what the Data Source names: an SQLite data file, a Jet/Access file (read through
/// mdbtools into an in-memory copy), or a PostgreSQL URI. Query texts are written in the Jet
/// dialect and translated for the provider. On an SQLite data file, all queries of one open
/// connection read one committed state of the file (one read transaction, from Open to Close),
/// while the file's writer waits to commit: open one per report and close it when read.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    /// Opens the source named by the connection string's "Data Source"; fails with an Error
    /// whose description names the file and the reason.
    void Open(const QString& connectionString, const QString& userName = {}, const QString& password = {},
              long options = -1);
    /// 0 closed, 1 open.
    int State() const;
    void Close();
    /// Runs a Jet SQL query text and returns its rows.
    std::unique_ptr<Recordset> Execute(const QString& jetSql);

    /// What the open source's SQL does (the defaults when closed).
    SourceTraits traits() const;
    /// The path or URI the connection was opened on.
    QString dataSource() const;

    class Provider;

private:
    std::unique_ptr<Provider> m_provider;
    QString m_dataSource;
};

/// The "Data Source" value of a connection string ("" when absent).
QString dataSourceOf(const QString& connectionString);

} // namespace tallyrow
