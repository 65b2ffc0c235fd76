#include "testsupport/ActivityData.h"
#include "testsupport/TestEnv.h"

#include "activity/ActivityPlanner.h"
#include "activity/StoreCache.h"
#include "reports/ReportCsv.h"
#include "reports/DayReport.h"
#include "reports/TotalsReport.h"
#include "reports/UsersReport.h"
#include "support/CommandLine.h"

#include <QFile>
#include <QTemporaryDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <array>

#include <cstring>

using namespace tallyrow;
using namespace Qt::StringLiterals;

namespace {

// The store of a data file as a source, as the planner uses it when the store is fresh.
class StoreSource final : public ActivitySource {
public:
    explicit StoreSource(std::shared_ptr<const ActivityStore> store) : m_store(std::move(store)) {}
    bool connect() override { return true; }
    ActivityAnswer answer(const ActivityQuery& query) override { return m_store->answer(query); }

private:
    std::shared_ptr<const ActivityStore> m_store;
};

// Runs each report twice on one data file, by SQL and from the file's store, and expects the
// same figures to the last bit and the same CSV.
class SourceAgreement : public test::ServicesFixture {
protected:
    void SetUp() override {
        ServicesFixture::SetUp();
        test::ensureGuiApp();
    }
    std::shared_ptr<ActivitySource> use(const QString& path) {
        m_path = path;
        return std::make_shared<StoreSource>(readActivityStore(path));
    }
    QString m_path; // the data file the SQL path reads

    static QByteArray runDay(const DayReportInputs& in, std::shared_ptr<ActivitySource> source,
                             HourGrid& grid) {
        DayReport report;
        report.setInputs(in);
        report.setSource(std::move(source));
        EXPECT_TRUE(report.Run());
        grid = report.hourGrid();
        return reportCsv(report);
    }
    static QByteArray runTotals(const TotalsReportInputs& in, std::shared_ptr<ActivitySource> source,
                                QVector<double>& totals) {
        TotalsReport report;
        report.setInputs(in);
        report.setSource(std::move(source));
        EXPECT_TRUE(report.Run());
        totals.clear();
        for (const auto& t : report.periodTotals())
            totals << t.total;
        for (const auto& t : report.previousTotals())
            totals << t.total;
        return reportCsv(report);
    }

    void expectSameDay(const DayReportInputs& in, const std::shared_ptr<ActivitySource>& store,
                       const QByteArray& expected) {
        HourGrid bySql{};
        HourGrid fromStore{};
        const QByteArray sql = runDay(in, openActivitySource(m_path, nullptr), bySql);
        const QByteArray stored = runDay(in, store, fromStore);
        EXPECT_EQ(std::memcmp(&bySql, &fromStore, sizeof(HourGrid)), 0);
        EXPECT_EQ(stored, sql);
        EXPECT_EQ(stored, expected);
    }
    void expectSameTotals(const TotalsReportInputs& in, const std::shared_ptr<ActivitySource>& store,
                          const QByteArray& expected) {
        QVector<double> bySql;
        QVector<double> fromStore;
        const QByteArray sql = runTotals(in, openActivitySource(m_path, nullptr), bySql);
        const QByteArray stored = runTotals(in, store, fromStore);
        EXPECT_EQ(fromStore, bySql);
        EXPECT_EQ(stored, sql);
        EXPECT_EQ(stored, expected);
    }
};

// "mon,wed,sun" as the reports' weekday boxes, Monday first.
WeekdaySet weekdaysOf(const QString& list) {
    const QStringList days = list.split(u',');
    const char* names[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    WeekdaySet on;
    for (int d = 0; d < 7; ++d)
        on.set(Qt::DayOfWeek(d + 1), days.contains(QString::fromLatin1(names[d])));
    return on;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(SourceAgreement, EveryGoldenCaseGivesTheSameCsvBothWays) {
    const QString path = env().path(u"office.yrd"_s);
    test::writeSqliteDataFile(path, test::officeRows());
    const auto store = use(path);
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
            in.range = {QDate::fromString(a[u"from"_s], Qt::ISODate),
                        QDate::fromString(a[u"to"_s], Qt::ISODate)};
            if (a.contains(u"days"_s))
                in.days = weekdaysOf(a[u"days"_s]);
            in.figure = DayFigure(QStringList{u"average"_s, u"total"_s, u"maximum"_s, u"minimum"_s}.indexOf(
                a.value(u"aggregate"_s, u"average"_s)));
            in.columns = DayColumns(QStringList{u"average"_s, u"each"_s, u"both"_s}.indexOf(
                a.value(u"chart-shows"_s, u"average"_s)));
            in.showDetails = a.contains(u"details"_s);
            in.userFilter = a.value(u"user"_s);
            in.computerFilter = a.value(u"computer"_s);
            expectSameDay(in, store, expected);
        } else if (a[u"report"_s] == u"users"_s) {
            UsersReportInputs in;
            in.range = {QDate::fromString(a[u"from"_s], Qt::ISODate),
                        QDate::fromString(a[u"to"_s], Qt::ISODate)};
            if (a.contains(u"days"_s))
                in.days = weekdaysOf(a[u"days"_s]);
            in.grouping = PeopleGrouping(
                QStringList{u"user"_s, u"computer"_s, u"pair"_s}.indexOf(a.value(u"by"_s, u"user"_s)));
            in.timeScale = TimeScale(QStringList{u"seconds"_s, u"minutes"_s, u"hours"_s}.indexOf(
                a.value(u"scale"_s, u"minutes"_s)));
            in.userFilter = a.value(u"user"_s);
            in.computerFilter = a.value(u"computer"_s);
            const auto run = [&](std::shared_ptr<ActivitySource> source) {
                UsersReport report;
                report.setInputs(in);
                report.setSource(std::move(source));
                EXPECT_TRUE(report.Run());
                return reportCsv(report);
            };
            const QByteArray stored = run(store);
            EXPECT_EQ(stored, run(openActivitySource(m_path, nullptr)));
            EXPECT_EQ(stored, expected);
        } else {
            TotalsReportInputs in;
            in.range = {QDate::fromString(a[u"from"_s], Qt::ISODate),
                        QDate::fromString(a[u"to"_s], Qt::ISODate)};
            in.units = a.value(u"units"_s, u"1"_s).toInt();
            in.period = *periodNamed(a.value(u"period"_s, u"days"_s));
            in.timeScale = TimeScale(QStringList{u"seconds"_s, u"minutes"_s, u"hours"_s}.indexOf(
                a.value(u"scale"_s, u"minutes"_s)));
            in.showDetails = a.contains(u"details"_s);
            in.userFilter = a.value(u"user"_s);
            in.computerFilter = a.value(u"computer"_s);
            in.compare = a.contains(u"compare"_s);
            expectSameTotals(in, store, expected);
        }
    }
}

} // namespace

// The chart names the ten largest lines and adds up the rest as "Others", however few the rest;
// a rest larger than the largest line is told in words, so the named bars stay readable.
TEST_F(SourceAgreement, TheUsersChartNamesTenLinesAndAddsUpTheRestAsOthers) {
    QTemporaryDir dir;
    for (const int people : {10, 11, 13, 40}) {
        SCOPED_TRACE(people);
        const QString file = dir.filePath(u"people%1.yrd"_s.arg(people));
        QVector<test::ActivityRow> rows;
        for (int p = 0; p < people; ++p)
            rows << test::uniformRow(1500, u"user%1"_s.arg(p, 2, 10, QChar(u'0')), u"PC"_s, 60 * (p + 1));
        test::writeSqliteDataFile(file, rows);
        UsersReportInputs in;
        in.range = {QDate(2004, 1, 1), QDate(2004, 12, 31)};
        UsersReport report;
        report.setInputs(in);
        report.setSource(use(file));
        ASSERT_TRUE(report.Run());
        const engine::RowSet& bars = report.chart(u"chrtReport"_s)->dataSource;
        ASSERT_EQ(bars.rowCount(), people > 10 ? 11 : 10);
        double rest = 0;
        for (int p = 0; p < people - 10; ++p)
            rest += 24 * (p + 1); // the smallest lines: p + 1 minutes in each hour of the day
        if (people == 40) {
            EXPECT_EQ(bars.value(10, 0).toString(), u"Others (30 lines): 11160"_s); // in the tests' C locale
            EXPECT_EQ(bars.value(10, 1).toDouble(), 0);
        } else if (people > 10) {
            EXPECT_EQ(bars.value(10, 0).toString(), u"Others"_s);
            EXPECT_EQ(bars.value(10, 1).toDouble(), rest);
        }
    }
}

// A person is one line however the name was written, as --user takes it, with one spelling on
// every source; a missing and an empty name are one "(no name)" line.
TEST_F(SourceAgreement, SpellingsOfOneNameAreOneLineAndNoNameIsOne) {
    QTemporaryDir dir;
    const QString file = dir.filePath(u"spellings.yrd"_s);
    // anna 60 minutes over two days, Anna 30 on another computer, ANNA 10 on a third day.
    test::writeSqliteDataFile(file, {test::uniformRow(1500, u"anna"_s, u"PC1"_s, 30 * 60 / 24),
                                     test::uniformRow(1501, u"anna"_s, u"PC1"_s, 30 * 60 / 24),
                                     test::uniformRow(1500, u"Anna"_s, u"PC2"_s, 30 * 60 / 24),
                                     test::uniformRow(1502, u"ANNA"_s, u"PC1"_s, 10 * 60 / 24),
                                     test::uniformRow(1500, QString(), u"PC1"_s, 5 * 60 / 24),
                                     test::uniformRow(1503, u""_s, u"PC1"_s, 5 * 60 / 24)});
    const auto csv = [&](PeopleGrouping by, const QString& user, std::shared_ptr<ActivitySource> source) {
        UsersReportInputs in;
        in.range = {QDate(2004, 1, 1), QDate(2004, 12, 31)};
        in.grouping = by;
        in.userFilter = user;
        UsersReport report;
        report.setInputs(in);
        report.setSource(std::move(source));
        EXPECT_TRUE(report.Run());
        return reportCsv(report);
    };
    const QByteArray byUser = csv(PeopleGrouping::User, {}, use(file));
    EXPECT_EQ(byUser, csv(PeopleGrouping::User, {}, openActivitySource(m_path, nullptr)));
    EXPECT_TRUE(byUser.contains("ANNA,100,91.2,3")) << byUser.constData();
    EXPECT_TRUE(byUser.contains("(no name),10,8.8,2")) << byUser.constData();
    EXPECT_EQ(byUser.count('\n'), 3) << byUser.constData();
    EXPECT_TRUE(csv(PeopleGrouping::User, u"Anna"_s, use(file)).contains("ANNA,100,100.0,3"));
    const QByteArray byPair = csv(PeopleGrouping::Pair, {}, use(file));
    EXPECT_EQ(byPair, csv(PeopleGrouping::Pair, {}, openActivitySource(m_path, nullptr)));
    EXPECT_TRUE(byPair.contains("ANNA on PC1,70,63.9,3")) << byPair.constData();
    EXPECT_TRUE(byPair.contains("Anna on PC2,30,")) << byPair.constData();
}
