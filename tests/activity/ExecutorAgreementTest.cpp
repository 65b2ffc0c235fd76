#include "activity/SqlExecutor.h"
#include "activity/StoreCache.h"
#include "activity/StoreFile.h"
#include "testsupport/ActivityData.h"
#include "testsupport/TestEnv.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>
#include <set>

using namespace tallyrow;
using namespace Qt::StringLiterals;
using test::ActivityRow;

namespace {

std::vector<DayRange> randomRanges(std::mt19937& rng) {
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    auto day = [&] { return pick(2) ? -70 + pick(170) : 1470 + pick(270); };
    std::vector<DayRange> ranges;
    if (pick(2)) {
        // Consecutive periods, as the Totals report asks for them.
        std::int64_t first = day();
        for (int n = 1 + pick(40); n > 0; --n) {
            const std::int64_t length = 1 + pick(35);
            ranges.push_back({first, first + length - 1});
            first += length;
        }
    } else {
        // Any ranges at all: overlapping, out of order, empty.
        for (int n = 1 + pick(5); n > 0; --n) {
            const std::int64_t first = day();
            ranges.push_back({first, first + pick(250) - 10});
        }
    }
    return ranges;
}

ActivityQuery randomQuery(std::mt19937& rng, const QStringList& filters) {
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const QString user = pick(2) ? filters[pick(int(filters.size()))] : QString();
    const QString computer = pick(3) ? QString() : filters[pick(int(filters.size()))];
    switch (pick(6)) {
    case 0:
        return ActivityQuery::userList();
    case 5: {
        const auto weekdays = std::uint8_t(pick(3) ? 1 + pick(127) : ActivityQuery::kEveryWeekday);
        return ActivityQuery::peopleTotals(randomRanges(rng).front(), user, computer, weekdays,
                                           PeopleGrouping(pick(3)));
    }
    case 1:
    case 2:
        return ActivityQuery::rangeSeconds(randomRanges(rng), user, computer);
    default: {
        const std::vector<DayRange> ranges = randomRanges(rng);
        const auto weekdays = std::uint8_t(pick(3) ? 1 + pick(127) : ActivityQuery::kEveryWeekday);
        return ActivityQuery::hourAggregates(ranges.front(), user, computer, weekdays,
                                             HourAggregate(pick(4)));
    }
    }
}

} // namespace

// Random data files with the awkward parts of real ones: missing hours and names, empty names,
// names that differ only by letter case (also outside A–Z), days before 2000; random questions on
// each. SQL on the file, the store read from it and the store mapped from its saved copy give
// the same figures to the last bit.
TEST(ExecutorAgreement, SqlAndTheStoreGiveTheSameFiguresOnRandomFiles) {
    test::ensureCoreApp();
    QTemporaryDir dir;
    const QStringList users = {u"anna"_s, u"Anna"_s, u"ANNA"_s,   u"bob"_s, u""_s,    u"o'neil"_s,
                               u"Zoë"_s,  u"ZOË"_s,  u"jürgen"_s, u"_x"_s,  QString()};
    const QStringList computers = {u"PC1"_s, u"pc1"_s,  u"LAPTOP-B"_s, u"laptop-b"_s,
                                   u""_s,    QString(), u"Ünı"_s};
    const QStringList filters = {u"anna"_s, u"ANNA"_s,   u"zoë"_s,      u"ZOË"_s, u"o'neil"_s, u"pc1"_s,
                                 u"PC1"_s,  u"nobody"_s, u"laptop-B"_s, u"ünı"_s, u"Ünı"_s,    u"JÜRGEN"_s};
    int answered = 0; // answers with a figure in them: the agreement is not one of empty answers
    for (int seed = 1; seed <= 10; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(static_cast<unsigned>(seed));
        auto pick = [&](int n) { return int(rng() % unsigned(n)); };
        QVector<ActivityRow> rows;
        std::set<std::tuple<QString, QString, int>> keys; // the file's unique key, letter case aside
        const int count = 150 + pick(150);
        while (rows.size() < count) {
            ActivityRow r;
            r.activeDay = pick(2) ? -70 + pick(170) : 1480 + pick(250);
            r.userName = users[pick(int(users.size()))];
            r.computerName = computers[pick(int(computers.size()))];
            if (!r.userName.isNull() && !r.computerName.isNull() &&
                !keys.insert({r.userName.toLower(), r.computerName.toLower(), r.activeDay}).second)
                continue;
            static const int values[] = {0, 1, 59, 60, 90, 1800, 3599, 3600};
            for (auto& h : r.hours) {
                const int k = pick(12);
                if (k < 2)
                    h.reset();
                else
                    h = k < 10 ? values[k - 2] : pick(3601);
            }
            rows << r;
        }
        const QString path = dir.filePath(u"random%1.yrd"_s.arg(seed));
        test::writeSqliteDataFile(path, rows);
        if (seed % 2 == 0) {
            // Without the key index the user list comes in the order the rows were written.
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, "DROP INDEX ActivityKey", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        const auto inMemory = readActivityStore(path);
        ASSERT_TRUE(inMemory);
        const QString copy = dir.filePath(u"random%1.store"_s.arg(seed));
        ASSERT_TRUE(StoreFile::write(*inMemory, copy, "identity"));
        const auto mapped = StoreFile::open(copy, "identity");
        ASSERT_TRUE(mapped);
        SqlExecutor sql(path);
        for (int run = 0; run < 40; ++run) {
            const ActivityQuery q = randomQuery(rng, filters);
            SCOPED_TRACE(qPrintable(q.describe()));
            const ActivityAnswer bySql = sql.answer(q);
            EXPECT_TRUE(inMemory->answer(q).sameFigures(bySql));
            EXPECT_TRUE(mapped->answer(q).sameFigures(bySql));
            answered += !bySql.groups.empty() || !bySql.users.pairs.empty() || !bySql.people.empty() ||
                        std::any_of(bySql.seconds.begin(), bySql.seconds.end(), [](auto s) { return s > 0; });
        }
    }
    EXPECT_GT(answered, 200);
}
