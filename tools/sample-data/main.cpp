// tallyrow-sample-data (--output FILE | --postgres URI) [--users N] [--computers N]
//                      [--from YYYY-MM-DD --to YYYY-MM-DD | --years N] [--seed N] [--rows N]
//
// Writes a made-up office's activity (working days, office hours with a lunch dip, evenings,
// weekends, holidays and absences, shared desks and laptops) as an SQLite data file with the
// template's schema. Without a range it covers the --years (default 1) ending today (or --to).
// With --rows it writes at most that many rows, the most recent days first, never before the
// range's first day; it says so when the range holds fewer. With --postgres the same rows go
// into the activity table of a PostgreSQL database instead (created when missing).
#include "ActivitySchema.h"
#include "PostgresOutput.h"
#include "SampleOffice.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <sqlite3.h>

#include <cstdio>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tallyrow::sample;

namespace {

struct Options {
    QString output;
    QString postgres;
    int users = 8;
    int computers = -1;
    std::optional<QDate> from;
    std::optional<QDate> to;
    int years = 1;
    quint64 seed = 1;
    qint64 rows = -1;
};

const char* const kUsage =
    "usage: tallyrow-sample-data (--output FILE | --postgres URI) [--users N] [--computers N]\n"
    "           [--from YYYY-MM-DD --to YYYY-MM-DD | --years N] [--seed N] [--rows N]\n";

int usage(const char* problem) {
    if (problem) {
        std::fprintf(stderr, "tallyrow-sample-data: %s\n", problem);
    }
    std::fprintf(stderr, "%s", kUsage);
    return 2;
}

int help() {
    std::printf("%s\n"
                "Writes a made-up office's activity, for trying the reports and measuring them.\n"
                "\n"
                "  --output FILE     the SQLite data file to write (replaced when it exists)\n"
                "  --postgres URI    or the PostgreSQL database to fill instead\n"
                "  --users N         people in the office (default 8)\n"
                "  --computers N     computers (default: one per person)\n"
                "  --from DATE --to DATE\n"
                "                    the range of days, YYYY-MM-DD (default: --years ending today)\n"
                "  --years N         the length of the range when --from is not given (default 1)\n"
                "  --seed N          the same seed gives the same rows (default 1)\n"
                "  --rows N          at most N rows, the most recent days first\n",
                kUsage);
    return 0;
}

bool check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE) {
        std::fprintf(stderr, "tallyrow-sample-data: %s: %s\n", what, sqlite3_errmsg(db));
        return false;
    }
    return true;
}

// Reads the command line into `o`. Returns the exit code when the tool stops here (--help, a
// missing or bad value, an unknown option); nothing when the options are read.
std::optional<int> readOptions(const QStringList& args, Options& o) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--help" || a == u"-h") {
            return help();
        }
        if (i + 1 >= args.size()) {
            return usage(qPrintable(u"%1 needs a value"_s.arg(a)));
        }
        const QString& v = args[++i];
        bool ok = true;
        if (a == u"--output") {
            o.output = v;
        } else if (a == u"--postgres") {
            o.postgres = v;
        } else if (a == u"--users") {
            o.users = v.toInt(&ok);
            ok = ok && o.users > 0;
        } else if (a == u"--computers") {
            o.computers = v.toInt(&ok);
            ok = ok && o.computers > 0;
        } else if (a == u"--from") {
            o.from = QDate::fromString(v, Qt::ISODate);
            ok = o.from->isValid();
        } else if (a == u"--to") {
            o.to = QDate::fromString(v, Qt::ISODate);
            ok = o.to->isValid();
        } else if (a == u"--years") {
            o.years = v.toInt(&ok);
            ok = ok && o.years > 0;
        } else if (a == u"--seed") {
            o.seed = v.toULongLong(&ok);
        } else if (a == u"--rows") {
            o.rows = v.toLongLong(&ok);
            ok = ok && o.rows >= 0;
        } else {
            return usage("unknown option");
        }
        if (!ok) {
            std::fprintf(stderr, "tallyrow-sample-data: bad value for %s: %s\n", qPrintable(a),
                         qPrintable(v));
            return 2;
        }
    }
    return std::nullopt;
}

// INSERT of one Activity row; its values are bound by place: day, user, computer, H0 to H23.
QByteArray insertSql() {
    QByteArray sql = "INSERT INTO Activity (ActiveDay, UserName, ComputerName";
    for (int h = 0; h < 24; ++h) {
        sql += ", H" + QByteArray::number(h);
    }
    sql += ") VALUES (?, ?, ?" + QByteArray(", ?").repeated(24) + ")";
    return sql;
}

std::vector<QByteArray> utf8(const QStringList& names) {
    std::vector<QByteArray> out;
    for (const QString& name : names) {
        out.push_back(name.toUtf8());
    }
    return out;
}

// Inserts the office's rows through `insert`, newest day first (so --rows keeps the most recent
// days), from `to` back to `from` (an invalid `from`: no first day), at most `rowLimit` of them
// (negative: no limit). Counts the rows in `written`; false after a failure, said on stderr.
bool insertRows(sqlite3* db, sqlite3_stmt* insert, const Office& office, const QDate& from, const QDate& to,
                qint64 rowLimit, qint64& written) {
    const std::vector<QByteArray> userNames = utf8(office.users());
    const std::vector<QByteArray> computerNames = utf8(office.computers());
    bool ok = true;
    std::vector<ActivityRow> rows;
    for (QDate d = to; ok && (!from.isValid() || d >= from); d = d.addDays(-1)) {
        if (rowLimit >= 0 && written >= rowLimit) {
            break;
        }
        rows.clear();
        office.day(d, rows);
        for (const ActivityRow& r : rows) {
            if (rowLimit >= 0 && written >= rowLimit) {
                break;
            }
            sqlite3_bind_int(insert, 1, r.activeDay);
            const QByteArray& u = userNames[r.user];
            const QByteArray& c = computerNames[r.computer];
            sqlite3_bind_text(insert, 2, u.constData(), int(u.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert, 3, c.constData(), int(c.size()), SQLITE_STATIC);
            for (int h = 0; h < 24; ++h) {
                sqlite3_bind_int(insert, 4 + h, r.seconds[h]);
            }
            ok = check(db, sqlite3_step(insert), "insert");
            sqlite3_reset(insert);
            if (!ok) {
                break;
            }
            ++written;
        }
    }
    return ok;
}

// Fills the new, empty data file `db` with the office's rows (as insertRows) and the template's
// indexes, in one transaction. False after a failure, said on stderr.
bool fillDataFile(sqlite3* db, const Office& office, const QDate& from, const QDate& to, qint64 rowLimit,
                  qint64& written) {
    // The table first, its indexes once it is filled (much faster than keeping them up to date).
    const tallyrow::ActivitySchemaStatements schema = tallyrow::activitySchemaStatements();
    bool ok =
        check(db,
              sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-200000;",
                           nullptr, nullptr, nullptr),
              "settings") &&
        check(db, sqlite3_exec(db, schema.table.c_str(), nullptr, nullptr, nullptr), "schema") &&
        check(db, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), "begin");
    sqlite3_stmt* insert = nullptr;
    ok = ok && check(db, sqlite3_prepare_v2(db, insertSql().constData(), -1, &insert, nullptr), "prepare");
    ok = ok && insertRows(db, insert, office, from, to, rowLimit, written);
    sqlite3_finalize(insert);
    for (const auto* list : {&schema.uniqueIndexes, &schema.indexes}) {
        for (const std::string& index : *list) {
            ok = ok && check(db, sqlite3_exec(db, index.c_str(), nullptr, nullptr, nullptr), "index");
        }
    }
    ok = ok && check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
    // Leave an ordinary rollback-journal database behind.
    ok =
        ok && check(db, sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr), "journal");
    return ok;
}

// Writes the office's rows for `from` to `to` as the SQLite data file o.output; returns the
// tool's exit code.
int writeOfficeToFile(const Options& o, const QDate& from, const QDate& to) {
    // Written beside the target and renamed into place: a reader never sees half a file.
    const QString temp = o.output + u".part"_s;
    QFile::remove(temp);
    sqlite3* db = nullptr;
    if (!check(db,
               sqlite3_open_v2(QFile::encodeName(temp).constData(), &db,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
               "cannot create the file")) {
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    const Office office(o.users, o.computers, o.seed);
    qint64 written = 0;
    const bool ok = fillDataFile(db, office, from, to, o.rows, written);
    sqlite3_close(db);
    if (!ok) {
        QFile::remove(temp);
        return 1;
    }
    QFile::remove(o.output);
    if (!QFile::rename(temp, o.output)) {
        std::fprintf(stderr, "tallyrow-sample-data: cannot write %s\n", qPrintable(o.output));
        QFile::remove(temp);
        return 1;
    }
    if (o.rows > written) {
        std::fprintf(stderr,
                     "tallyrow-sample-data: the range holds %lld rows of this office, not %lld; more need "
                     "--users, --years or an earlier --from\n",
                     static_cast<long long>(written), static_cast<long long>(o.rows));
    }
    std::fprintf(stderr, "tallyrow-sample-data: %lld rows, %d users, %d computers in %.2f s\n",
                 static_cast<long long>(written), int(office.users().size()), int(office.computers().size()),
                 timer.elapsed() / 1000.0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options o;
    if (const std::optional<int> stop = readOptions(app.arguments().mid(1), o)) {
        return *stop;
    }
    if (o.output.isEmpty() == o.postgres.isEmpty()) {
        return usage("one of --output and --postgres is required");
    }
    if (o.computers < 0) {
        o.computers = o.users;
    }
    const QDate to = o.to.value_or(QDate::currentDate());
    const QDate from = o.from ? *o.from : to.addYears(-o.years).addDays(1);
    if (from.isValid() && from > to) {
        return usage("--from lies after --to");
    }
    if (!o.postgres.isEmpty()) {
        return writeOfficeToPostgres(o.postgres, Office(o.users, o.computers, o.seed), from, to, o.rows);
    }
    return writeOfficeToFile(o, from, to);
}
