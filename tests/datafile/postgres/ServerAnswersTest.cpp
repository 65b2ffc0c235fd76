// The server answers the reports' questions with exactly the data file's figures: names folded as
// the files fold them, all-users figures from the per-day rollup the server keeps (after every
// kind of write), and a hot standby answering as its primary.
#include "activity/ActivityQuery.h"
#include "activity/SqlExecutor.h"
#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "ScratchDatabase.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tallyrow;
using tallyrow::test::ActivityRow;
using tallyrow::test::ScratchDatabase;

namespace {

const DayRange kEveryDay{-4000, 30000};

// A row with `seconds` in hour 9 and nothing in the others.
ActivityRow nineOClock(int day, const QString& user, const QString& computer, int seconds) {
    ActivityRow r = test::uniformRow(day, user, computer, 0);
    r.hours[9] = seconds;
    return r;
}

SourceTraits traitsOf(const QString& source) {
    Connection cn;
    cn.Open(connectionStringOf(source));
    return cn.traits();
}

// The questions the all-users reports ask, and a few per person.
std::vector<ActivityQuery> questions(const QString& user) {
    std::vector<ActivityQuery> q;
    for (const HourAggregate a :
         {HourAggregate::Average, HourAggregate::Total, HourAggregate::Maximum, HourAggregate::Minimum}) {
        q.push_back(ActivityQuery::hourAggregates(kEveryDay, user, {}, ActivityQuery::kEveryWeekday, a));
        q.push_back(ActivityQuery::hourAggregates({1500, 1600}, user, {}, 0b0100110, a));
    }
    q.push_back(ActivityQuery::rangeSeconds({kEveryDay, {1521, 1521}, {1600, 1500}, {1510, 1560}}, user, {}));
    q.push_back(
        ActivityQuery::peopleTotals(kEveryDay, user, {}, ActivityQuery::kEveryWeekday, PeopleGrouping::Pair));
    return q;
}

class ServerAnswers : public test::ServerBesideFile {
protected:
    // Every question's answer from `source` equals the one from `reference`.
    static void expectSameAnswers(const QString& source, const QString& reference,
                                  const std::vector<ActivityQuery>& questions) {
        SqlExecutor a(source);
        SqlExecutor b(reference);
        for (const ActivityQuery& q : questions) {
            SCOPED_TRACE(q.describe().toStdString());
            EXPECT_TRUE(a.answer(q).sameFigures(b.answer(q)));
        }
    }
};

// Spellings the server's own folding would take as one name (ß and SS, ı and I) give the file's
// figures: in a filter, in the Users report (where JÜRGEN and jürgen on one day and computer are
// one line, as the filter takes them), in the Day report.
TEST_F(ServerAnswers, NamesFoldExactlyAsInTheFiles) {
    REQUIRE_SERVER();
    load({nineOClock(1521, QStringLiteral("straße"), QStringLiteral("PC1"), 600),
          nineOClock(1521, QStringLiteral("Strasse"), QStringLiteral("PC1"), 1200),
          nineOClock(1522, QStringLiteral("STRAẞE"), QStringLiteral("PC1"), 2400),
          nineOClock(1521, QStringLiteral("ılgaz"), QStringLiteral("PC1"), 600),
          nineOClock(1522, QStringLiteral("Ilgaz"), QStringLiteral("PC1"), 1200),
          nineOClock(1521, QStringLiteral("jürgen"), QStringLiteral("PC1"), 3600),
          nineOClock(1521, QStringLiteral("JÜRGEN"), QStringLiteral("PC1"), 2400)});
    // The server's name key takes every name the files' folding takes, so it narrows by name.
    EXPECT_EQ(traitsOf(m_db->uri()).names, SourceTraits::NameComparison::Narrowing);

    const struct {
        const char* filter;
        std::int64_t minutes;
    } cases[] = {{"STRASSE", 20}, {"straße", 50}, {"STRAẞE", 50},
                 {"ILGAZ", 20},   {"ılgaz", 10},  {"Jürgen", 100}};
    SqlExecutor server(m_db->uri());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        const QString filter = QString::fromUtf8(c.filter);
        const ActivityAnswer a = server.answer(ActivityQuery::rangeSeconds({kEveryDay}, filter, {}));
        ASSERT_EQ(a.seconds.size(), 1U);
        EXPECT_EQ(a.seconds[0], c.minutes * 60);
        expectSameAnswers(m_db->uri(), m_file, questions(filter));
    }
    const ActivityAnswer users = server.answer(
        ActivityQuery::peopleTotals(kEveryDay, {}, {}, ActivityQuery::kEveryWeekday, PeopleGrouping::User));
    ASSERT_EQ(users.people.size(), 5U) << "one line for the spellings a filter takes as one";
    EXPECT_EQ(users.people[0], (PersonTotal{QStringLiteral("JÜRGEN"), std::nullopt, 6000, 1}));
    EXPECT_EQ(users.people[1], (PersonTotal{QStringLiteral("STRAẞE"), std::nullopt, 3000, 2}));
    expectSameAnswers(m_db->uri(), m_file, questions({}));
}

// The all-users figures come from the rollup the server keeps, and stay the table's after
// TRUNCATE, updates (of hours, of the day, of both at once), deletes, a bulk insert and the
// schema applied again; a server without the rollup (or with one of its triggers off) answers
// from the table, and one set up by an earlier version (one UPDATE trigger) has it read.
TEST_F(ServerAnswers, TheRollupKeepsTheTablesFiguresThroughEveryWrite) {
    REQUIRE_SERVER();
    load(test::officeRows());
    ASSERT_TRUE(traitsOf(m_db->uri()).dayRollup);
    expectSameAnswers(m_db->uri(), m_file, questions({}));

    ASSERT_TRUE(m_db->exec(QStringLiteral(
        "CREATE TEMP TABLE kept AS SELECT * FROM activity WHERE activeday % 2 = 0; TRUNCATE activity; "
        "INSERT INTO activity SELECT * FROM kept; "
        "UPDATE activity SET h9 = coalesce(h9, 0) + 7, h3 = NULL WHERE activeday % 3 = 0; "
        "UPDATE activity SET activeday = activeday + 5000 WHERE activeday % 11 = 0; "
        "DELETE FROM activity WHERE activeday % 5 = 0; "
        "INSERT INTO activity SELECT activeday + 10000, username, computername, h0, h1, h2, h3, h4, h5, h6, "
        "h7, h8, h9, h10, h11, h12, h13, h14, h15, h16, h17, h18, h19, h20, h21, h22, h23 FROM activity; "
        "INSERT INTO activity (activeday, username, computername) VALUES (1700, 'nobody', 'PC9'); "
        "UPDATE activity SET activeday = activeday + 20000, h9 = 1 "
        "WHERE activeday % 7 = 1 AND activeday < 2000; "
        "UPDATE activity SET activeday = activeday, h4 = coalesce(h4, 0) + 1, h5 = h5 "
        "WHERE activeday % 4 = 2")));
    ASSERT_TRUE(m_db->loadSchema());
    const std::vector<ActivityQuery> all = questions({});
    std::vector<ActivityAnswer> fromRollup;
    SqlExecutor server(m_db->uri());
    for (const ActivityQuery& q : all)
        fromRollup.push_back(server.answer(q));
    server.disconnect();

    ASSERT_TRUE(m_db->exec(QStringLiteral("ALTER TABLE activity DISABLE TRIGGER activitydays_h9")));
    ASSERT_FALSE(traitsOf(m_db->uri()).dayRollup) << "a rollup that no longer follows is not read";
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(all[i].describe().toStdString());
        EXPECT_TRUE(server.answer(all[i]).sameFigures(fromRollup[i]));
    }
    server.disconnect();

    // An earlier version's UPDATE trigger beside this one's would count an UPDATE twice; alone it
    // keeps the rollup, as on a server that earlier version set up.
    ASSERT_TRUE(m_db->exec(QStringLiteral(
        "ALTER TABLE activity ENABLE TRIGGER activitydays_h9; CREATE TRIGGER activitydays_changed AFTER "
        "UPDATE ON activity FOR EACH ROW EXECUTE FUNCTION activitydays_follow_move()")));
    EXPECT_FALSE(traitsOf(m_db->uri()).dayRollup);
    QString earlier = QStringLiteral("DROP TRIGGER activitydays_moved ON activity; "
                                     "DROP TRIGGER activitydays_emptied ON activity");
    for (int h = 0; h < 24; ++h)
        earlier += QStringLiteral("; DROP TRIGGER activitydays_h%1 ON activity").arg(h);
    ASSERT_TRUE(m_db->exec(earlier));
    EXPECT_TRUE(traitsOf(m_db->uri()).dayRollup);
}

// A loopback port nothing listens on, for the standby.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::close(fd);
    return bound ? ntohs(address.sin_port) : 54399;
}

// Reports from a hot standby (a streaming replica made with pg_basebackup) equal the primary's,
// once the standby has replayed the primary's writes.
TEST_F(ServerAnswers, AStandbyAnswersAsItsPrimary) {
    REQUIRE_SERVER();
    load(test::officeRows());
    QTemporaryDir dir;
    const QString script = QStringLiteral(TALLYROW_SOURCE_DIR "/scripts/pg-cluster");
    const QString cluster = dir.filePath(QStringLiteral("standby"));
    QProcess start;
    start.start(script,
                {QStringLiteral("replica"), test::testServerUri(), cluster, QString::number(freePort())});
    ASSERT_TRUE(start.waitForFinished(120000));
    const auto stop = qScopeGuard([&] { QProcess::execute(script, {QStringLiteral("stop"), cluster}); });
    ASSERT_EQ(start.exitCode(), 0) << start.readAllStandardError().toStdString();
    const QString standby =
        test::withDatabase(QString::fromUtf8(start.readAllStandardOutput()).trimmed(), m_db->name());

    ASSERT_TRUE(m_db->exec(QStringLiteral("UPDATE activity SET h10 = 3600 WHERE activeday % 4 = 0; "
                                          "DELETE FROM activity WHERE activeday % 9 = 0")));
    // Where the primary has put its last commit in its log: the test server commits without
    // waiting for the log to be written, so its write position may still lie before it.
    Connection primary;
    primary.Open(connectionStringOf(m_db->uri()));
    const QString written =
        primary.Execute(QStringLiteral("SELECT pg_current_wal_insert_lsn()::text"))->field(0).toString();
    bool replayed = false;
    for (int tries = 0; tries < 300 && !replayed; ++tries) {
        Connection replica;
        replica.Open(connectionStringOf(standby));
        replayed = replica
                       .Execute(QStringLiteral("SELECT pg_last_wal_replay_lsn() >= '%1'::pg_lsn AND "
                                               "pg_is_in_recovery()")
                                    .arg(written))
                       ->field(0)
                       .toBool();
        if (!replayed)
            QThread::msleep(100);
    }
    ASSERT_TRUE(replayed) << "the standby did not replay the primary's writes within 30 seconds";
    EXPECT_TRUE(traitsOf(standby).dayRollup);
    std::vector<ActivityQuery> all = questions({});
    const std::vector<ActivityQuery> anna = questions(QStringLiteral("ANNA"));
    all.insert(all.end(), anna.begin(), anna.end());
    all.push_back(ActivityQuery::userList());
    // While other databases of the server are written, a standby may show the replayed commit a
    // moment later: the answers are compared again for a while before they count as different.
    for (int tries = 0; tries < 40; ++tries) {
        SqlExecutor a(standby);
        SqlExecutor b(m_db->uri());
        if (std::all_of(all.begin(), all.end(),
                        [&](const ActivityQuery& q) { return a.answer(q).sameFigures(b.answer(q)); }))
            break;
        QThread::msleep(250);
    }
    expectSameAnswers(standby, m_db->uri(), all);
}

} // namespace
