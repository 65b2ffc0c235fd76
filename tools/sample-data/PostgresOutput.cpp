#include "PostgresOutput.h"

#include "datafile/PostgresProvider.h"
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
    QStringList lines = QString::fromUtf8(postgresSchemaSql()).split(u'\n');
    lines.removeIf([](const QString& line) { return line.trimmed().startsWith(u"--"_s); });
    for (const QString& statement : lines.join(u'\n').split(u';')) {
        const QString s = statement.trimmed();
        if (s.isEmpty()) {
            continue;
        }
        (s.contains(u" INDEX "_s, Qt::CaseInsensitive) ? indexes : before) << s;
    }
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
        QSqlQuery q(db);
        auto run = [&](const QString& sql, const char* what) {
            if (!q.exec(sql)) {
                failure = u"%1: %2"_s.arg(QString::fromLatin1(what), q.lastError().databaseText().trimmed());
                return false;
            }
            return true;
        };
        QStringList table;
        QStringList indexes;
        splitSchema(table, indexes);
        // "already exists, skipping" notices are no news to the user.
        bool ok = run(u"SET client_min_messages = warning"_s, "settings") && db.transaction();
        if (!ok && failure.isEmpty()) {
            failure = u"cannot start a transaction: "_s + db.lastError().databaseText().trimmed();
        }
        for (const QString& s : table) {
            ok = ok && run(s, "schema");
        }

        QStringList names[2];
        for (const QString& u : office.users()) {
            names[0] << literal(u);
        }
        for (const QString& c : office.computers()) {
            names[1] << literal(c);
        }
        QString sql;
        int pending = 0;
        auto flush = [&] {
            if (pending > 0) {
                ok = ok && run(sql, "insert");
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
                sql += QString::number(r.activeDay) + u',' + names[0][r.user] + u',' + names[1][r.computer];
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
        for (const QString& s : indexes) {
            ok = ok && run(s, "index");
        }
        ok = ok && db.commit();
        if (!ok) {
            if (failure.isEmpty()) {
                failure = u"commit: "_s + db.lastError().databaseText().trimmed();
            }
            db.rollback();
        }
        q = QSqlQuery();
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
