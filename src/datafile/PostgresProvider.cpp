#include "datafile/PostgresProvider.h"

#include "datafile/PostgresSql.h"
#include "datafile/SqliteProvider.h"
#include "support/Error.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <atomic>

using namespace Qt::StringLiterals;

namespace tallyrow {

Error postgresOpenFailure(const QString& uri, const QString& reason) {
    const QString shown = redactedPostgresUri(uri);
    return Error(ErrNo::DataSource, u"Cannot open the database \"%1\": %2."_s.arg(shown, reason))
        .setFile(shown)
        .setReason(reason);
}

namespace {

const QString kDriver = u"QPSQL"_s;
const QString kReadTransaction = u"START TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"_s;

// A libpq connection-option value, quoted as libpq reads it.
QString quoted(QString value) {
    value.replace(u'\\', u"\\\\"_s);
    value.replace(u'\'', u"\\'"_s);
    return u'\'' + value + u'\'';
}

// Where the URI points, for messages: "127.0.0.1:54329", "db1:5432, db2", "the local socket".
QString addressOf(const PostgresUri& u) {
    QStringList parts;
    for (qsizetype i = 0; i < u.hosts.size(); ++i) {
        QString host = u.hosts[i].isEmpty() ? u"the local socket"_s : u.hosts[i];
        if (!u.ports[i].isEmpty()) {
            host += (u.hosts[i].contains(u':') ? u" port "_s : u":"_s) + u.ports[i];
        }
        parts << host;
    }
    return parts.isEmpty() ? u"the local socket"_s : parts.join(u", "_s);
}

// The text between the first pair of double quotes after `after` in `message`.
QString quotedAfter(const QString& message, const QString& after) {
    const qsizetype at = message.indexOf(after, 0, Qt::CaseInsensitive);
    if (at < 0) {
        return {};
    }
    const qsizetype open = message.indexOf(u'"', at);
    const qsizetype close = open < 0 ? -1 : message.indexOf(u'"', open + 1);
    return close < 0 ? QString() : message.mid(open + 1, close - open - 1);
}

// Never let the password through in a message, whatever a driver or server puts in its text.
QString withoutPassword(QString text, const PostgresUri& u) {
    if (u.password.size() >= 3) {
        text.replace(u.password, u"********"_s);
    }
    return text;
}

// Turns libpq's account of a failed connection into the reason a user can act on.
QString connectFailureReason(const QString& serverText, const PostgresUri& u, int timeout) {
    const QString text = serverText.simplified();
    const QString address = addressOf(u);
    if (text.contains(u"Connection refused"_s, Qt::CaseInsensitive)) {
        return u"no database server answers at %1 (connection refused)"_s.arg(address);
    }
    if (text.contains(u"timeout expired"_s, Qt::CaseInsensitive)) {
        return u"the server at %1 did not answer within %2 seconds"_s.arg(address).arg(timeout);
    }
    if (text.contains(u"could not translate host name"_s, Qt::CaseInsensitive)) {
        return u"the host name \"%1\" is not known"_s.arg(quotedAfter(text, u"host name"_s));
    }
    if (text.contains(u"No such file or directory"_s) && text.contains(u"socket"_s)) {
        return u"no database server listens on %1"_s.arg(address);
    }
    if (text.contains(u"password authentication failed"_s, Qt::CaseInsensitive)) {
        return u"the server refused the password of user \"%1\""_s.arg(quotedAfter(text, u"for user"_s));
    }
    if (text.contains(u"no password supplied"_s, Qt::CaseInsensitive)) {
        return u"the server asks for a password and none was given (in the URI, PGPASSWORD or the password "
               "file ~/.pgpass or PGPASSFILE)"_s;
    }
    if (text.contains(u"does not exist"_s) && text.contains(u"database \""_s)) {
        return u"the database \"%1\" does not exist on the server at %2"_s.arg(
            quotedAfter(text, u"database"_s), address);
    }
    if (text.contains(u"does not exist"_s) && text.contains(u"role \""_s)) {
        return u"the server at %1 has no user \"%2\""_s.arg(address, quotedAfter(text, u"role"_s));
    }
    return u"the connection to %1 failed (%2)"_s.arg(address, withoutPassword(text, u));
}

QVariant plainValue(const QSqlQuery& q, int i) {
    if (q.isNull(i)) {
        return {};
    }
    QVariant v = q.value(i);
    // Whole numbers come back as qlonglong and real ones as double from every provider.
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QVariant(v.toLongLong());
    case QMetaType::Float:
    case QMetaType::Double:
        return QVariant(v.toDouble());
    default:
        return v;
    }
}

// The first line of the server's text that says what happened, without "FATAL:" or "ERROR:",
// the notices (WARNING, DETAIL, HINT) before or after it, or a trailing "(SQLSTATE)".
QString serverSentence(const QString& text) {
    static const QRegularExpression severity(u"^(FATAL|ERROR|PANIC):\\s*"_s);
    static const QRegularExpression notice(u"^(WARNING|NOTICE|DETAIL|HINT|CONTEXT):"_s);
    static const QRegularExpression code(u"\\s*\\([0-9A-Z]{5}\\)\\s*$"_s);
    for (QString line : text.split(u'\n', Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (line.isEmpty() || notice.match(line).hasMatch() || code.match(line).capturedStart() == 0)
            continue;
        line.remove(severity);
        line.remove(code);
        if (!line.isEmpty())
            return line;
    }
    return u"no reason given"_s;
}

class PostgresProvider final : public Connection::Provider {
public:
    PostgresProvider(QString uri, PostgresUri parts, QString connectionName, QString foldCollation,
                     SourceTraits traits)
        : m_uri(std::move(uri)), m_parts(std::move(parts)), m_name(std::move(connectionName)),
          m_foldCollation(std::move(foldCollation)), m_traits(std::move(traits)) {}

    ~PostgresProvider() override {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            QSqlQuery(db).exec(u"ROLLBACK"_s);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }

    PostgresProvider(const PostgresProvider&) = delete;
    PostgresProvider& operator=(const PostgresProvider&) = delete;

    std::unique_ptr<Recordset> execute(const QString& jetSql) override {
        const QString sql = translateJetForPostgres(jetSql, m_foldCollation);
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        q.setForwardOnly(true);
        // numeric (a Sum over bigint, say) arrives as a double, not as its decimal text.
        q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (!q.exec(sql)) {
            throwIfConnectionLost(q.lastError());
            // A failed statement spoils the transaction: start a new one, so that a retry can run.
            restartReadTransaction();
            throw Error(ErrNo::DataSource,
                        u"The query failed on the database \"%1\": %2"_s.arg(
                            redactedPostgresUri(m_uri),
                            withoutPassword(q.lastError().databaseText().trimmed(), m_parts)));
        }
        const QSqlRecord record = q.record();
        QStringList names;
        for (int i = 0; i < record.count(); ++i) {
            names << record.fieldName(i);
        }
        QVector<QVector<QVariant>> rows;
        while (q.next()) {
            QVector<QVariant> row;
            row.reserve(record.count());
            for (int i = 0; i < record.count(); ++i) {
                row.append(plainValue(q, i));
            }
            rows.append(std::move(row));
        }
        if (q.lastError().isValid()) {
            throwIfConnectionLost(q.lastError());
            restartReadTransaction();
            throw Error(ErrNo::DataSource,
                        u"Reading the rows failed on the database \"%1\": %2"_s.arg(
                            redactedPostgresUri(m_uri),
                            withoutPassword(q.lastError().databaseText().trimmed(), m_parts)));
        }
        return std::make_unique<Recordset>(std::move(names), std::move(rows));
    }

    SourceTraits traits() const override { return m_traits; }

    /// Every query of one connection reads one snapshot of the server's data (a Totals report
    /// sends a query per period while the monitoring product goes on writing).
    void beginReadTransaction() { QSqlQuery(QSqlDatabase::database(m_name, false)).exec(kReadTransaction); }

private:
    // A connection the server ended (shut down, restarted, or the administrator ended it) or
    // that broke is said in one line: the server's own first sentence, without its severity
    // words, notices and error codes.
    void throwIfConnectionLost(const QSqlError& error) const {
        const QString state = error.nativeErrorCode();
        const bool lost = state.startsWith(u"57P"_s) || state.startsWith(u"08"_s) ||
                          !QSqlDatabase::database(m_name, false).isOpen() ||
                          error.databaseText().contains(u"server closed the connection"_s) ||
                          error.databaseText().contains(u"no connection to the server"_s);
        if (!lost)
            return;
        const QString reason = u"the database \"%1\" (%2)"_s.arg(
            redactedPostgresUri(m_uri), withoutPassword(serverSentence(error.databaseText()), m_parts));
        throw Error(ErrNo::DataSource, u"The server closed the connection during the report: "_s + reason)
            .setKind(ErrorKind::ConnectionLost)
            .setFile(redactedPostgresUri(m_uri))
            .setReason(reason);
    }

    void restartReadTransaction() {
        QSqlQuery(QSqlDatabase::database(m_name, false)).exec(u"ROLLBACK"_s);
        beginReadTransaction();
    }

    QString m_uri;
    PostgresUri m_parts;
    QString m_name;
    QString m_foldCollation;
    SourceTraits m_traits;
};

// Every letter the program folds, each followed by a blank, and the same with each letter
// folded: a collation under which the server's name key gives both texts alike takes every name
// the files take (the key works letter by letter; the blanks keep a final sigma apart).
const std::pair<QString, QString>& foldedLetters() {
    static const std::pair<QString, QString> letters = [] {
        std::pair<QString, QString> texts;
        for (char32_t c = 1; c < 0x110000; ++c) {
            if (c >= 0xD800 && c < 0xE000)
                continue;
            const char32_t folded = QChar::toCaseFolded(c);
            if (folded != c) {
                texts.first += QString::fromUcs4(&c, 1) + u' ';
                texts.second += QString::fromUcs4(&folded, 1) + u' ';
            }
        }
        return texts;
    }();
    return letters;
}

// "lower(upper(lower('…' COLLATE "c"))) = lower(upper(lower('…' COLLATE "c")))": whether the
// server's name key takes every name the program's folding takes under collation `c`.
QString foldCheck(const QString& collation) {
    const auto& [letters, folded] = foldedLetters();
    const auto key = [&](const QString& text) {
        return u"lower(upper(lower('%1' COLLATE \"%2\")))"_s.arg(text, collation);
    };
    return key(letters) + u" = "_s + key(folded);
}

// Whether the server's name key under ICU's root collation takes every name the files take
// (asked only where the server has that collation).
bool icuFolds(QSqlDatabase& db) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    return q.exec(u"SELECT "_s + foldCheck(u"und-x-icu"_s)) && q.next() && q.value(0).toBool();
}

// What the check of a server found besides the table.
struct ServerFacts {
    bool rollup = false;       ///< ActivityDays is there, readable, with its triggers enabled
    bool icu = false;          ///< the server has ICU's root collation
    bool defaultFolds = false; ///< the name key under the database's collation folds as the files do
};

// Checks what the reports need of the table, in one round trip: the Activity table (under its
// folded name "activity", as schema-postgresql.sql creates it), its columns and the right to
// read it; and what else the server offers (the per-day rollup, ICU, how its collation folds).
// The rollup counts only with every trigger that keeps it enabled: for INSERT and DELETE, and
// for UPDATE either one row trigger (as servers set up by earlier versions have it) or one for
// the day, one for TRUNCATE and one for each hour, never both (an UPDATE would count twice).
// The name columns may be citext or plain text: the queries compare names through lower()
// either way.
ServerFacts checkActivityTable(QSqlDatabase& db, const QString& uri, const PostgresUri& parts) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const bool ok = q.exec(
        u"SELECT a.attname, t.typname, has_table_privilege(c.oid, 'SELECT'), c.relkind "
        "FROM pg_class c LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT "
        "a.attisdropped "
        "LEFT JOIN pg_type t ON t.oid = a.atttypid "
        "WHERE c.oid = to_regclass('activity') "
        "UNION ALL SELECT '\"Activity\"', NULL, NULL, NULL WHERE to_regclass('\"Activity\"') IS NOT NULL "
        "UNION ALL SELECT '#rollup', NULL, has_table_privilege(to_regclass('activitydays'), 'SELECT') AND "
        "(SELECT count(*) FILTER (WHERE tgname IN ('activitydays_added', 'activitydays_removed')) = 2 AND "
        "(count(*) FILTER (WHERE tgname = 'activitydays_changed'), "
        "count(*) FILTER (WHERE tgname ~ '^activitydays_(moved|emptied|h(1?[0-9]|2[0-3]))$')) "
        "IN ((1, 0), (0, 26)) "
        "FROM pg_trigger WHERE tgrelid = to_regclass('activity') AND tgenabled <> 'D'), NULL "
        "WHERE to_regclass('activitydays') IS NOT NULL "
        "UNION ALL SELECT '#icu', NULL, EXISTS (SELECT FROM pg_collation WHERE collname = 'und-x-icu'), NULL "
        "UNION ALL SELECT '#default', NULL, "_s +
        foldCheck(u"default"_s) + u", NULL"_s);
    if (!ok) {
        throw postgresOpenFailure(uri, u"the database cannot be read (%1)"_s.arg(
                                           withoutPassword(q.lastError().databaseText().trimmed(), parts)));
    }
    QHash<QString, QString> types;
    ServerFacts facts;
    bool found = false;
    bool quotedName = false;
    bool readable = true;
    while (q.next()) {
        const QString name = q.value(0).toString();
        if (q.isNull(1) && q.isNull(3) && !q.isNull(0)) {
            quotedName = quotedName || name == u"\"Activity\""_s;
            facts.rollup = facts.rollup || (name == u"#rollup"_s && q.value(2).toBool());
            facts.icu = facts.icu || (name == u"#icu"_s && q.value(2).toBool());
            facts.defaultFolds = facts.defaultFolds || (name == u"#default"_s && q.value(2).toBool());
            continue;
        }
        found = true;
        readable = q.value(2).toBool();
        if (!q.isNull(0)) {
            types.insert(name, q.value(1).toString());
        }
    }
    if (!found) {
        throw postgresOpenFailure(uri, quotedName ? u"the database has no activity table, only \"Activity\" "
                                                    "(created with a quoted name); create it with the "
                                                    "unquoted name Activity, which the server folds to "
                                                    "activity"_s
                                                  : u"the database has no Activity table"_s);
    }
    QStringList missing;
    for (const QString& column : requiredActivityColumns()) {
        if (!types.contains(column.toLower())) {
            missing << column;
        }
    }
    if (!missing.isEmpty()) {
        throw postgresOpenFailure(uri, u"the Activity table lacks the column%1 %2"_s.arg(
                                           missing.size() > 1 ? u"s"_s : QString(), missing.join(u", "_s)));
    }
    if (!readable) {
        throw postgresOpenFailure(uri, u"the user \"%1\" may not read the Activity table"_s.arg(
                                           db.userName().isEmpty() ? u"(default)"_s : db.userName()));
    }
    return facts;
}

} // namespace

QSqlDatabase openPostgresDatabase(const QString& uri, const QString& connectionName, PostgresUri* partsOut) {
    PostgresUri parts;
    QString problem;
    if (!parsePostgresUri(uri, parts, problem)) {
        throw postgresOpenFailure(uri, u"the address is not a valid PostgreSQL URI: "_s + problem);
    }
    if (!QSqlDatabase::isDriverAvailable(kDriver)) {
        throw postgresOpenFailure(uri, u"the PostgreSQL driver of Qt (QPSQL, package libqt6sql6-psql) is not "
                                       "installed"_s);
    }

    // The driver takes host and port one each; libpq's own options carry host lists and the rest.
    QStringList options;
    auto add = [&](const QString& key, const QString& value) {
        if (value.contains(u';')) {
            // The driver turns ";" into a blank before libpq sees the options.
            throw postgresOpenFailure(
                uri, u"the value of \"%1\" contains \";\", which cannot be passed on"_s.arg(key));
        }
        options << key + u'=' + quoted(value);
    };
    if (!parts.hosts.isEmpty() && !(parts.hosts.size() == 1 && parts.hosts.first().isEmpty())) {
        add(u"host"_s, parts.hosts.join(u','));
    }
    if (std::any_of(parts.ports.cbegin(), parts.ports.cend(),
                    [](const QString& p) { return !p.isEmpty(); })) {
        add(u"port"_s, parts.ports.join(u','));
    }
    bool timeoutOk = false;
    int timeout = parts.param(u"connect_timeout"_s).toInt(&timeoutOk);
    if (!timeoutOk || timeout <= 0) {
        timeout = kPostgresConnectTimeoutSeconds;
    }
    add(u"connect_timeout"_s, QString::number(timeout));
    add(u"application_name"_s, parts.param(u"application_name"_s, u"Tallyrow Reports"_s));
    for (const auto& [key, value] : parts.params) {
        if (key != u"connect_timeout"_s && key != u"application_name"_s) {
            add(key, value);
        }
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, connectionName);
    db.setDatabaseName(parts.dbname);
    db.setUserName(parts.user);
    db.setPassword(parts.password);
    db.setConnectOptions(options.join(u';'));
    if (!db.open()) {
        const QString reason = connectFailureReason(db.lastError().databaseText(), parts, timeout);
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw postgresOpenFailure(uri, reason);
    }
    if (partsOut) {
        *partsOut = std::move(parts);
    }
    return db;
}

std::unique_ptr<Connection::Provider> openPostgresProvider(const QString& uri) {
    static std::atomic<int> serial{0};
    const QString name = u"tallyrow-postgres-%1"_s.arg(++serial);
    PostgresUri parts;
    QString foldCollation;
    SourceTraits traits;
    {
        QSqlDatabase db = openPostgresDatabase(uri, name, &parts);
        // The program only reads: every statement runs in a read-only transaction, and the checks
        // already read the snapshot the report reads.
        QSqlQuery(db).exec(kReadTransaction);
        try {
            const ServerFacts facts = checkActivityTable(db, uri, parts);
            if (facts.icu && icuFolds(db))
                foldCollation = u"und-x-icu"_s;
            else if (facts.defaultFolds)
                foldCollation = u"default"_s;
            traits.names = foldCollation.isEmpty() ? SourceTraits::NameComparison::None
                                                   : SourceTraits::NameComparison::Narrowing;
            traits.spelling = u"CAST(%1 AS text)"_s;
            traits.dayRollup = facts.rollup;
        } catch (...) {
            QSqlQuery(db).exec(u"ROLLBACK"_s);
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw;
        }
    }
    return std::make_unique<PostgresProvider>(uri, std::move(parts), name, std::move(foldCollation),
                                              std::move(traits));
}

} // namespace tallyrow
