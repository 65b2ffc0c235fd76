#include "activity/ActivityPlanner.h"
#include "activity/SqlExecutor.h"
#include "activity/SqliteRowReader.h"
#include "activity/StoreQueries.h"
#include "testsupport/ActivityData.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tallyrow;
using namespace Qt::StringLiterals;

// What another user could have written is not trusted: saved copies, and the folder they live in.

namespace {

class StoreTrust : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureCoreApp();
        m_file = m_dir.filePath(u"office.yrd"_s);
        QVector<test::ActivityRow> rows;
        for (int d = 0; d < 30; ++d)
            for (int u = 0; u < 5; ++u)
                rows << test::uniformRow(d, u"user%1"_s.arg(u), u"PC%1"_s.arg(u), 60 + u);
        test::writeSqliteDataFile(m_file, rows);
    }
    QStringList filesIn(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden);
    }

    QTemporaryDir m_dir;
    QString m_file;
};

void exec(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

} // namespace

TEST_F(StoreTrust, ACacheFolderOthersMayWriteToOrOwnIsNotUsedAndNotChanged) {
    const struct {
        const char* name;
        mode_t mode;
        uid_t owner; // 0: this user
    } cases[] = {{"everybody writes", 0777, 0}, {"group writes", 0770, 0}, {"another user's", 0700, 65534}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = m_dir.filePath(QString::fromLatin1(c.name));
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), c.mode), 0);
        if (c.owner != 0 && ::chown(QFile::encodeName(folder).constData(), c.owner, c.owner) != 0)
            GTEST_SKIP() << "giving a folder to another user takes the right to";
        StoreCache cache(folder);
        EXPECT_FALSE(cache.folderProblem().isEmpty());
        EXPECT_TRUE(cache.folderProblem().contains(folder));
        ASSERT_TRUE(cache.load(m_file)); // reports are still made
        EXPECT_TRUE(filesIn(folder).isEmpty()) << qPrintable(filesIn(folder).join(u' '));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
    }
    // A folder of our own is made private, and so are the copies in it.
    const QString own = m_dir.filePath(u"own/tallyrow"_s);
    StoreCache cache(own);
    EXPECT_TRUE(cache.folderProblem().isEmpty()) << qPrintable(cache.folderProblem());
    cache.load(m_file);
    for (const QString& path : {own, cache.savedCopyPath(m_file)}) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << qPrintable(path);
        EXPECT_EQ(st.st_mode & 077, 0U) << qPrintable(path);
    }
}

// A copy whose checksums were made to fit (as a forger would) still holds no hour the data file
// could not: the block is refused when it is first read.
TEST_F(StoreTrust, AnHourNoRowCanHoldIsRefusedWhenItsBlockIsRead) {
    std::vector<std::int32_t> days{0, 1};
    std::vector<std::uint16_t> hours(48, 60);
    hours[30] = 5000;
    std::vector<ActivityStore::Pair> pairs{{0, 0, 0, 2, 0, 0}};
    const std::uint64_t sum = ActivityStore::blockChecksum(days.data(), hours.data(), 2);
    ActivityStore::Columns c;
    c.rowDay = days.data();
    c.rowHours = hours.data();
    c.rows = 2;
    c.pairs = pairs.data();
    c.pairCount = 1;
    const ActivityStore forged({}, {u"anna"_s}, {u"PC1"_s}, c, nullptr, &sum);
    EXPECT_THROW(forged.answer(ActivityQuery::rangeSeconds({{0, 1}}, u"anna"_s, {})), StoreDamaged);
    hours[30] = 3600;
    const std::uint64_t fitting = ActivityStore::blockChecksum(days.data(), hours.data(), 2);
    const ActivityStore whole({}, {u"anna"_s}, {u"PC1"_s}, c, nullptr, &fitting);
    EXPECT_EQ(whole.answer(ActivityQuery::rangeSeconds({{0, 1}}, u"anna"_s, {})).seconds.front(),
              47 * 60 + 3600);
}

// Every commit gives the file another stamp, also when its times are put back to what they were
// (a file system keeping whole seconds shows no difference in them either).
TEST_F(StoreTrust, EveryCommitChangesTheStampWhateverTheFileTimes) {
    for (const char* mode : {"DELETE", "WAL"}) {
        SCOPED_TRACE(mode);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(m_file).constData(), &db), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(db, (std::string("PRAGMA journal_mode=") + mode).c_str(), nullptr, nullptr, nullptr),
            SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA wal_autocheckpoint=0", nullptr, nullptr, nullptr), SQLITE_OK);
        std::vector<DataFileStamp> seen{stampDataFile(m_file)};
        const struct timespec old[2] = {{1000, 0}, {1000, 0}};
        for (int k = 1; k <= 3; ++k) {
            // The same number of bytes each time: only the value changes.
            const std::string sql =
                "UPDATE Activity SET H0 = " + std::to_string(100 + k) + " WHERE ActiveDay = 3";
            ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
            for (const QString& f : {m_file, m_file + u"-wal"_s})
                ::utimensat(AT_FDCWD, QFile::encodeName(f).constData(), old, 0);
            const DataFileStamp now = stampDataFile(m_file);
            for (const DataFileStamp& before : seen)
                EXPECT_FALSE(now == before) << "commit " << k;
            seen.push_back(now);
        }
        sqlite3_close(db);
    }
}

// A column of the table's own called rowid takes SQLite's name for the row id: the read in two
// halves goes by a name it leaves free, or is made by one connection.
TEST_F(StoreTrust, AColumnNamedRowidSplitsNoRowsAway) {
    const char* shadows[] = {"ALTER TABLE Activity ADD COLUMN rowid INTEGER",
                             "ALTER TABLE Activity ADD COLUMN _rowid_ INTEGER",
                             "ALTER TABLE Activity ADD COLUMN oid INTEGER"};
    for (int taken = 1; taken <= 3; ++taken) {
        SCOPED_TRACE(taken);
        const QString path = m_dir.filePath(u"shadowed%1.yrd"_s.arg(taken));
        QVector<test::ActivityRow> rows;
        for (int d = 0; d < 200; ++d)
            rows << test::uniformRow(d, u"user%1"_s.arg(d % 7), u"PC1"_s, 10 + d % 50);
        test::writeSqliteDataFile(path, rows);
        for (int i = 0; i < taken; ++i)
            exec(path, shadows[i]);
        exec(path, "UPDATE Activity SET rowid = 1"); // every row the same "row id"
        setSqliteSplitReadRows(1);
        const auto store = readActivityStore(path);
        setSqliteSplitReadRows(0);
        const ActivityQuery all = ActivityQuery::rangeSeconds({{0, 1000}}, {}, {});
        EXPECT_EQ(store->rowCount(), 200U);
        EXPECT_EQ(store->answer(all).seconds, SqlExecutor(path).answer(all).seconds);
    }
}

// A cache folder on a full disk: the copy cannot be saved, nothing half-written stays, and the
// report is made all the same.
TEST_F(StoreTrust, AFullDiskLeavesNoCopyAndTheReportIsMade) {
    const QString folder = m_dir.filePath(u"full"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=8k,mode=0700") != 0)
        GTEST_SKIP() << "a small file system takes the right to mount one";
    {
        StoreCache cache(folder + u"/tallyrow"_s);
        const auto store = cache.load(m_file);
        ASSERT_TRUE(store);
        EXPECT_EQ(test::figuresOf(*store), test::figuresOf(*readActivityStore(m_file)));
        EXPECT_FALSE(cache.fresh(m_file) && cache.lastOrigin() == StoreCache::Origin::SavedCopy);
        const QStringList left = QDir(folder + u"/tallyrow"_s).entryList(QDir::Files | QDir::Hidden);
        for (const QString& f : left)
            EXPECT_TRUE(f.endsWith(u".lock"_s)) << qPrintable(f);
    }
    ::umount(QFile::encodeName(folder).constData());
}

// On a file system that keeps whole seconds (ext2 with 128-byte inodes), another office's file
// of the same size and change counter copied over the data file within the same second is not
// taken for the file the saved copy was made from.
TEST_F(StoreTrust, AFileReplacedWithinTheSameSecondOnACoarseFileSystemIsReadAgain) {
    const QString image = m_dir.filePath(u"coarse.img"_s);
    const QString mountPoint = m_dir.filePath(u"coarse"_s);
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    {
        QFile f(image);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(8 << 20));
    }
    if (QProcess::execute(u"mkfs.ext2"_s, {u"-q"_s, u"-F"_s, u"-I"_s, u"128"_s, image}) != 0 ||
        QProcess::execute(u"mount"_s, {u"-o"_s, u"loop"_s, image, mountPoint}) != 0)
        GTEST_SKIP() << "a loop-mounted ext2 file system takes mkfs.ext2 and the right to mount";
    const struct Unmount {
        QByteArray at;
        ~Unmount() { ::umount(at.constData()); }
    } unmount{QFile::encodeName(mountPoint)};
    const QString other = m_dir.filePath(u"other.yrd"_s);
    QVector<test::ActivityRow> rows;
    for (int d = 0; d < 30; ++d)
        for (int u = 0; u < 5; ++u)
            rows << test::uniformRow(d, u"user%1"_s.arg(u), u"PC%1"_s.arg(u), 70 + u);
    test::writeSqliteDataFile(other, rows);
    const DataFileStamp mine = stampDataFile(m_file);
    const DataFileStamp theirs = stampDataFile(other);
    ASSERT_EQ(mine.size, theirs.size);
    ASSERT_EQ(mine.changeCounter, theirs.changeCounter);

    const auto bytesOf = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QString path = mountPoint + u"/office.yrd"_s;
    const auto writeInPlace = [&](const QByteArray& bytes) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    StoreCache cache(m_dir.filePath(u"cache"_s));
    bool sameSecond = false;
    for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
        ASSERT_TRUE(writeInPlace(bytesOf(m_file)));
        const DataFileStamp before = stampDataFile(path);
        ASSERT_EQ(test::figuresOf(*cache.load(path)), test::figuresOf(*readActivityStore(m_file)));
        ASSERT_TRUE(writeInPlace(bytesOf(other)));
        const DataFileStamp after = stampDataFile(path);
        sameSecond = after.mtimeNs == before.mtimeNs && after.ctimeNs == before.ctimeNs;
        if (sameSecond) {
            EXPECT_FALSE(cache.fresh(path));
            EXPECT_EQ(test::figuresOf(*cache.load(path)), test::figuresOf(*readActivityStore(other)));
        }
    }
    EXPECT_TRUE(sameSecond) << "every attempt crossed a second";
}

// A page of rows zeroed by a failing disk reads back as rows of nothing, with no error from the
// read itself: SQLite's own check notices, and no figure is given from the file.
TEST_F(StoreTrust, ADamagedPageIsRefusedRatherThanReadAsFewerRows) {
    QVector<test::ActivityRow> rows;
    for (int d = 0; d < 300; ++d)
        for (int u = 0; u < 5; ++u)
            rows << test::uniformRow(d, u"user%1"_s.arg(u), u"PC%1"_s.arg(u), 60);
    test::writeSqliteDataFile(m_file, rows);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(m_file).constData(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT pageno FROM dbstat WHERE name = 'Activity' AND pagetype = 'leaf' "
                                 "ORDER BY pageno LIMIT 1 OFFSET 3",
                                 -1, &st, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const qint64 page = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    // Everything after the page's header and cell pointers: each cell now says "row 0, no values".
    QFile f(m_file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 at = (page - 1) * 4096;
    f.seek(at);
    const QByteArray header = f.read(8);
    const int content = (std::uint8_t(header[5]) << 8) | std::uint8_t(header[6]);
    f.seek(at + content);
    f.write(QByteArray(4096 - content, '\0'));
    f.close();

    StoreCache cache(m_dir.filePath(u"cache"_s));
    try {
        cache.load(m_file);
        FAIL() << "a damaged file was read";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(m_file)) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(u"damaged (SQLite's own check of it found: On tree page"_s))
            << e.description().toStdString();
    }
    EXPECT_TRUE(filesIn(m_dir.filePath(u"cache"_s)).isEmpty());
}

// Activity may be anything the file says, among them a view that never ends: the read stops by
// itself after far more work than a file of its size needs, and at once when cancelled.
TEST_F(StoreTrust, AQueryThatNeverEndsIsStoppedByItsLimitAndByCancel) {
    exec(m_file, "DROP TABLE Activity; CREATE VIEW Activity AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                 "SELECT i + 1 FROM n) SELECT 1 AS ActiveDay, 'u' AS UserName, 'pc' AS ComputerName, "
                 "0 AS H0, 0 AS H1, 0 AS H2, 0 AS H3, 0 AS H4, 0 AS H5, 0 AS H6, 0 AS H7, 0 AS H8, "
                 "0 AS H9, 0 AS H10, 0 AS H11, 0 AS H12, 0 AS H13, 0 AS H14, 0 AS H15, 0 AS H16, "
                 "0 AS H17, 0 AS H18, 0 AS H19, 0 AS H20, 0 AS H21, 0 AS H22, 0 AS H23 FROM n WHERE i < 0");
    StoreCache cache(QString{});
    QElapsedTimer t;
    t.start();
    try {
        cache.load(m_file);
        FAIL() << "a never-ending view gave rows";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(u"far more than a file of its size needs"_s))
            << e.description().toStdString();
    }
    EXPECT_LT(t.elapsed(), 30000);

    const std::shared_ptr<StoreJob> job = cache.loadInBackground(m_file);
    QThread::msleep(300);
    t.restart();
    job->cancel();
    job->wait();
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_FALSE(job->store());
}
