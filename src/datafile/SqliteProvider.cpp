#include "datafile/SqliteProvider.h"

#include "datafile/JetSqlTranslator.h"
#include "datafile/SqliteDatabase.h"
#include "support/Error.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace tallyrow {

const QStringList& requiredActivityColumns() {
    static const QStringList columns = [] {
        QStringList c{u"ActiveDay"_s, u"UserName"_s, u"ComputerName"_s};
        for (int h = 0; h < 24; ++h) {
            c.append(u"H%1"_s.arg(h));
        }
        return c;
    }();
    return columns;
}

void checkActivityTable(SqliteDatabase& db, const QString& dataSource) {
    std::unique_ptr<Recordset> info;
    try {
        info = db.query(u"PRAGMA table_info(\"Activity\")"_s);
    } catch (const Error&) {
        throw Error(ErrNo::DataSource,
                    openFailure(dataSource, u"the database cannot be read (%1)"_s.arg(db.lastError())));
    }
    if (info->rowCount() == 0) {
        throw Error(ErrNo::DataSource, openFailure(dataSource, u"the database has no Activity table"_s));
    }
    QStringList present;
    for (info->MoveFirst(); !info->EOF_(); info->MoveNext()) {
        present.append(info->field(u"name"_s).toString().toLower());
    }
    QStringList missing;
    for (const QString& column : requiredActivityColumns()) {
        if (!present.contains(column.toLower())) {
            missing.append(column);
        }
    }
    if (!missing.isEmpty()) {
        throw Error(ErrNo::DataSource,
                    openFailure(dataSource, u"the Activity table lacks the column%1 %2"_s.arg(
                                                missing.size() > 1 ? u"s"_s : QString(), missing.join(u", "_s))));
    }
}

namespace {

// SQLite's file header records the page size and the number of pages; a file shorter than that
// was cut short (an interrupted copy), and would fail or, worse, answer from half the data.
bool looksTruncated(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray h = f.read(100);
    if (h.size() < 100) {
        return true;
    }
    auto be32 = [&](int at) {
        return (quint32(quint8(h[at])) << 24) | (quint32(quint8(h[at + 1])) << 16) |
               (quint32(quint8(h[at + 2])) << 8) | quint32(quint8(h[at + 3]));
    };
    quint32 pageSize = (quint32(quint8(h[16])) << 8) | quint32(quint8(h[17]));
    if (pageSize == 1) {
        pageSize = 65536;
    }
    const quint32 pages = be32(28);
    // The page count is only kept by writers since 3.7.0, which then copy the change counter
    // into "version valid for"; older files fall back to the file size and cannot be checked.
    if (pages == 0 || be32(24) != be32(92)) {
        return false;
    }
    return f.size() < qint64(pageSize) * pages;
}

class SqliteProvider final : public Connection::Provider {
public:
    explicit SqliteProvider(std::shared_ptr<SqliteDatabase> db) : m_db(std::move(db)) {}

    std::unique_ptr<Recordset> execute(const QString& jetSql) override {
        return m_db->query(m_translator.translate(jetSql));
    }

private:
    std::shared_ptr<SqliteDatabase> m_db;
    JetSqlTranslator m_translator{SqlDialect::SQLite};
};

} // namespace

std::unique_ptr<Connection::Provider> sqliteQueryProvider(std::shared_ptr<SqliteDatabase> db) {
    return std::make_unique<SqliteProvider>(std::move(db));
}

std::unique_ptr<Connection::Provider> openSqliteProvider(const QString& path) {
    if (looksTruncated(path)) {
        throw Error(ErrNo::DataSource,
                    openFailure(path, u"the SQLite database is incomplete (the file is shorter than its header says)"_s));
    }
    // immutable=1: no locks, no journal, no shared memory; the file is only ever read. When a
    // write-ahead log lies beside the file, a writer is at work (or crashed) and the newest rows
    // are in that log: then open with locking so they are seen; the log files are the writer's.
    QString uri = SqliteDatabase::fileUri(path) + u"?mode=ro"_s;
    if (!QFileInfo::exists(path + u"-wal"_s)) {
        uri += u"&immutable=1"_s;
    }
    std::unique_ptr<SqliteDatabase> db;
    try {
        db = std::make_unique<SqliteDatabase>(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                                              u"the data file \"%1\""_s.arg(path));
    } catch (const Error& e) {
        throw Error(ErrNo::DataSource, openFailure(path, e.description()));
    }
    checkActivityTable(*db, path);
    return sqliteQueryProvider(std::move(db));
}

} // namespace tallyrow
