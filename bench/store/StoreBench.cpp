// tallyrow-bench-store DATAFILE FROM TO [RUNS]
// Prints, for one SQLite data file: the bare SQLite pass over every row against reading the
// store, saving its copy and opening it again, memory per row, and for each report's question the
// median time of the answer by SQL (one statement, as the SQL executor sends it) and from the
// store, with their ratio. Page layout is left out on both sides.
#include "activity/ActivityStore.h"
#include "activity/SqlExecutor.h"
#include "activity/SqliteRowReader.h"
#include "activity/StoreCache.h"
#include "activity/StoreFile.h"
#include "reports/DayQuery.h"
#include "reports/TotalsQuery.h"

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

    const double rssBefore = residentMB();
    // Build and bare pass alternate, so both meet the same page cache and machine load.
    const int passes = std::max(1, std::min(runs, 3));
    std::vector<double> bareTimes;
    std::vector<double> buildTimes;
    std::vector<double> splitTimes;
    std::shared_ptr<const ActivityStore> snap;
    for (int i = 0; i < passes; ++i) {
        bareTimes.push_back(seconds([&] { barePass(path); }));
        snap.reset();
        setSqliteSplitReadRows(std::numeric_limits<std::int64_t>::max());
        buildTimes.push_back(seconds([&] { snap = readActivityStore(path); }));
        snap.reset();
        setSqliteSplitReadRows(0);
        splitTimes.push_back(seconds([&] { snap = readActivityStore(path); }));
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
    const QString copy = cache.filePath(QStringLiteral("bench.store"));
    const double save = seconds([&] { StoreFile::write(*snap, copy, "bench"); });
    const double reload = median([&] { StoreFile::open(copy, "bench"); }, runs);

    std::printf("data file %s: %zu rows\n", qUtf8Printable(path), rows);
    std::printf("%-34s %9.3f s   (medians of %d)\n", "bare SQLite pass over the rows", bare, passes);
    std::printf("%-34s %9.3f s   (%.2f x the bare pass)\n", "store read (1 thread)", build, build / bare);
    std::printf("%-34s %9.3f s   (%.2f x the bare pass; two connections from %lld rows on)\n",
                "store read (2 threads)", split, split / bare, static_cast<long long>(sqliteSplitReadRows()));
    std::printf("%-34s %9.3f s\n", "saving the copy", save);
    std::printf("%-34s %9.3f s\n", "opening the saved copy", reload);
    std::printf("%-34s %9.1f bytes (%.1f MB in all; resident %.0f -> %.0f MB)\n", "memory per row",
                double(snap->memoryBytes()) / double(std::max<std::size_t>(rows, 1)),
                double(snap->memoryBytes()) / 1048576.0, rssBefore, rssAfter);

    SqlExecutor sql(path);
    const ActivityUserList list = snap->answer(ActivityQuery::userList()).users;
    const QString user = list.pairs.empty() ? QString() : list.pairs.front().user.value_or(QString());
    const QString computer = list.pairs.empty() ? QString() : list.pairs.front().computer.value_or(QString());
    auto both = [&](const ActivityQuery& q) {
        return std::make_pair(median([&] { sql.answer(q); }, runs), median([&] { snap->answer(q); }, runs));
    };
    auto dayCase = [&](const QString& u, const QString& c) {
        DayReportInputs in;
        in.range = {from, to};
        in.userFilter = u;
        in.computerFilter = c;
        return both(dayQuery(in));
    };
    auto totalsCase = [&](const QString& period) {
        return both(totalsQuery(
            totalsPeriods({from, to}, periodCode(periodNamed(period).value_or(TotalsPeriod::Days)), 1), {},
            {}));
    };

    std::printf("\n%-34s %12s %12s %10s   (medians of %d)\n", "report", "SQL ms", "store ms", "ratio", runs);
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
    line("user list (three lists)", both(ActivityQuery::userList()));
    return 0;
}
