// SQLite data files that change while they are read, as they do in an office: a writer process
// commits in a loop while reports run, a writer dies halfway through a change, a writer keeps
// the file locked.
#include "datafile/DataFiles.h"
#include "testsupport/TestEnv.h"

#include "activity/ActivityStore.h"
#include "datafile/Connection.h"
#include "activity/StoreCache.h"
#include "activity/SqliteRowReader.h"
#include "activity/StoreQueries.h"
#include "datafile/SqliteProvider.h"
#include "support/Error.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <array>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;
using namespace tallyrow;
using namespace tallyrow::test;

namespace {

// 50 users on each of 28 days from Monday 1 January 2024: every weekday occurs four times.
constexpr int kUsers = 50;
constexpr int kDays = 28;
const QDate kFirstDay(2024, 1, 1);

int dayNumber(const QDate& d) {
    return int(QDate(2000, 1, 1).daysTo(d));
}

// H0 starts at 0 and is what the writer changes (to 60 * (k mod 61) in its k-th commit); the
// other hours never change. A reading therefore tells k mod 61.
constexpr qint64 kCycle = 61;

// The commit a reading of k mod 61 stands for, taken as the nearest one at or after `last`.
qint64 unwrapped(qint64 residue, qint64 last) {
    return last + ((residue - last % kCycle) % kCycle + kCycle) % kCycle;
}

int fixedHour(int day, int user, int hour) {
    return 60 * ((day + user + hour) % 7);
}

QVector<ActivityRow> liveRows() {
    QVector<ActivityRow> rows;
    for (int d = 0; d < kDays; ++d) {
        for (int u = 0; u < kUsers; ++u) {
            ActivityRow r{dayNumber(kFirstDay.addDays(d)),
                          u"user%1"_s.arg(u, 2, 10, QChar(u'0')),
                          u"PC%1"_s.arg(u % 10),
                          {}};
            r.hours[0] = 0;
            for (int h = 1; h < 24; ++h) {
                r.hours[std::size_t(h)] = fixedHour(d, u, h);
            }
            rows.append(r);
        }
    }
    return rows;
}

// The seconds of the hours that never change, on day `d`.
qint64 fixedSeconds(int d) {
    qint64 s = 0;
    for (int u = 0; u < kUsers; ++u) {
        for (int h = 1; h < 24; ++h) {
            s += fixedHour(d, u, h);
        }
    }
    return s;
}

QString connectionStringFor(const QString& path) {
    return u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source="_s + path + u"; Jet OLEDB:Database Password = "_s;
}

QString writerProgram() {
    return QCoreApplication::applicationDirPath() + u"/tallyrow-test-writer"_s;
}

struct WriterFigures {
    qint64 commits = 0;
    qint64 elapsedMs = 0;
    qint64 longestMs = 0;
    qint64 last = 0;
    double perSecond() const { return elapsedMs > 0 ? 1000.0 * double(commits) / double(elapsedMs) : 0.0; }
};

std::optional<WriterFigures> writerFigures(const QByteArray& out) {
    static const QRegularExpression re(u"commits=(\\d+) elapsed_ms=(\\d+) longest_ms=(\\d+) last=(\\d+)"_s);
    const QRegularExpressionMatch m = re.match(QString::fromUtf8(out));
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    return WriterFigures{m.captured(1).toLongLong(), m.captured(2).toLongLong(), m.captured(3).toLongLong(),
                         m.captured(4).toLongLong()};
}

// One report's outcome: the writer's commit number it saw, or that it was turned away as busy.
struct Reading {
    bool busy = false;
    qint64 k = -1;
    QString problem; // set when the report was neither sound nor "busy"
};

class LiveFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureCoreApp();
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(u"live.yrd"_s);
        writeSqliteDataFile(m_file, liveRows());
    }

    // tallyrow-export of the Totals report in seconds per day, or of the Day report's totals.
    QStringList exportArguments(bool totals, const QString& out) const {
        QStringList args{u"--data"_s,   m_file,
                         u"--from"_s,   kFirstDay.toString(Qt::ISODate),
                         u"--to"_s,     kFirstDay.addDays(kDays - 1).toString(Qt::ISODate),
                         u"--format"_s, u"csv"_s,
                         u"--output"_s, out};
        args << u"--report"_s
             << (totals ? QStringList{u"totals"_s, u"--scale"_s, u"seconds"_s}
                        : QStringList{u"day"_s, u"--aggregate"_s, u"total"_s});
        return args;
    }

    void startExport(QProcess& p, const QStringList& args) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, m_dir.path());
        env.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        env.insert(u"XDG_CONFIG_DIRS"_s, m_dir.filePath(u"etc"_s));
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        p.setProcessEnvironment(env);
        p.start(binPath(u"tallyrow-export"_s), args);
    }

    Reading exportReport(bool totals) {
        const QString out = m_dir.filePath(totals ? u"totals.csv"_s : u"day.csv"_s);
        QFile::remove(out);
        QProcess p;
        startExport(p, exportArguments(totals, out));
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return {false, -1, u"tallyrow-export did not finish"_s};
        }
        const QString errors = QString::fromUtf8(p.readAllStandardError());
        Reading r;
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            r.busy = errors.contains(u"busy"_s) && !errors.contains(u"malformed"_s);
            if (!r.busy) {
                r.problem = u"exit %1: %2"_s.arg(p.exitCode()).arg(errors);
            }
            return r;
        }
        QFile f(out);
        f.open(QIODevice::ReadOnly);
        const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
        return totals ? totalsReading(lines) : dayReading(lines);
    }

    // "Period,Total" then one line per day: the fixed seconds plus 60 k for each user.
    static Reading totalsReading(const QStringList& lines) {
        Reading r;
        if (lines.size() != kDays + 1) {
            r.problem = u"%1 lines"_s.arg(lines.size());
            return r;
        }
        for (int d = 0; d < kDays; ++d) {
            const qint64 total = lines[d + 1].section(u',', 1).toLongLong();
            const qint64 changed = total - fixedSeconds(d);
            const qint64 k = changed / (60 * kUsers);
            if (changed % (60 * kUsers) != 0 || (r.k >= 0 && k != r.k)) {
                r.problem =
                    u"day %1 total %2 is no state the writer committed (k so far %3)"_s.arg(d).arg(total).arg(
                        r.k);
                return r;
            }
            r.k = k;
        }
        return r;
    }

    // The hour from midnight: each weekday column is the minutes of H0 on four days of every user.
    static Reading dayReading(const QStringList& lines) {
        Reading r;
        if (lines.size() < 2 || !lines[1].startsWith(u"12:00 AM,"_s)) {
            r.problem = u"unexpected Day table"_s;
            return r;
        }
        const QStringList cells = lines[1].split(u',');
        for (int w = 1; w <= 7; ++w) {
            const qint64 minutes = cells.value(w).toLongLong();
            const qint64 k = minutes / (4 * kUsers);
            if (minutes % (4 * kUsers) != 0 || (r.k >= 0 && k != r.k)) {
                r.problem = u"weekday %1 shows %2 minutes: no committed state (k so far %3)"_s.arg(w)
                                .arg(minutes)
                                .arg(r.k);
                return r;
            }
            r.k = k;
        }
        return r;
    }

    // In this process, as the Totals report and the user list read: one connection, one query per
    // day, then the three list queries; all must agree on one committed state.
    Reading connectionReading() {
        Reading r;
        try {
            Connection cn;
            cn.Open(connectionStringFor(m_file));
            for (int d = 0; d < kDays; ++d) {
                auto rs = cn.Execute(
                    u"SELECT Sum(H0) AS S, Count(H0) AS N FROM Activity WHERE ActiveDay = %1"_s.arg(
                        dayNumber(kFirstDay.addDays(d))));
                const qint64 sum = rs->field(u"S"_s).toLongLong();
                const qint64 k = sum / (60 * kUsers);
                if (rs->field(u"N"_s).toInt() != kUsers || sum % (60 * kUsers) != 0 ||
                    (r.k >= 0 && k != r.k)) {
                    r.problem = u"day %1 sums %2 (k so far %3)"_s.arg(d).arg(sum).arg(r.k);
                    return r;
                }
                r.k = k;
            }
            if (cn.Execute(u"select distinct username, computername from activity ORDER BY UserName"_s)
                    ->rowCount() != kUsers) {
                r.problem = u"user list"_s;
            }
            cn.Close();
        } catch (const Error& e) {
            r.busy = e.description().contains(u"busy"_s);
            if (!r.busy) {
                r.problem = e.description();
            }
        }
        return r;
    }

    // In this process, as a snapshot is taken of the file: by two connections at once wherever
    // the file allows it (each reads half the rows), and from a copy made 64 KB at a time with
    // the writer committing between pages, which must still give one committed state.
    Reading snapshotReading() {
        Reading r;
        setSqliteSplitReadRows(1);
        setMemoryCopyPiece(64 * 1024);
        try {
            const std::shared_ptr<const ActivityStore> snap = readActivityStore(m_file);
            for (int d = 0; d < kDays; ++d) {
                const std::int64_t day = dayNumber(kFirstDay.addDays(d));
                const qint64 changed = test::secondsIn(*snap, {day, day}) - fixedSeconds(d);
                const qint64 k = changed / (60 * kUsers);
                if (changed % (60 * kUsers) != 0 || (r.k >= 0 && k != r.k)) {
                    r.problem = u"snapshot: day %1 is no committed state (k so far %2)"_s.arg(d).arg(r.k);
                    break;
                }
                r.k = k;
            }
        } catch (const Error& e) {
            r.busy = e.description().contains(u"busy"_s);
            if (!r.busy) {
                r.problem = e.description();
            }
        }
        setSqliteSplitReadRows(0);
        setMemoryCopyPiece(0);
        return r;
    }

    QTemporaryDir m_dir;
    QString m_file;
};

TEST_F(LiveFileTest, ReportsOnAFileBeingWrittenSeeOnlyCommittedStates) {
    for (const QString& mode : {u"delete"_s, u"wal"_s}) {
        SCOPED_TRACE(mode.toStdString());
        // The writer alone: its commit rate, and the reports afterwards see its last commit exactly.
        QProcess alone;
        alone.start(writerProgram(), {u"churn"_s, m_file, mode, u"2"_s, u"10"_s});
        ASSERT_TRUE(alone.waitForFinished(30000));
        ASSERT_EQ(alone.exitCode(), 0) << alone.readAllStandardError().toStdString();
        const std::optional<WriterFigures> quiet = writerFigures(alone.readAllStandardOutput());
        ASSERT_TRUE(quiet);
        for (const Reading& r :
             {exportReport(true), exportReport(false), connectionReading(), snapshotReading()}) {
            EXPECT_TRUE(r.problem.isEmpty()) << r.problem.toStdString();
            EXPECT_EQ(r.k, quiet->last % kCycle);
        }

        // The writer with reports running all the time.
        QProcess writer;
        writer.start(writerProgram(), {u"churn"_s, m_file, mode, u"7"_s, u"10"_s});
        ASSERT_TRUE(writer.waitForStarted());
        int sound = 0;
        int busy = 0;
        qint64 lastSeen = quiet->last % kCycle; // the writer counts on from the residue it finds
        qint64 longestReportMs = 0;
        for (int i = 0; writer.state() != QProcess::NotRunning; ++i) {
            QElapsedTimer t;
            t.start();
            const Reading r = i % 4 == 3   ? snapshotReading()
                              : i % 4 == 2 ? connectionReading()
                                           : exportReport(i % 4 == 0);
            longestReportMs = std::max(longestReportMs, t.elapsed());
            EXPECT_TRUE(r.problem.isEmpty()) << "report " << i << ": " << r.problem.toStdString();
            if (r.busy) {
                ++busy;
            } else if (r.problem.isEmpty()) {
                ++sound;
                // Never a state older than one seen before: between two reports the writer commits far
                // fewer than half a cycle, so a step "forward" of more than that is a step back.
                const qint64 k = unwrapped(r.k, lastSeen);
                EXPECT_LT(k - lastSeen, kCycle / 2) << "report " << i << " went back to an older state";
                lastSeen = k;
            }
            writer.waitForFinished(0);
        }
        writer.waitForFinished(30000);
        ASSERT_EQ(writer.exitStatus(), QProcess::NormalExit);
        ASSERT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();
        const std::optional<WriterFigures> loaded = writerFigures(writer.readAllStandardOutput());
        ASSERT_TRUE(loaded);
        EXPECT_LE(lastSeen, loaded->last);
        EXPECT_GE(sound, 3) << busy << " reports were turned away as busy";
        // A reader holds the writer back for no longer than its own read.
        EXPECT_LE(loaded->longestMs, longestReportMs + 2000);
        std::printf(
            "[ figures  ] %s: writer alone %.1f commits/s (slowest %lld ms); with reports %.1f commits/s "
            "(slowest %lld ms, longest report %lld ms); %d reports sound, %d busy\n",
            qPrintable(mode), quiet->perSecond(), static_cast<long long>(quiet->longestMs),
            loaded->perSecond(), static_cast<long long>(loaded->longestMs),
            static_cast<long long>(longestReportMs), sound, busy);
        std::fflush(stdout);
    }
}

// A writer whose disk is slow has its next commit's frames in the log, synced or not, before it
// tells readers of them: a copy read then is of the state before, and must never be taken for
// the state after once the commit lands.
TEST_F(LiveFileTest, ACopyReadWhileACommitIsSyncedIsNeverServedForTheCommitAfterIt) {
    const auto h0Of = [](const ActivityStore& store) {
        const std::int64_t day = dayNumber(kFirstDay);
        return (test::secondsIn(store, {day, day}) - fixedSeconds(0)) / kUsers;
    };
    // The writer keeps the file open a while after its commit, as the monitoring product does.
    const auto set = [&](QProcess& writer, int value, const QString& holdMarker) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!holdMarker.isEmpty()) {
            env.insert(u"LD_PRELOAD"_s,
                       QCoreApplication::applicationDirPath() + u"/libtallyrow-test-slow-log-sync.so"_s);
            env.insert(u"TALLYROW_HOLD_LOG_SYNC"_s, holdMarker);
        }
        writer.setProcessEnvironment(env);
        writer.start(writerProgram(), {u"set"_s, m_file, QString::number(value), u"3000"_s});
    };
    QProcess first;
    set(first, 60, {});
    ASSERT_TRUE(first.waitForFinished(30000));
    ASSERT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();

    const QString cacheFolder = m_dir.filePath(u"cache"_s);
    const QString marker = m_dir.filePath(u"hold"_s);
    for (int value : {120, 180, 240}) {
        SCOPED_TRACE(value);
        QFile(marker).open(QIODevice::WriteOnly);
        QProcess writer;
        set(writer, value, marker);
        writer.setReadChannel(QProcess::StandardError);
        ASSERT_TRUE(writer.waitForReadyRead(30000));
        ASSERT_EQ(writer.readAllStandardError().trimmed(), "holding");
        {
            StoreCache cache(cacheFolder);
            EXPECT_EQ(h0Of(*cache.load(m_file)), value - 60) << "a commit not yet shown to readers";
        }
        QFile::remove(marker);
        writer.setReadChannel(QProcess::StandardOutput);
        ASSERT_TRUE(writer.waitForReadyRead(30000));
        ASSERT_EQ(writer.readAllStandardOutput().trimmed(), "committed");
        StoreCache later(cacheFolder);
        EXPECT_EQ(h0Of(*later.load(m_file)), value) << "a saved copy one commit behind was served";
        ASSERT_TRUE(writer.waitForFinished(30000));
    }
}

// With a rollback journal a reader's lock keeps the writer from committing: the monitoring
// product commits while a report is still reading the rows, and the report is of the state
// before, the next one of the state after.
TEST_F(LiveFileTest, AWriterCommitsWhileAReportIsStillReadingARollbackJournalFile) {
    QVector<ActivityRow> rows;
    for (int d = 0; d < 500; ++d) {
        for (int u = 0; u < 40; ++u) {
            rows.append(test::uniformRow(dayNumber(kFirstDay.addDays(d)), u"user%1"_s.arg(u), u"PC"_s, 60));
        }
    }
    writeSqliteDataFile(m_file, rows);
    const DayRange all{dayNumber(kFirstDay), dayNumber(kFirstDay.addDays(499))};
    const std::int64_t before = test::secondsIn(*readActivityStore(m_file), all);

    QProcess writer;
    std::optional<bool> committedMeanwhile;
    StoreCache cache(m_dir.filePath(u"cache"_s));
    const auto duringTheRead = [&](int percent) {
        if (percent < 90 && !committedMeanwhile) {
            writer.start(writerProgram(), {u"tick"_s, m_file, u"delete"_s, u"0.05"_s, u"0"_s});
            committedMeanwhile = writer.waitForFinished(10000) && writer.exitCode() == 0;
        }
        return true;
    };
    EXPECT_EQ(test::secondsIn(*cache.load(m_file, duringTheRead), all), before);
    ASSERT_TRUE(committedMeanwhile);
    EXPECT_TRUE(*committedMeanwhile) << "the writer waited for the report";
    writer.waitForFinished();
    const std::optional<WriterFigures> figures = writerFigures(writer.readAllStandardOutput());
    ASSERT_TRUE(figures);
    ASSERT_GT(figures->commits, 0);
    EXPECT_EQ(test::secondsIn(*cache.load(m_file), all), before + 3 * figures->commits);
    // The private copies the reports read from are gone with the reads.
    EXPECT_EQ(
        QDir(u"/dev/shm"_s).entryList({u"tallyrow-copy-%1-*"_s.arg(QCoreApplication::applicationPid())}),
        QStringList());
}

TEST_F(LiveFileTest, AJournalLeftByACrashedWriterIsRefusedAndLeftAlone) {
    const FileFingerprint pristine = fingerprint(m_file);
    QProcess crash;
    crash.start(writerProgram(), {u"crash"_s, m_file});
    ASSERT_TRUE(crash.waitForFinished(30000));
    ASSERT_EQ(crash.exitStatus(), QProcess::CrashExit) << crash.readAllStandardError().toStdString();
    const QString journal = m_file + u"-journal"_s;
    ASSERT_TRUE(QFile::exists(journal));
    // Changed pages went to the file before the writer died: read around the journal, the file
    // would give rows that were never committed.
    const FileFingerprint crashed = fingerprint(m_file);
    ASSERT_NE(crashed, pristine);
    const FileFingerprint journalBefore = fingerprint(journal);

    QString failure;
    try {
        Connection cn;
        cn.Open(connectionStringFor(m_file));
    } catch (const Error& e) {
        failure = e.description();
    }
    EXPECT_TRUE(failure.startsWith(u"Cannot open the data file \"%1\": "_s.arg(m_file)))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains(u"interrupted"_s) && failure.contains(journal) &&
                failure.contains(u"Tallyrow repairs the file when it next opens it"_s))
        << failure.toStdString();
    const Reading exported = exportReport(true);
    EXPECT_EQ(exported.k, -1);
    EXPECT_FALSE(exported.busy);
    EXPECT_TRUE(exported.problem.contains(u"interrupted"_s)) << exported.problem.toStdString();
    EXPECT_EQ(fingerprint(m_file), crashed);
    EXPECT_EQ(fingerprint(journal), journalBefore);

    // The writer's next open rolls the change back, and the file reads as before the crash.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(m_file).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "SELECT count(*) FROM Activity", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_FALSE(QFile::exists(journal));
    const Reading repaired = connectionReading();
    EXPECT_TRUE(repaired.problem.isEmpty()) << repaired.problem.toStdString();
    EXPECT_EQ(exportReport(true).k, 0);
}

TEST_F(LiveFileTest, AFileLockedLongerThanTheTimeoutIsBusyNotDamaged) {
    QProcess writer;
    writer.start(writerProgram(), {u"hold"_s, m_file, u"3000"_s});
    ASSERT_TRUE(writer.waitForReadyRead(10000));
    ASSERT_EQ(writer.readLine().trimmed(), "locked");
    const auto saved = dataFileBusyTimeout();
    setDataFileBusyTimeout(std::chrono::milliseconds(300));
    QElapsedTimer waited;
    waited.start();
    QString failure;
    try {
        Connection cn;
        cn.Open(connectionStringFor(m_file));
    } catch (const Error& e) {
        failure = e.description();
    }
    const qint64 ms = waited.elapsed();
    setDataFileBusyTimeout(saved);
    EXPECT_TRUE(failure.startsWith(u"Cannot open the data file \"%1\": the file is busy"_s.arg(m_file)))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains(u"0.3 seconds"_s)) << failure.toStdString();
    EXPECT_FALSE(failure.contains(u"malformed"_s));
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 2500);
    // Once the writer lets go, the file opens; within the timeout a reader simply waits.
    ASSERT_TRUE(writer.waitForFinished(10000));
    const Reading after = connectionReading();
    EXPECT_TRUE(after.problem.isEmpty()) << after.problem.toStdString();
    EXPECT_EQ(after.k, 0);
}

TEST_F(LiveFileTest, ReportsWaitForAWriterHoldingARollbackJournalFileAndSaySo) {
    QProcess writer;
    writer.start(writerProgram(), {u"hold"_s, m_file, u"2500"_s});
    ASSERT_TRUE(writer.waitForReadyRead(10000));
    ASSERT_EQ(writer.readLine().trimmed(), "locked");
    // Several readers wait it out; one told not to wait gives up at once, saying why.
    std::array<QProcess, 4> readers;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        QStringList args = exportArguments(i % 2 == 0, m_dir.filePath(u"wait%1.csv"_s.arg(i)));
        if (i == 0)
            args << u"--wait"_s << u"0"_s;
        startExport(readers[i], args << u"--no-cache"_s);
    }
    for (std::size_t i = 0; i < readers.size(); ++i) {
        ASSERT_TRUE(readers[i].waitForFinished(30000));
        const QString errors = QString::fromUtf8(readers[i].readAllStandardError());
        if (i == 0) {
            EXPECT_EQ(readers[i].exitCode(), 1);
            EXPECT_TRUE(errors.contains(u"the file is busy"_s)) << errors.toStdString();
        } else {
            EXPECT_EQ(readers[i].exitCode(), 0) << errors.toStdString();
            EXPECT_TRUE(errors.contains(
                u"waiting for \"%1\": another program is writing to it (up to 60 seconds"_s.arg(m_file)))
                << errors.toStdString();
        }
    }
    ASSERT_TRUE(writer.waitForFinished(10000));
}

} // namespace
