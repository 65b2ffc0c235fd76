#pragma once

#include "datafile/Connection.h"
#include "support/Error.h"

#include <QString>

#include <memory>

namespace tallyrow {

/// What a connection needs of the thing behind it: run a query text written in the Jet dialect.
/// A provider is open for as long as it exists.
class Connection::Provider {
public:
    virtual ~Provider();
    virtual std::unique_ptr<Recordset> execute(const QString& jetSql) = 0;
    virtual SourceTraits traits() const { return {}; }
};

/// Opens the provider for a data source: an SQLite file, an Access file, or a PostgreSQL server
/// URI (postgresql:// or postgres://).
/// Fails with an Error whose description names the source and the reason.
std::unique_ptr<Connection::Provider> openProvider(const QString& dataSource);

/// The failure to open a data file (kind DataSource): its description names the file and says
/// why; its file and reason are those parts on their own.
Error openFailure(const QString& dataSource, const QString& reason);

} // namespace tallyrow
