#include "datafile/Connection.h"

#include "datafile/DataSource.h"
#include "datafile/Provider.h"
#include "support/Error.h"

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {
constexpr long kObjectClosed = 3704;
constexpr long kObjectOpen = 3705;
} // namespace

Connection::Provider::~Provider() = default;

Error openFailure(const QString& dataSource, const QString& reason) {
    return Error(ErrNo::DataSource, u"Cannot open the data file \"%1\": %2."_s.arg(dataSource, reason))
        .setFile(dataSource)
        .setReason(reason);
}

std::unique_ptr<Connection::Provider> openProvider(const QString& dataSource) {
    return DataSource(dataSource).open();
}

QString dataSourceOf(const QString& connectionString) {
    static const QString key = u"Data Source="_s;
    const qsizetype at = connectionString.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0) {
        return {};
    }
    const qsizetype begin = at + key.size();
    // The path is put in unquoted and may itself hold "; ": the password part the program always
    // appends marks the end, and only without it does the next ";" end the value.
    static const QString tail = u"; Jet OLEDB:Database Password"_s;
    qsizetype end = connectionString.lastIndexOf(tail, -1, Qt::CaseInsensitive);
    if (end < begin) {
        end = connectionString.indexOf(u';', begin);
        if (end < 0) {
            end = connectionString.size();
        }
    }
    return connectionString.mid(begin, end - begin);
}

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::Open(const QString& connectionString, const QString& userName, const QString& password,
                      long options) {
    Q_UNUSED(userName);
    Q_UNUSED(password);
    Q_UNUSED(options);
    if (m_provider) {
        throw Error(kObjectOpen, u"Operation is not allowed when the object is open."_s);
    }
    const QString source = dataSourceOf(connectionString);
    m_provider = openProvider(source);
    m_dataSource = source;
}

int Connection::State() const {
    return m_provider ? 1 : 0;
}

void Connection::Close() {
    if (!m_provider) {
        throw Error(kObjectClosed, u"Operation is not allowed when the object is closed."_s);
    }
    m_provider.reset();
}

std::unique_ptr<Recordset> Connection::Execute(const QString& jetSql) {
    if (!m_provider) {
        throw Error(kObjectClosed, u"Operation is not allowed when the object is closed."_s);
    }
    return m_provider->execute(jetSql);
}

SourceTraits Connection::traits() const {
    return m_provider ? m_provider->traits() : SourceTraits{};
}

QString Connection::dataSource() const {
    return m_dataSource;
}

} // namespace tallyrow
