#include "testsupport/ActivityData.h"
#include "testsupport/TestEnv.h"

#include "datafile/ActivitySnapshot.h"
#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/SnapshotStore.h"
#include "reports/ReportCsv.h"
#include "reports/repDay.h"
#include "reports/repTotals.h"
#include "shell/UserList.h"
#include "support/CommandLine.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <random>
#include <set>

using namespace tallyrow;
using namespace Qt::StringLiterals;
using test::ActivityRow;

namespace {

// Runs each report twice on one data file, by its queries and from the file's snapshot, and
// expects the same figures to the last bit and the same CSV.
class SnapshotAgreement : public test::ServicesFixture {
protected:
    void SetUp() override {
        ServicesFixture::SetUp();
        test::ensureGuiApp();
    }
    void TearDown() override {
        SessionDataPath.clear();
        CommandLineDataPath.clear();
        ServicesFixture::TearDown();
    }
    std::shared_ptr<const ActivitySnapshot> use(const QString& path) {
        m_path = path;
        return readActivitySnapshot(path);
    }
    QString m_path; // the data file the SQL path reads

    static QByteArray runDay(const DayReportInputs& in, std::shared_ptr<const ActivitySnapshot> snap,
                             HourGrid& grid) {
        repDay report;
        report.setInputs(in);
        report.setSnapshot(std::move(snap));
        EXPECT_TRUE(report.Run());
        grid = report.hourGrid();
        return reportCsv(report);
    }
    static QByteArray runTotals(const TotalsReportInputs& in, std::shared_ptr<const ActivitySnapshot> snap,
                                QVector<double>& totals, QStringList& queries) {
        repTotals report;
        report.setInputs(in);
        report.setSnapshot(std::move(snap));
        EXPECT_TRUE(report.Run());
        totals.clear();
        for (const auto& t : report.periodTotals())
            totals << t.total;
        for (const auto& t : report.previousTotals())
            totals << t.total;
        queries = report.sentQueries();
        return reportCsv(report);
    }

    void expectSameDay(DayReportInputs in, const std::shared_ptr<const ActivitySnapshot>& snap,
                       const QByteArray& expected = {}) {
        in.DataFile = m_path;
        HourGrid bySql{};
        HourGrid bySnapshot{};
        const QByteArray sql = runDay(in, nullptr, bySql);
        const QByteArray fromSnapshot = runDay(in, snap, bySnapshot);
        EXPECT_EQ(std::memcmp(&bySql, &bySnapshot, sizeof(HourGrid)), 0);
        EXPECT_EQ(fromSnapshot, sql);
        if (!expected.isEmpty()) {
            EXPECT_EQ(fromSnapshot, expected);
        }
    }
    void expectSameTotals(TotalsReportInputs in, const std::shared_ptr<const ActivitySnapshot>& snap,
                          const QByteArray& expected = {}) {
        in.DataFile = m_path;
        QVector<double> bySql;
        QVector<double> bySnapshot;
        QStringList sqlQueries;
        QStringList snapshotQueries;
        const QByteArray sql = runTotals(in, nullptr, bySql, sqlQueries);
        const QByteArray fromSnapshot = runTotals(in, snap, bySnapshot, snapshotQueries);
        EXPECT_EQ(bySnapshot, bySql);
        EXPECT_EQ(snapshotQueries, sqlQueries);
        EXPECT_EQ(fromSnapshot, sql);
        if (!expected.isEmpty()) {
            EXPECT_EQ(fromSnapshot, expected);
        }
    }
};

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(SnapshotAgreement, EveryGoldenCaseGivesTheSameCsvBothWays) {
    const QString path = env().path(u"office.yrd"_s);
    test::writeSqliteDataFile(path, test::officeRows());
    const auto snap = use(path);
    const QJsonArray cases =
        QJsonDocument::fromJson(readFile(u"" TALLYROW_GOLDEN_DIR "/cases.json"_s)).array();
    ASSERT_GE(cases.size(), 10);
    for (const QJsonValue& v : cases) {
        const QString name = v[u"name"_s].toString();
        SCOPED_TRACE(qPrintable(name));
        QHash<QString, QString> a;
        const QJsonArray args = v[u"args"_s].toArray();
        for (qsizetype i = 0; i < args.size(); ++i) {
            const QString key = args[i].toString().mid(2);
            a[key] = i + 1 < args.size() && !args[i + 1].toString().startsWith(u"--"_s) ? args[++i].toString()
                                                                                        : u"yes"_s;
        }
        const QByteArray expected = readFile(u"" TALLYROW_GOLDEN_DIR "/expected/"_s + name + u".csv"_s);
        ASSERT_FALSE(expected.isEmpty());
        if (a[u"report"_s] == u"day"_s) {
            DayReportInputs in;
            in.StartDate = QDate::fromString(a[u"from"_s], Qt::ISODate);
            in.EndDate = QDate::fromString(a[u"to"_s], Qt::ISODate);
            if (a.contains(u"days"_s)) {
                const QStringList days = a[u"days"_s].split(u',');
                const char* names[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
                for (int d = 0; d < 7; ++d)
                    in.Days[std::size_t(d)] = days.contains(QString::fromLatin1(names[d]));
            }
            in.TotalType = int(QStringList{u"average"_s, u"total"_s, u"maximum"_s, u"minimum"_s}.indexOf(
                a.value(u"aggregate"_s, u"average"_s)));
            in.ShowEachDay = int(QStringList{u"average"_s, u"each"_s, u"both"_s}.indexOf(
                a.value(u"chart-shows"_s, u"average"_s)));
            in.ShowDetails = a.contains(u"details"_s);
            in.UserFilter = a.value(u"user"_s);
            in.ComputerFilter = a.value(u"computer"_s);
            expectSameDay(in, snap, expected);
        } else {
            TotalsReportInputs in;
            in.StartDate = QDate::fromString(a[u"from"_s], Qt::ISODate);
            in.EndDate = QDate::fromString(a[u"to"_s], Qt::ISODate);
            in.Units = a.value(u"units"_s, u"1"_s).toInt();
            in.Period = a.value(u"period"_s, u"days"_s);
            in.ReportTimeScale = int(QStringList{u"seconds"_s, u"minutes"_s, u"hours"_s}.indexOf(
                a.value(u"scale"_s, u"minutes"_s)));
            in.ShowDetails = a.contains(u"details"_s);
            in.UserFilter = a.value(u"user"_s);
            in.ComputerFilter = a.value(u"computer"_s);
            in.Compare = a.contains(u"compare"_s);
            expectSameTotals(in, snap, expected);
        }
    }
}

// Random data files with the awkward parts of real ones: missing hours and names, empty names,
// names that differ only by letter case (also outside A–Z), days before 2000, months ending on
// the 31st; random report inputs on each.
TEST_F(SnapshotAgreement, RandomFilesAndInputsGiveTheSameFiguresBothWays) {
    const QStringList users = {u"anna"_s, u"Anna"_s, u"ANNA"_s,   u"bob"_s, u""_s,    u"o'neil"_s,
                               u"Zoë"_s,  u"ZOË"_s,  u"jürgen"_s, u"_x"_s,  QString()};
    const QStringList computers = {u"PC1"_s, u"pc1"_s,  u"LAPTOP-B"_s, u"laptop-b"_s,
                                   u""_s,    QString(), u"Ünı"_s};
    const QStringList filters = {u""_s,    u"anna"_s, u"ANNA"_s,   u"zoë"_s,      u"ZOË"_s, u"o'neil"_s,
                                 u"pc1"_s, u"PC1"_s,  u"nobody"_s, u"laptop-B"_s, u"ünı"_s, u"Ünı"_s};
    const QDate base(2000, 1, 1);
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
        const QString path = env().path(u"random%1.yrd"_s.arg(seed));
        test::writeSqliteDataFile(path, rows);
        if (seed % 2 == 0) {
            // Without the key index the user list comes in the order the rows were written.
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, "DROP INDEX ActivityKey", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        const auto snap = use(path);
        ASSERT_TRUE(snap);

        auto randomDate = [&] {
            return pick(2) ? base.addDays(-70 + pick(170)) : base.addDays(1470 + pick(270));
        };
        for (int run = 0; run < 12; ++run) {
            SCOPED_TRACE(run);
            DayReportInputs in;
            in.StartDate = randomDate();
            in.EndDate = pick(8) ? in.StartDate.addDays(pick(200)) : randomDate();
            for (bool& b : in.Days)
                b = pick(10) < 6;
            in.TotalType = pick(5);
            in.ShowEachDay = pick(3);
            in.ShowDetails = pick(2);
            in.UserFilter = pick(2) ? filters[pick(int(filters.size()))] : QString();
            in.ComputerFilter = pick(3) ? QString() : filters[pick(int(filters.size()))];
            expectSameDay(in, snap);

            TotalsReportInputs t;
            t.StartDate = in.StartDate;
            t.EndDate = in.EndDate;
            t.Units = pick(4);
            t.Period = QStringList{u"Days"_s, u"Weeks"_s, u"Months"_s, u"Years"_s}[pick(4)];
            t.ReportTimeScale = pick(3);
            t.ShowDetails = true;
            t.UserFilter = in.UserFilter;
            t.ComputerFilter = in.ComputerFilter;
            t.Compare = pick(2);
            expectSameTotals(t, snap);
        }

        // The user list's three queries.
        Connection cn;
        cn.Open(ConnectionString(path));
        const std::pair<QString, std::unique_ptr<Recordset>> lists[] = {
            {UserComputerPairsQuery(), snap->userComputerPairs()},
            {UsersOnSeveralComputersQuery(), snap->usersOnSeveralComputers()},
            {ComputersOfSeveralUsersQuery(), snap->computersOfSeveralUsers()},
        };
        for (const auto& [query, fromSnapshot] : lists) {
            SCOPED_TRACE(qPrintable(query));
            const std::unique_ptr<Recordset> bySql = cn.Execute(query);
            ASSERT_EQ(fromSnapshot->rowCount(), bySql->rowCount());
            ASSERT_EQ(fromSnapshot->fieldCount(), bySql->fieldCount());
            for (; !bySql->EOF_(); bySql->MoveNext(), fromSnapshot->MoveNext()) {
                for (int f = 0; f < bySql->fieldCount(); ++f) {
                    EXPECT_EQ(fromSnapshot->field(f).isNull(), bySql->field(f).isNull());
                    EXPECT_EQ(fromSnapshot->field(f).toString(), bySql->field(f).toString());
                }
                EXPECT_EQ(fromSnapshot->fieldNames()[0].toLower(), bySql->fieldNames()[0].toLower());
            }
        }
    }
}

} // namespace
