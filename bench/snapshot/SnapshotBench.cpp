// tallyrow-bench-snapshot DATAFILE FROM TO [RUNS]
// Prints, for one SQLite data file: the bare SQLite pass over every row against building the
// snapshot, saving and reloading its copy, memory per row, and for each report the median time
// of the answer by the queries (as the reports send them) and from the snapshot, with their ratio.
// Page layout is left out on both sides: it does not depend on where the figures come from.
#include "datafile/ActivitySnapshot.h"
#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/SnapshotStore.h"
#include "datafile/SqliteDatabase.h"
#include "datafile/SqliteSnapshotRead.h"
#include "reports/DayQuery.h"
#include "reports/ReportTexts.h"
#include "reports/TotalsQuery.h"
#include "shell/UserList.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

using namespace tallyrow;

namespace {

double seconds(const std::function<void()>& fn) {
    QElapsedTimer t;
    t.start();
    fn();
    return double(t.nsecsElapsed()) / 1e9;
}

double median(const std::function<void()>& fn, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(seconds(fn));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double residentMB() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0 : 0;
}

// Every value of every row read once, as the snapshot's build reads them.
std::int64_t barePass(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    QString sql = QStringLiteral("SELECT ActiveDay, UserName, ComputerName");
    for (int h = 0; h < 24; ++h)
        sql += QStringLiteral(", H%1").arg(h);
    sql += QStringLiteral(" FROM Activity");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    std::int64_t sum = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        sum += sqlite3_column_int64(stmt, 0) + sqlite3_column_bytes(stmt, 1) + sqlite3_column_bytes(stmt, 2);
        for (int h = 0; h < 24; ++h)
            sum += sqlite3_column_int64(stmt, 3 + h);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return sum;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: tallyrow-bench-snapshot DATAFILE FROM TO [RUNS]\n");
        return 2;
    }
    const QString path = args[1];
    const QDate from = QDate::fromString(args[2], Qt::ISODate);
    const QDate to = QDate::fromString(args[3], Qt::ISODate);
    const int runs = args.size() > 4 ? args[4].toInt() : 5;
    SessionDataPath = path;

    const double rssBefore = residentMB();
    // Build and bare pass alternate, so both meet the same page cache and machine load.
    const int passes = std::max(1, std::min(runs, 3));
    std::vector<double> bareTimes;
    std::vector<double> buildTimes;
    std::vector<double> splitTimes;
    std::shared_ptr<const ActivitySnapshot> snap;
    for (int i = 0; i < passes; ++i) {
        bareTimes.push_back(seconds([&] { barePass(path); }));
        snap.reset();
        setSqliteSplitReadRows(std::numeric_limits<std::int64_t>::max());
        buildTimes.push_back(seconds([&] { snap = readActivitySnapshot(path); }));
        snap.reset();
        setSqliteSplitReadRows(0);
        splitTimes.push_back(seconds([&] { snap = readActivitySnapshot(path); }));
    }
    const auto middle = [](std::vector<double>& times) {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    const double bare = middle(bareTimes);
    const double build = middle(buildTimes);
    const double split = middle(splitTimes);
    const double rssAfter = residentMB();
    const std::size_t rows = snap->rowCount();

    QTemporaryDir cache;
    const double save = seconds([&] {
        QFile out(cache.filePath(QStringLiteral("bench.copy")));
        out.open(QIODevice::WriteOnly);
        out.write(snap->toBytes());
    });
    SnapshotStore(cache.path()).load(path);
    const double reload = median([&] { SnapshotStore(cache.path()).load(path); }, runs);

    std::printf("data file %s: %zu rows\n", qUtf8Printable(path), rows);
    std::printf("%-34s %9.3f s   (medians of %d)\n", "bare SQLite pass over the rows", bare, passes);
    std::printf("%-34s %9.3f s   (%.2f x the bare pass)\n", "snapshot build (1 thread)", build, build / bare);
    std::printf("%-34s %9.3f s   (%.2f x the bare pass; two connections from %lld rows on)\n",
                "snapshot build (2 threads)", split, split / bare,
                static_cast<long long>(sqliteSplitReadRows()));
    std::printf("%-34s %9.3f s\n", "saving the copy", save);
    std::printf("%-34s %9.3f s\n", "reload from the saved copy", reload);
    std::printf("%-34s %9.1f bytes (%.1f MB in all; resident %.0f -> %.0f MB)\n", "memory per row",
                double(snap->memoryBytes()) / double(std::max<std::size_t>(rows, 1)),
                double(snap->memoryBytes()) / 1048576.0, rssBefore, rssAfter);

    Connection cn;
    cn.Open(ConnectionString(path));
    const std::unique_ptr<Recordset> pairs = snap->userComputerPairs();
    const QString user = pairs->EOF_() ? QString() : pairs->field(0).toString();
    const QString computer = pairs->EOF_() ? QString() : pairs->field(1).toString();

    auto dayCase = [&](const QString& u, const QString& c) {
        DayReportInputs in;
        in.StartDate = from;
        in.EndDate = to;
        in.UserFilter = u;
        in.ComputerFilter = c;
        const double sql = median(
            [&] {
                HourGrid grid{};
                std::unique_ptr<Recordset> rs = cn.Execute(dayQueryText(in));
                for (; !rs->EOF_(); rs->MoveNext())
                    addDayResultRow(grid, *rs);
            },
            runs);
        const double mem = median([&] { daySnapshotGrid(*snap, in); }, runs);
        return std::make_pair(sql, mem);
    };
    auto totalsCase = [&](const QString& period) {
        const QVector<PeriodSpan> periods = totalsPeriods(from, to, periodCode(period), 1);
        const QString filter = userComputerFilter({}, {});
        const double sql = median(
            [&] {
                for (const PeriodSpan& p : periods) {
                    std::unique_ptr<Recordset> rs = cn.Execute(totalsHourSumsQuery(p.start, p.next, filter));
                    periodTotal(*rs, 60);
                }
            },
            runs);
        const double mem = median([&] { totalsSnapshotSeconds(*snap, periods, {}, {}); }, runs);
        return std::make_pair(sql, mem);
    };
    auto userList = [&] {
        const double sql = median(
            [&] {
                cn.Execute(UserComputerPairsQuery());
                cn.Execute(UsersOnSeveralComputersQuery());
                cn.Execute(ComputersOfSeveralUsersQuery());
            },
            runs);
        const double mem = median(
            [&] {
                snap->userComputerPairs();
                snap->usersOnSeveralComputers();
                snap->computersOfSeveralUsers();
            },
            runs);
        return std::make_pair(sql, mem);
    };

    std::printf("\n%-34s %12s %12s %10s   (medians of %d)\n", "report", "queries ms", "snapshot ms", "ratio",
                runs);
    auto line = [](const char* name, std::pair<double, double> t) {
        std::printf("%-34s %12.2f %12.3f %10.0f\n", name, t.first * 1e3, t.second * 1e3,
                    t.first / std::max(t.second, 1e-9));
    };
    line("Day, all users", dayCase({}, {}));
    line(qPrintable(QStringLiteral("Day, user %1").arg(user)), dayCase(user, {}));
    line(qPrintable(QStringLiteral("Day, computer %1").arg(computer)), dayCase({}, computer));
    line("Totals by days", totalsCase(QStringLiteral("Days")));
    line("Totals by weeks", totalsCase(QStringLiteral("Weeks")));
    line("Totals by months", totalsCase(QStringLiteral("Months")));
    line("user list (three lists)", userList());
    return 0;
}
