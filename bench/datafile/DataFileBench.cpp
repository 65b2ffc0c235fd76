// tallyrow-bench-datafile --sqlite FILE [--jet FILE] [--reps N]
//
// Prints, for an SQLite data file, the Day report's aggregate query and a year of the Totals
// report's weekly queries timed through a connection and through the sqlite3 shell (same
// translated text, ".timer on"), with their ratio; and for an Access file the first open (read
// through the child process) and the median cost of a further connection.
#include "datafile/Connection.h"
#include "datafile/JetProvider.h"
#include "datafile/JetSqlTranslator.h"
#include "support/Error.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

QString cs(const QString& path) {
    return u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source="_s + path + u"; Jet OLEDB:Database Password = "_s;
}

QString dayQuery(int from, int to) {
    QString q = u"SELECT [ActiveDay] Mod 7 AS DayNumber, "_s;
    for (int h = 0; h < 24; ++h) {
        q += u"Avg(Activity.H%1) AS T%1"_s.arg(h) + (h < 23 ? u", "_s : u" "_s);
    }
    return q + u"From Activity WHERE (ActiveDay BETWEEN %1 AND %2) GROUP BY [ActiveDay] Mod 7 "
               "HAVING ActiveDay mod 7  In (2,3,4,5,6,0,1)"_s.arg(from)
                   .arg(to);
}

QString totalsQuery(int from, int to) {
    QString sum;
    for (int h = 0; h < 24; ++h) {
        sum += (h ? u"+"_s : QString()) + u"[H%1]"_s.arg(h);
    }
    return u"SELECT Activity.ActiveDay, Activity.UserName, Activity.ComputerName, ("_s + sum +
           u")/60 AS DayTotal FROM Activity WHERE (ActiveDay BETWEEN %1 AND %2)"_s.arg(from).arg(to);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Timing {
    double real = 0;
    double cpu = 0; // user + system
};

// Times the sqlite3 shell reports for each statement of `queries`, run in one shell.
std::vector<Timing> shellTimes(const QString& file, const QStringList& queries) {
    QProcess shell;
    shell.start(u"sqlite3"_s, {u"-readonly"_s, file});
    if (!shell.waitForStarted()) {
        return {};
    }
    QByteArray script = ".timer on\n.output /dev/null\n";
    const JetSqlTranslator translator;
    for (const QString& q : queries) {
        script += translator.translate(q).toUtf8() + ";\n";
    }
    shell.write(script);
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    std::vector<Timing> times;
    static const QRegularExpression re(u"Run Time: real ([0-9.]+) user ([0-9.]+) sys ([0-9.]+)"_s);
    auto it = re.globalMatch(QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError()));
    while (it.hasNext()) {
        const auto m = it.next();
        times.push_back({m.captured(1).toDouble(), m.captured(2).toDouble() + m.captured(3).toDouble()});
    }
    return times;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString sqlite, jet;
    int reps = 5;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--sqlite") {
            sqlite = args[i + 1];
        } else if (args[i] == u"--jet") {
            jet = args[i + 1];
        } else if (args[i] == u"--reps") {
            reps = std::max(1, args[i + 1].toInt());
        }
    }
    try {
        if (!sqlite.isEmpty()) {
            Connection probe;
            probe.Open(cs(sqlite));
            auto range = probe.Execute(
                u"SELECT Min(ActiveDay) AS A, Max(ActiveDay) AS B, Count(*) AS N FROM Activity"_s);
            const int first = range->field(u"A"_s).toInt(), last = range->field(u"B"_s).toInt();
            std::printf("SQLite file: %s, %lld rows, days %d..%d\n", qPrintable(sqlite),
                        range->field(u"N"_s).toLongLong(), first, last);
            probe.Close();

            // The two sides take turns, so a busy machine slows both alike; CPU time is steadier.
            const QString day = dayQuery(first, last);
            std::vector<double> oursReal, oursCpu, shellReal, shellCpu;
            for (int r = 0; r < reps; ++r) {
                QElapsedTimer t;
                t.start();
                const double cpu0 = cpuSeconds();
                Connection cn;
                cn.Open(cs(sqlite));
                cn.Execute(day);
                cn.Close();
                oursCpu.push_back(cpuSeconds() - cpu0);
                oursReal.push_back(t.nsecsElapsed() / 1e9);
                const std::vector<Timing> shell = shellTimes(sqlite, {day});
                if (shell.size() == 1) {
                    shellReal.push_back(shell[0].real);
                    shellCpu.push_back(shell[0].cpu);
                }
            }
            if (!shellReal.empty()) {
                std::printf("Day report query over all rows (open+run+close), median of %d:\n"
                            "  connection real %.3f s, cpu %.3f s; sqlite3 shell real %.3f s, cpu %.3f s; "
                            "ratio real %.2f, cpu %.2f\n",
                            reps, median(oursReal), median(oursCpu), median(shellReal), median(shellCpu),
                            median(oursReal) / median(shellReal), median(oursCpu) / median(shellCpu));
            }

            // A year of weekly periods, as the Totals report runs them: one connection, 52 queries.
            QStringList weeks;
            for (int w = 0; w < 52; ++w) {
                weeks << totalsQuery(last - 364 + 7 * w, last - 364 + 7 * w + 6);
            }
            std::vector<double> oursTotals;
            for (int r = 0; r < reps; ++r) {
                QElapsedTimer t;
                t.start();
                Connection cn;
                cn.Open(cs(sqlite));
                qlonglong rows = 0;
                for (const QString& q : weeks) {
                    rows += cn.Execute(q)->rowCount();
                }
                cn.Close();
                oursTotals.push_back(t.nsecsElapsed() / 1e9);
                if (r == 0) {
                    std::printf("Totals report, 52 weekly queries: %lld rows\n", rows);
                }
            }
            std::vector<double> shellTotals;
            for (int r = 0; r < reps; ++r) {
                double sum = 0;
                for (const Timing& each : shellTimes(sqlite, weeks)) {
                    sum += each.real;
                }
                shellTotals.push_back(sum);
            }
            std::printf("Totals report queries: connection %.3f s, sqlite3 shell %.3f s, ratio %.2f\n",
                        median(oursTotals), median(shellTotals), median(oursTotals) / median(shellTotals));
        }
        if (!jet.isEmpty()) {
            clearJetCache();
            QElapsedTimer t;
            t.start();
            Connection cn;
            cn.Open(cs(jet));
            const double firstOpen = t.nsecsElapsed() / 1e9;
            const qlonglong rows =
                cn.Execute(u"SELECT Count(*) AS N FROM Activity"_s)->field(u"N"_s).toLongLong();
            cn.Close();
            std::vector<double> again;
            for (int r = 0; r < 100; ++r) {
                QElapsedTimer t2;
                t2.start();
                Connection c2;
                c2.Open(cs(jet));
                c2.Close();
                again.push_back(t2.nsecsElapsed() / 1e6);
            }
            std::printf(
                "Access file: %s, %lld rows: first open %.3f s, further connection %.3f ms (median of 100)\n",
                qPrintable(jet), rows, firstOpen, median(again));
        }
    } catch (const Error& e) {
        std::fprintf(stderr, "tallyrow-bench-datafile: %s\n", qPrintable(e.description()));
        return 1;
    }
    return 0;
}
