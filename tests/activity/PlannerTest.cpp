#include "activity/ActivityPlanner.h"
#include "activity/StoreFile.h"
#include "activity/StoreQueries.h"
#include "testsupport/ActivityData.h"
#include "testsupport/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "support/Error.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace tallyrow;
using namespace Qt::StringLiterals;

namespace {

constexpr int kUsers = 40;
constexpr int kDays = 300;

class Planner : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureCoreApp();
        m_file = m_dir.filePath(u"office.yrd"_s);
        test::writeSqliteDataFile(m_file, {});
        for (int d = 0; d < kDays; d += 100)
            ASSERT_TRUE(write(d, 100));
        m_cache = std::make_shared<StoreCache>(m_dir.filePath(u"cache"_s));
    }
    // Days [first, first + count) written by the writer process, one commit each.
    bool write(int first, int count = 1) {
        for (int d = first; d < first + count; ++d) {
            QProcess writer;
            writer.start(QCoreApplication::applicationDirPath() + u"/tallyrow-test-writer"_s,
                         {u"day"_s, m_file, QString::number(d), QString::number(kUsers)});
            if (!writer.waitForFinished(30000) || writer.exitCode() != 0)
                return false;
        }
        return true;
    }
    ActivityPlanner planner(std::int64_t sqlRows = 7 * kUsers) {
        ActivityPlanner::Policy policy;
        policy.sqlRowLimit = sqlRows;
        policy.wholeFileRows = 0; // as if the file were large
        return {m_file, m_cache, policy};
    }
    // The answer of a store read from the file as it is now, as a new session would read it.
    ActivityAnswer coldAnswer(const ActivityQuery& q) const { return readActivityStore(m_file)->answer(q); }

    QTemporaryDir m_dir;
    QString m_file;
    std::shared_ptr<StoreCache> m_cache;
};

// Last week's figures, for everybody and for one person, as the reports ask for them.
std::vector<ActivityQuery> lastWeek(int lastDay) {
    const DayRange week{lastDay - 6, lastDay};
    return {ActivityQuery::hourAggregates(week, {}, {}, ActivityQuery::kEveryWeekday, HourAggregate::Average),
            ActivityQuery::rangeSeconds({{lastDay - 6, lastDay - 3}, {lastDay - 2, lastDay}}, u"U3"_s, {}),
            ActivityQuery::hourAggregates(week, {}, u"PC2"_s, 0x3E, HourAggregate::Maximum)};
}

} // namespace

TEST_F(Planner, AfterEachCommitAShortRangeIsAnsweredCurrentBySqlAndALongOneFromAFreshStore) {
    ActivityPlanner p = planner();
    const ActivityQuery everything = ActivityQuery::rangeSeconds({{0, 10000}}, {}, {});
    EXPECT_EQ(p.answer(everything).seconds, coldAnswer(everything).seconds);
    EXPECT_EQ(p.lastRoute(), ActivityPlanner::Route::Refresh);
    EXPECT_TRUE(p.isFresh());
    EXPECT_EQ(p.plan(lastWeek(kDays - 1).front()), ActivityPlanner::Route::Store);

    for (int day = kDays; day < kDays + 3; ++day) {
        SCOPED_TRACE(day);
        ASSERT_TRUE(write(day));
        EXPECT_FALSE(p.isFresh());
        for (const ActivityQuery& q : lastWeek(day)) {
            SCOPED_TRACE(qPrintable(q.describe()));
            const ActivityAnswer a = p.answer(q);
            EXPECT_EQ(p.lastRoute(), ActivityPlanner::Route::Sql);
            EXPECT_TRUE(a.sameFigures(coldAnswer(q)));
        }
        // Nothing of the file was read into a store for them.
        EXPECT_FALSE(p.isFresh());
    }
    EXPECT_EQ(p.answer(everything).seconds, coldAnswer(everything).seconds);
    EXPECT_EQ(p.lastRoute(), ActivityPlanner::Route::Refresh);
    EXPECT_TRUE(p.answer(lastWeek(kDays + 2).front()).sameFigures(coldAnswer(lastWeek(kDays + 2).front())));
    EXPECT_EQ(p.lastRoute(), ActivityPlanner::Route::Store);
}

TEST_F(Planner, ASmallChangedFileIsReadWholeSoEveryRowIsChecked) {
    ActivityPlanner::Policy policy;
    policy.sqlRowLimit = 7 * kUsers;
    ActivityPlanner p(m_file, m_cache, policy); // 12,000 rows: small
    const ActivityQuery week = lastWeek(kDays - 1).front();
    EXPECT_EQ(p.plan(week), ActivityPlanner::Route::Refresh);
    // A value no hour can hold, far outside the week asked about, refuses the file.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(m_file).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE Activity SET H4 = 4000 WHERE ActiveDay = 5 AND UserName = 'u1'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    try {
        p.answer(week);
        FAIL() << "a file with an hour of 4000 seconds was answered";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(u"4000"_s)) << qPrintable(e.description());
    }
}

TEST_F(Planner, AConnectedReportReadsOneStateWhateverIsCommittedMeanwhile) {
    ActivityPlanner p = planner();
    const ActivityQuery all = ActivityQuery::rangeSeconds({{0, 10000}}, {}, {});
    const std::int64_t before = p.answer(all).seconds.front();
    ASSERT_TRUE(p.connect());
    ASSERT_TRUE(write(kDays));
    EXPECT_EQ(p.answer(all).seconds.front(), before);
    p.disconnect();
    EXPECT_GT(p.answer(all).seconds.front(), before);
}

// A saved copy damaged anywhere is never read into a figure: the damage is found when the part
// is first used, the copy is made anew from the file and the answer is the file's.
TEST_F(Planner, ADamagedSavedCopyGivesTheFilesAnswerAndIsMadeAnew) {
    const auto cold = readActivityStore(m_file);
    const test::StoreFigures truth = test::figuresOf(*cold);
    m_cache->load(m_file);
    const QString copy = m_cache->savedCopyPath(m_file);
    QFile f(copy);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    f.close();
    ASSERT_GT(whole.size(), 4096);
    // The header, every section and the middle and end of the rows; a copy cut short.
    const qsizetype places[] = {20, 300, 600, 1000, whole.size() / 4, whole.size() / 2, whole.size() - 9};
    for (const qsizetype at : places) {
        for (const bool truncate : {false, true}) {
            SCOPED_TRACE(u"byte %1%2"_s.arg(at).arg(truncate ? u" cut"_s : QString()).toStdString());
            QByteArray damaged = whole;
            if (truncate)
                damaged.truncate(at);
            else
                damaged[at] = char(damaged[at] ^ 0x10);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(damaged);
            f.close();
            auto cache = std::make_shared<StoreCache>(m_dir.filePath(u"cache"_s));
            ActivityPlanner::Policy everyTimeAnew;
            everyTimeAnew.sqlRowLimit = 0; // a changed file is read again for any question
            ActivityPlanner fresh(m_file, cache, everyTimeAnew);
            for (const ActivityQuery& q : test::probeQueries(cold->users(), cold->computers()))
                EXPECT_TRUE(fresh.answer(q).sameFigures(cold->answer(q))) << qPrintable(q.describe());
            // The copy there now is whole again.
            const auto again = StoreCache(m_dir.filePath(u"cache"_s)).fresh(m_file);
            ASSERT_TRUE(again);
            EXPECT_EQ(test::figuresOf(*again), truth);
        }
    }
}

TEST_F(Planner, ACopyMadeByOtherRulesIsReadAgainNeverServed) {
    const auto cold = readActivityStore(m_file);
    m_cache->load(m_file);
    const QString copy = m_cache->savedCopyPath(m_file);
    // The same rows saved as a build whose report rules differ would save them.
    QFile f(copy);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    StoreCache other(m_dir.filePath(u"cache"_s));
    ASSERT_TRUE(other.fresh(m_file));
    QByteArray older = good;
    older[20] = char(StoreFile::kRulesVersion - 1); // the rules version follows the format version
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(older);
    f.close();
    StoreCache next(m_dir.filePath(u"cache"_s));
    EXPECT_FALSE(next.fresh(m_file));
    next.load(m_file);
    EXPECT_EQ(next.lastOrigin(), StoreCache::Origin::DataFile);
}

// Two sessions saving the copy of one file at once each put a whole copy in place; the next
// session opens one of them. The sessions are this test program, started twice on one file.
TEST_F(Planner, TwoProcessesSavingTheSameCopyAtOnceLeaveAWholeOne) {
    if (const QString file = qEnvironmentVariable("TALLYROW_TEST_SAVE_COPY_OF"); !file.isEmpty()) {
        StoreCache(qEnvironmentVariable("TALLYROW_TEST_SAVE_COPY_IN")).load(file);
        return; // one of the two sessions
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TALLYROW_TEST_SAVE_COPY_OF"_s, m_file);
    env.insert(u"TALLYROW_TEST_SAVE_COPY_IN"_s, m_dir.filePath(u"shared"_s));
    QProcess runs[2];
    for (QProcess& run : runs) {
        run.setProcessEnvironment(env);
        run.start(QCoreApplication::applicationFilePath(),
                  {u"--gtest_filter=Planner.TwoProcessesSavingTheSameCopyAtOnceLeaveAWholeOne"_s});
    }
    for (QProcess& run : runs) {
        ASSERT_TRUE(run.waitForFinished(60000));
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardOutput().constData();
    }
    StoreCache next(m_dir.filePath(u"shared"_s));
    const auto saved = next.fresh(m_file);
    ASSERT_TRUE(saved);
    EXPECT_EQ(test::figuresOf(*saved), test::figuresOf(*readActivityStore(m_file)));
    EXPECT_EQ(QDir(m_dir.filePath(u"shared"_s)).entryList(QDir::Files).size(), 1);
}
