// A saved copy follows a data file by the pages that changed: a writer process makes random
// changes (rows updated, added, deleted, moved to another day or person, pages split and emptied,
// VACUUM, checkpoints) and after each one the copy brought up to date must equal, column by
// column, a copy read whole from the same committed state.
#include "datafile/DataFiles.h"

#include "activity/ActivityStore.h"
#include "activity/StoreCache.h"
#include "activity/StoreUpdate.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

// Runs `sql` in a writer process of its own, as the monitoring product writes.
void write(const QString& file, const QString& sql) {
    QProcess writer;
    writer.start(u"sqlite3"_s, {u"-batch"_s, u"-cmd"_s, u".timeout 10000"_s, file, sql});
    ASSERT_TRUE(writer.waitForFinished(30000));
    ASSERT_EQ(writer.exitCode(), 0) << qPrintable(QString::fromLocal8Bit(writer.readAllStandardError()));
}

// A writer process that stays connected between its changes, as the monitoring product does: its
// write-ahead log then keeps the frames of every commit until a checkpoint starts it over.
class Writer {
public:
    explicit Writer(const QString& file) {
        m_process.start(u"sqlite3"_s, {u"-batch"_s, u"-bail"_s, u"-cmd"_s, u".timeout 10000"_s, file});
        m_process.waitForStarted();
    }
    ~Writer() {
        m_process.closeWriteChannel();
        m_process.waitForFinished(30000);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    // Commits `sql` and returns once it is committed.
    void run(const QString& sql) {
        const QByteArray done = "done " + QByteArray::number(++m_changes);
        m_process.write(sql.toUtf8() + ";\nSELECT '" + done + "';\n");
        QByteArray out;
        while (!out.contains(done)) {
            ASSERT_TRUE(m_process.waitForReadyRead(30000))
                << qPrintable(QString::fromLocal8Bit(m_process.readAllStandardError()));
            out += m_process.readAllStandardOutput();
        }
    }

private:
    QProcess m_process;
    int m_changes = 0;
};

QString hoursText(std::mt19937& random) {
    QString hours;
    for (int h = 0; h < 24; ++h) {
        const int v = int(random() % 9);
        hours += v == 0 ? u", NULL"_s : u", %1"_s.arg(v * 400 + int(random() % 400) % 401);
    }
    return hours;
}

// One random change, in one transaction of the writer.
QString randomChange(std::mt19937& random, int round) {
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    switch (pick(9)) {
    case 0:
        return u"UPDATE Activity SET H%1 = %2 WHERE rowid IN (SELECT rowid FROM Activity ORDER BY random() LIMIT %3)"_s
            .arg(pick(24))
            .arg(pick(3601))
            .arg(1 + pick(5));
    case 1:
        return u"INSERT OR IGNORE INTO Activity VALUES (%1, 'user%2', 'PC%3'%4)"_s.arg(8000 + pick(70))
            .arg(pick(40))
            .arg(pick(6))
            .arg(hoursText(random));
    case 2:
        return u"INSERT OR IGNORE INTO Activity VALUES (%1, 'new%2', %3%4)"_s.arg(8000 + pick(90))
            .arg(round)
            .arg(pick(4) == 0 ? u"NULL"_s : u"'PC9'"_s)
            .arg(hoursText(random));
    case 3:
        return u"DELETE FROM Activity WHERE rowid IN (SELECT rowid FROM Activity ORDER BY random() LIMIT %1)"_s
            .arg(1 + pick(4));
    case 4: // a run of rows: pages emptied and let go
        return u"DELETE FROM Activity WHERE rowid BETWEEN %1 AND %2"_s.arg(pick(3000)).arg(pick(3000) + 150);
    case 5: // many rows at once: pages split
        return u"INSERT OR IGNORE INTO Activity SELECT ActiveDay + %1, UserName, ComputerName, H0, H1, H2, "
               u"H3, H4, H5, "
               "H6, H7, H8, H9, H10, H11, H12, H13, H14, H15, H16, H17, H18, H19, H20, H21, H22, H23 FROM "
               "Activity "
               "ORDER BY random() LIMIT 300"_s.arg(100 + pick(50));
    case 6:
        return u"UPDATE OR IGNORE Activity SET ActiveDay = ActiveDay + 1, UserName = 'user%1' WHERE rowid IN "
               "(SELECT rowid FROM Activity ORDER BY random() LIMIT 3)"_s.arg(pick(45));
    case 7:
        return pick(3) == 0 ? u"VACUUM"_s : u"PRAGMA wal_checkpoint(TRUNCATE)"_s;
    default:
        return u"UPDATE Activity SET H%1 = coalesce(H%1, 0) / 2 WHERE ActiveDay = %2"_s.arg(pick(24)).arg(
            8000 + pick(70));
    }
}

template <typename T> bool sameArray(const T* a, const T* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n * sizeof(T)) == 0;
}

// Every column of the two stores, the places of their rows in the file included.
void expectSameStore(const ActivityStore& got, const ActivityStore& want, const QString& change) {
    const ActivityStore::Columns& g = got.columns();
    const ActivityStore::Columns& w = want.columns();
    const std::string after = change.toStdString();
    ASSERT_EQ(g.rows, w.rows) << after;
    ASSERT_EQ(g.pairCount, w.pairCount) << after;
    ASSERT_EQ(g.dayCount, w.dayCount) << after;
    EXPECT_EQ(got.users(), want.users()) << after;
    EXPECT_EQ(got.computers(), want.computers()) << after;
    EXPECT_TRUE(sameArray(g.rowDay, w.rowDay, g.rows)) << after;
    EXPECT_TRUE(sameArray(g.rowHours, w.rowHours, g.rows * 24)) << after;
    EXPECT_TRUE(sameArray(g.rowSource, w.rowSource, g.rows)) << after;
    EXPECT_TRUE(sameArray(g.pairs, w.pairs, g.pairCount)) << after;
    EXPECT_TRUE(sameArray(g.days, w.days, g.dayCount)) << after;
    EXPECT_TRUE(sameArray(g.dayFigures, w.dayFigures, g.dayCount)) << after;
    EXPECT_TRUE(sameArray(g.runningTotal, w.runningTotal, g.dayCount)) << after;
    ASSERT_EQ(g.source.leafCount, w.source.leafCount) << after;
    EXPECT_TRUE(sameArray(g.source.leaves, w.source.leaves, g.source.leafCount)) << after;
}

class StoreUpdate : public ::testing::TestWithParam<const char*> {};

TEST_P(StoreUpdate, FollowsEveryChangeExactlyByTheChangedPages) {
    QTemporaryDir dir;
    const QString file = dir.filePath(u"office.yrd"_s);
    test::writeSqliteDataFile(file, {});
    write(file,
          u"PRAGMA journal_mode=%1; WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
          u"3999) "
          "INSERT INTO Activity SELECT 8000 + i / 60, 'user' || (i % 60), 'PC' || (i % 5), %2 FROM n"_s.arg(
              QString::fromLatin1(GetParam()), u"i % 3601, "_s.repeated(23) + u"NULL"_s));
    auto cache = std::make_unique<StoreCache>(dir.filePath(u"cache"_s));
    ASSERT_TRUE(cache->load(file));
    std::mt19937 random(20261208);
    int updated = 0;
    constexpr int kRounds = 150;
    auto writer = std::make_unique<Writer>(file);
    for (int round = 0; round < kRounds; ++round) {
        const QString change = randomChange(random, round);
        writer->run(change);
        if (HasFatalFailure())
            return;
        // Now and then the writer goes and comes back: its log is checkpointed and removed.
        if (round % 25 == 24)
            writer = std::make_unique<Writer>(file);
        const std::shared_ptr<const ActivityStore> store = cache->load(file);
        ASSERT_TRUE(store);
        updated += cache->lastOrigin() == StoreCache::Origin::Update ? 1 : 0;
        const std::shared_ptr<const ActivityStore> whole = readActivityStore(file);
        expectSameStore(*flattenStore(*store), *whole, change);
        if (HasFatalFailure())
            return;
        // Every other round the next one starts from the saved copy, as the next run of the tool does.
        if (round % 2 == 1)
            cache = std::make_unique<StoreCache>(dir.filePath(u"cache"_s));
    }
    // VACUUM and large changes are read whole; the rest follow by their pages.
    EXPECT_GT(updated, kRounds / 2);
}

INSTANTIATE_TEST_SUITE_P(LogModes, StoreUpdate, ::testing::Values("WAL", "DELETE"));

} // namespace
