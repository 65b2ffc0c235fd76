#include "PostgresOutput.h"

#include "datafile/PostgresProvider.h"
#include "datafile/PostgresSql.h"
#include "datafile/PostgresUri.h"
#include "support/Error.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace tallyrow::sample {

namespace {

// Rows per INSERT: large statements keep the round trips few; 500 rows are about 60 kB of text.
constexpr int kRowsPerStatement = 500;

QString literal(const QString& text) {
    QString quoted = text;
    quoted.replace(u'\'', u"''"_s);
    return u'\'' + quoted + u'\'';
}

// The schema's statements without comment lines: the table (and what it needs) first, the
// indexes apart, so they are built once the rows are in.
void splitSchema(QStringList& before, QStringList& indexes) {
    for (const QString& s : postgresScriptStatements(QString::fromUtf8(postgresSchemaSql()))) {
        (s.startsWith(u"CREATE"_s, Qt::CaseInsensitive) && s.contains(u" INDEX "_s, Qt::CaseInsensitive)
             ? indexes
             : before)
            << s;
    }
}

QStringList literals(const QStringList& texts) {
    QStringList out;
    for (const QString& text : texts) {
        out << literal(text);
    }
    return out;
}

// Runs one statement; on failure keeps what it was for and the server's reason in `failure`.
bool run(QSqlQuery& q, const QString& sql, const char* what, QString& failure) {
    if (!q.exec(sql)) {
        failure = u"%1: %2"_s.arg(QString::fromLatin1(what), q.lastError().databaseText().trimmed());
        return false;
    }
    return true;
}

// Inserts the office's rows, kRowsPerStatement to a statement, newest day first, as
// writeOfficeToPostgres says. Counts the rows in `written`; false after a failure, kept in `failure`.
bool insertRows(QSqlQuery& q, const Office& office, const QDate& from, const QDate& to, qint64 rowLimit,
                qint64& written, QString& failure) {
    const QStringList users = literals(office.users());
    const QStringList computers = literals(office.computers());
    bool ok = true;
    QString sql;
    int pending = 0;
    auto flush = [&] {
        if (pending > 0) {
            ok = ok && run(q, sql, "insert", failure);
        }
        sql.clear();
        pending = 0;
    };
    std::vector<ActivityRow> rows;
    for (QDate d = to; ok && (!from.isValid() || d >= from); d = d.addDays(-1)) {
        if (rowLimit >= 0 && written >= rowLimit) {
            break;
        }
        if (!from.isValid() && d.year() < 1000) {
            break; // more rows asked for than the office can fill
        }
        rows.clear();
        office.day(d, rows);
        for (const ActivityRow& r : rows) {
            if (rowLimit >= 0 && written >= rowLimit) {
                break;
            }
            sql += pending == 0 ? u"INSERT INTO activity VALUES ("_s : u",("_s;
            sql += QString::number(r.activeDay) + u',' + users[r.user] + u',' + computers[r.computer];
            for (int s : r.seconds) {
                sql += u',' + QString::number(s);
            }
            sql += u')';
            ++written;
            if (++pending == kRowsPerStatement) {
                flush();
            }
        }
    }
    flush();
    return ok;
}

// Creates what is missing of the schema, inserts the rows and builds the indexes in one
// transaction on `db`, rolled back on any failure. Returns the failure in words, or nothing.
QString fillDatabase(QSqlDatabase& db, const Office& office, const QDate& from, const QDate& to,
                     qint64 rowLimit, qint64& written) {
    QString failure;
    QSqlQuery q(db);
    QStringList table;
    QStringList indexes;
    splitSchema(table, indexes);
    // "already exists, skipping" notices are no news to the user.
    bool ok = run(q, u"SET client_min_messages = warning"_s, "settings", failure) && db.transaction();
    if (!ok && failure.isEmpty()) {
        failure = u"cannot start a transaction: "_s + db.lastError().databaseText().trimmed();
    }
    for (const QString& s : table) {
        ok = ok && run(q, s, "schema", failure);
    }
    ok = ok && insertRows(q, office, from, to, rowLimit, written, failure);
    for (const QString& s : indexes) {
        ok = ok && run(q, s, "index", failure);
    }
    ok = ok && db.commit();
    if (!ok) {
        if (failure.isEmpty()) {
            failure = u"commit: "_s + db.lastError().databaseText().trimmed();
        }
        db.rollback();
    }
    return failure;
}

} // namespace

int writeOfficeToPostgres(const QString& uri, const Office& office, const QDate& from, const QDate& to,
                          qint64 rowLimit) {
    const QString shown = redactedPostgresUri(uri);
    const QString connection = u"tallyrow-sample-data"_s;
    QElapsedTimer timer;
    timer.start();
    qint64 written = 0;
    QString failure;
    try {
        QSqlDatabase db = openPostgresDatabase(uri, connection);
        failure = fillDatabase(db, office, from, to, rowLimit, written);
        db.close();
    } catch (const Error& e) {
        // It names the database already, without the password.
        std::fprintf(stderr, "tallyrow-sample-data: %s\n", qUtf8Printable(e.description()));
        QSqlDatabase::removeDatabase(connection);
        return 1;
    }
    QSqlDatabase::removeDatabase(connection);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "tallyrow-sample-data: %s: %s\n", qUtf8Printable(shown),
                     qUtf8Printable(failure));
        return 1;
    }
    std::fprintf(stderr, "tallyrow-sample-data: %lld rows, %d users, %d computers into %s in %.2f s\n",
                 static_cast<long long>(written), int(office.users().size()), int(office.computers().size()),
                 qUtf8Printable(shown), timer.elapsed() / 1000.0);
    return 0;
}

} // namespace tallyrow::sample
