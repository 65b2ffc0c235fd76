#include "datafile/DataFiles.h"

#include "activity/ActivityStore.h"
#include "activity/StoreCache.h"
#include "activity/SqliteRowReader.h"
#include "activity/StoreQueries.h"
#include "support/Error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <functional>
#include <limits>
#include <variant>
#include <optional>
#include <string>

using namespace tallyrow;
using namespace Qt::StringLiterals;
using test::ActivityRow;

namespace {

ActivityRow record(int day, const QString& user, const QString& computer, std::optional<int> hour = 60) {
    ActivityRow r{day, user, computer, {}};
    for (auto& h : r.hours)
        h = hour;
    return r;
}

// The seconds of every row from day 0 on, all users.
std::int64_t allSeconds(const ActivityStore& s) {
    return test::secondsIn(s, {0, 100000});
}

void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
}

class Stores : public ::testing::Test {
protected:
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QString cache() const { return m_dir.filePath(u"cache"_s); }
    QStringList savedCopies() const {
        return QDir(cache()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // A data file of `count` rows of anna on PC1, one a day from day 0, 60 s each hour.
    QString dataFile(const QString& name, int count) {
        QVector<ActivityRow> rows;
        for (int d = 0; d < count; ++d)
            rows << record(d, u"anna"_s, u"PC1"_s);
        const QString path = file(name);
        test::writeSqliteDataFile(path, rows);
        return path;
    }
    // A large file quickly: one row per day for `count` days, in SQL.
    QString largeDataFile(const QString& name, int count) {
        const QString path = dataFile(name, 0);
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        QString hours;
        for (int h = 0; h < 24; ++h)
            hours += u", 60"_s;
        const QString sql =
            u"WITH RECURSIVE n(d) AS (SELECT 0 UNION ALL SELECT d + 1 FROM n WHERE d + 1 < %1) "
            "INSERT INTO Activity SELECT d, 'anna', 'PC1'%2 FROM n"_s.arg(count)
                .arg(hours);
        exec(db, sql.toUtf8().constData());
        sqlite3_close(db);
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_F(Stores, ValuesTheMonitoringProductNeverWritesRefuseTheFileNamingTheRow) {
    const struct {
        const char* what;
        const char* value; ///< as an SQL literal
        const char* shown;
    } cases[] = {
        {"over an hour", "3601", "3601"},
        {"negative", "-1", "-1"},
        {"text", "'abc'", "abc"},
        {"not whole", "12.5", "12.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ActivityRow bad = record(1534, u"o'neil"_s, u"LAPTOP-B"_s);
        bad.hours[5] = 0;
        const QString path = file(QString::fromLatin1(c.what) + u".yrd"_s);
        // A real value must be stored as one: a column without a type keeps it as given.
        QString create = u"CREATE TABLE Activity (ActiveDay INTEGER, UserName TEXT, ComputerName TEXT"_s;
        for (int h = 0; h < 24; ++h)
            create += u", H%1"_s.arg(h);
        create += u')';
        const QVector<ActivityRow> rows{record(1533, u"anna"_s, u"PC1"_s), bad,
                                        record(1535, u"anna"_s, u"PC1"_s, 4000)};
        test::writeSqliteDataFile(path, rows, create);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        exec(db, (std::string("UPDATE Activity SET H5 = ") + c.value + " WHERE ActiveDay = 1534").c_str());
        sqlite3_close(db);
        try {
            readActivityStore(path);
            ADD_FAILURE() << "the file was taken";
        } catch (const Error& e) {
            const QString text = e.description();
            // The first bad row, not the later one holding 4000.
            for (const char* part : {"1534", "2004-03-14", "o'neil", "LAPTOP-B", "H5", c.shown})
                EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << qPrintable(text) << " lacks " << part;
            EXPECT_FALSE(text.contains(u"4000"_s)) << qPrintable(text);
            EXPECT_TRUE(text.contains(path)) << qPrintable(text);
        }
    }
}

TEST_F(Stores, TwoConnectionsReadWhatOneReads) {
    // Rows out of day order, names first met in the upper half, names differing by case only,
    // missing names and hours; then the same file with a refused value in the upper half.
    QVector<ActivityRow> rows;
    for (int i = 0; i < 600; ++i) {
        ActivityRow r =
            record((i * 37) % 600, i % 7 == 0 ? u"Anna"_s : u"user%1"_s.arg(i % (i < 300 ? 5 : 11)),
                   i % 13 == 0 ? QString() : u"PC%1"_s.arg(i % 4), i % 3600);
        if (i % 5 == 0)
            r.hours[std::size_t(i % 24)] = std::nullopt;
        if (i % 9 == 0)
            r.userName = u"anna"_s;
        rows << r;
    }
    const QString path = file(u"halves.yrd"_s);
    test::writeSqliteDataFile(path, rows);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    exec(db, "UPDATE Activity SET UserName = NULL WHERE rowid % 17 = 0");
    sqlite3_close(db);
    const auto read = [](const QString& p,
                         std::int64_t splitFrom) -> std::variant<test::StoreFigures, QString> {
        setSqliteSplitReadRows(splitFrom);
        try {
            const auto snap = readActivityStore(p);
            setSqliteSplitReadRows(0);
            return test::figuresOf(*snap);
        } catch (const Error& e) {
            setSqliteSplitReadRows(0);
            return e.description();
        }
    };
    const auto one = read(path, std::numeric_limits<std::int64_t>::max());
    ASSERT_TRUE(std::holds_alternative<test::StoreFigures>(one)) << qPrintable(std::get<QString>(one));
    EXPECT_EQ(read(path, 1), one);

    rows[450].hours[7] = 3601;
    rows[500].hours[2] = 3700;
    const QString bad = file(u"refused.yrd"_s);
    test::writeSqliteDataFile(bad, rows);
    const auto refused = read(bad, std::numeric_limits<std::int64_t>::max());
    ASSERT_TRUE(std::holds_alternative<QString>(refused));
    EXPECT_TRUE(std::get<QString>(refused).contains(u"3601"_s)) << qPrintable(std::get<QString>(refused));
    EXPECT_EQ(read(bad, 1), refused);
}

TEST_F(Stores, WholeNumbersMissingHoursAndMissingNamesAreTaken) {
    QString create = u"CREATE TABLE Activity (ActiveDay, UserName, ComputerName"_s;
    for (int h = 0; h < 24; ++h)
        create += u", H%1"_s.arg(h);
    create += u')';
    const QString path = file(u"ok.yrd"_s);
    ActivityRow missing = record(3, QString(), u"PC1"_s, std::nullopt);
    missing.hours[0] = 3600;
    test::writeSqliteDataFile(path, {record(1, u"anna"_s, u""_s, 0), missing, record(2, u"bob"_s, u"PC2"_s)},
                              create);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    exec(db, "UPDATE Activity SET H7 = 60.0 WHERE ActiveDay = 2");
    sqlite3_close(db);
    const auto snap = readActivityStore(path);
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->rowCount(), 3u);
    EXPECT_EQ(allSeconds(*snap), 3600 + 24 * 60);
    // A missing user name never matches a filter.
    EXPECT_EQ(test::secondsIn(*snap, {0, 10}, u"anna"_s), 0);
    EXPECT_EQ(test::secondsIn(*snap, {0, 10}, {}, u"pc1"_s), 3600);
}

TEST_F(Stores, TheStampSeesEveryCommittedChange) {
    const QString path = dataFile(u"live.yrd"_s, 3);
    StoreCache store(cache());
    ASSERT_EQ(allSeconds(*store.load(path)), 3 * 24 * 60);
    EXPECT_EQ(store.lastOrigin(), StoreCache::Origin::DataFile);
    EXPECT_TRUE(store.fresh(path));
    store.load(path);
    EXPECT_EQ(store.lastOrigin(), StoreCache::Origin::Memory);

    // A commit by the monitoring product (rollback journal).
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    exec(db, "INSERT INTO Activity (ActiveDay, UserName, ComputerName, H0) VALUES (5, 'anna', 'PC1', 7)");
    EXPECT_FALSE(store.fresh(path));
    EXPECT_EQ(allSeconds(*store.load(path)), 3 * 24 * 60 + 7);

    // In write-ahead mode a commit lands in the log only; a checkpoint moves it into the file.
    exec(db, "PRAGMA journal_mode=WAL");
    store.load(path);
    exec(db, "INSERT INTO Activity (ActiveDay, UserName, ComputerName, H0) VALUES (6, 'anna', 'PC1', 11)");
    EXPECT_FALSE(store.fresh(path));
    EXPECT_EQ(allSeconds(*store.load(path)), 3 * 24 * 60 + 18);
    exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    EXPECT_FALSE(store.fresh(path));
    EXPECT_EQ(allSeconds(*store.load(path)), 3 * 24 * 60 + 18);
    exec(db, "UPDATE Activity SET H0 = 12 WHERE ActiveDay = 6");
    EXPECT_EQ(allSeconds(*store.load(path)), 3 * 24 * 60 + 19);
    sqlite3_close(db);
}

TEST_F(Stores, AReplacedOrRestoredFileIsReadAgain) {
    const QString path = dataFile(u"data.yrd"_s, 3);
    const QString other = dataFile(u"other.yrd"_s, 4);
    StoreCache store(cache());
    ASSERT_EQ(allSeconds(*store.load(path)), 3 * 24 * 60);

    // Another file moved over it.
    ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
    EXPECT_FALSE(store.fresh(path));
    EXPECT_EQ(allSeconds(*store.load(path)), 4 * 24 * 60);

    // The earlier content written back in place, same size, with the old modification time.
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    exec(db, "UPDATE Activity SET H1 = 0 WHERE ActiveDay = 0");
    sqlite3_close(db);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    EXPECT_FALSE(store.fresh(path));
    EXPECT_EQ(allSeconds(*store.load(path)), 4 * 24 * 60 - 60);
    // The bytes before that update put back, old time again: the file's counter says so.
    ASSERT_TRUE(f.seek(0));
    ASSERT_EQ(f.write(bytes), bytes.size());
    f.close();
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    EXPECT_FALSE(store.fresh(path));
    EXPECT_EQ(allSeconds(*StoreCache(cache()).load(path)), 4 * 24 * 60);
}

TEST_F(Stores, ARowChangedBehindSQLitesBackWithTheOldTimeIsReadAgain) {
    const QString path = file(u"edited.yrd"_s);
    test::writeSqliteDataFile(path, {record(1, u"AAAAAAAAAAAAAAAA"_s, u"PC1"_s)});
    StoreCache store(cache());
    EXPECT_EQ(store.load(path)->answer(ActivityQuery::userList()).users.pairs.at(0).user.value_or(QString()),
              u"AAAAAAAAAAAAAAAA"_s);

    // Same size, inode, change counter and modification time: only the bytes of the name differ.
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.contains("AAAAAAAAAAAAAAAA"));
    bytes.replace("AAAAAAAAAAAAAAAA", "BBBBBBBBBBBBBBBB");
    ASSERT_TRUE(f.seek(0));
    ASSERT_EQ(f.write(bytes), bytes.size());
    f.close();
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);

    EXPECT_FALSE(store.fresh(path));
    EXPECT_EQ(store.load(path)->answer(ActivityQuery::userList()).users.pairs.at(0).user.value_or(QString()),
              u"BBBBBBBBBBBBBBBB"_s);
    EXPECT_EQ(StoreCache(cache())
                  .load(path)
                  ->answer(ActivityQuery::userList())
                  .users.pairs.at(0)
                  .user.value_or(QString()),
              u"BBBBBBBBBBBBBBBB"_s);
}

TEST_F(Stores, TheSavedCopyServesTheNextSessionInsteadOfAReadOfTheFile) {
    const QString path = dataFile(u"data.yrd"_s, 10);
    const auto first = StoreCache(cache()).load(path);
    ASSERT_EQ(savedCopies().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(path + u".store"_s));

    StoreCache next(cache());
    const auto again = next.load(path);
    EXPECT_EQ(next.lastOrigin(), StoreCache::Origin::SavedCopy);
    EXPECT_EQ(test::figuresOf(*again), test::figuresOf(*first));
}

TEST_F(Stores, SavedCopiesAreBoundedInCount) {
    StoreCache store(cache(), {2, 1 << 30});
    for (int i = 0; i < 4; ++i)
        store.load(dataFile(u"f%1.yrd"_s.arg(i), 2 + i));
    EXPECT_EQ(savedCopies().size(), 2);
    StoreCache small(cache(), {8, 100});
    small.load(dataFile(u"g.yrd"_s, 3));
    EXPECT_EQ(savedCopies().size(), 2);
}

// Copies other runs are still writing (locked, or younger than a minute) count against the
// limits and stay; one whose writer is gone goes when the saved copies are trimmed.
TEST_F(Stores, TemporaryCopiesOfOtherRunsCountAndAbandonedOnesGo) {
    ASSERT_TRUE(QDir().mkpath(cache()));
    const auto temporary = [&](const QString& name, int age) {
        QFile f(cache() + u'/' + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1000, 'x'));
        f.flush();
        EXPECT_TRUE(
            f.setFileTime(QDateTime::currentDateTime().addSecs(-age), QFileDevice::FileModificationTime));
    };
    temporary(u".aaaa.store.Abc123"_s, 120);
    temporary(u".bbbb.store.Def456"_s, 120);
    temporary(u".cccc.store.Ghi789"_s, 0);
    const int held = ::open(QFile::encodeName(cache() + u"/.bbbb.store.Def456"_s).constData(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    StoreCache store(cache(), {3, 1 << 30});
    store.load(dataFile(u"a.yrd"_s, 2));
    const QString second = dataFile(u"b.yrd"_s, 3);
    store.load(second);
    ::close(held);
    EXPECT_EQ(savedCopies(), (QStringList{u".bbbb.store.Def456"_s, u".cccc.store.Ghi789"_s,
                                          QFileInfo(store.savedCopyPath(second)).fileName()}));
}

TEST_F(Stores, ACancelledLoadLeavesNoSnapshotAndNoSavedCopy) {
    const QString path = largeDataFile(u"large.yrd"_s, 40'000);
    StoreCache store(cache());
    int calls = 0;
    EXPECT_FALSE(store.load(path, [&](int) { return ++calls < 2; }));
    EXPECT_GE(calls, 2);
    EXPECT_FALSE(store.fresh(path));
    EXPECT_TRUE(savedCopies().isEmpty()) << qPrintable(savedCopies().join(u' '));

    // Cancelled while the copy is being saved.
    int saving = 0;
    EXPECT_FALSE(store.load(path, [&](int p) { return p < 90 || ++saving < 2; }));
    EXPECT_FALSE(store.fresh(path));
    EXPECT_TRUE(savedCopies().isEmpty()) << qPrintable(savedCopies().join(u' '));

    // On a worker thread: cancelled, then left to finish.
    const auto cancelled = store.loadInBackground(path);
    cancelled->cancel();
    cancelled->wait();
    EXPECT_FALSE(cancelled->store());
    EXPECT_FALSE(store.fresh(path));

    std::atomic<bool> told{false};
    const auto job = store.loadInBackground(path, [&] { told = true; });
    job->wait();
    ASSERT_TRUE(job->store()) << qPrintable(job->error());
    EXPECT_EQ(job->progress(), 100);
    EXPECT_TRUE(told.load());
    EXPECT_EQ(job->store()->rowCount(), 40'000u);
    EXPECT_TRUE(store.fresh(path));
    EXPECT_EQ(savedCopies().size(), 1);
}

TEST_F(Stores, FailuresNameTheFile) {
    StoreCache store(cache());
    const QString missing = file(u"missing.yrd"_s);
    try {
        store.load(missing);
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(missing)) << qPrintable(e.description());
    }
    const auto job = store.loadInBackground(missing);
    job->wait();
    EXPECT_FALSE(job->store());
    EXPECT_TRUE(job->error().contains(missing)) << qPrintable(job->error());
}

} // namespace

TEST(SnapshotCacheFolder, FollowsXdgCacheHomeAndElseTheHomeFolder) {
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", "/home/someone");
    qputenv("XDG_CACHE_HOME", "/var/cache/someone");
    EXPECT_EQ(StoreCache::defaultCacheFolder(), u"/var/cache/someone/tallyrow"_s);
    // The base directory rules ignore a relative value.
    qputenv("XDG_CACHE_HOME", "cache");
    EXPECT_EQ(StoreCache::defaultCacheFolder(), u"/home/someone/.cache/tallyrow"_s);
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(StoreCache::defaultCacheFolder(), u"/home/someone/.cache/tallyrow"_s);
    qputenv("HOME", savedHome);
    if (savedCache.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", savedCache);
}
