#include "activity/ActivityPlanner.h"
#include "testsupport/ActivityData.h"
#include "testsupport/TestEnv.h"

#include "datafile/DataPath.h"
#include "engine/ChartLayout.h"
#include "reports/DayQuery.h"
#include "reports/LayoutHelpers.h"
#include "reports/ReportCsv.h"
#include "reports/DayReport.h"
#include "reports/TotalsReport.h"
#include "reports/DayNumbers.h"
#include "support/CommandLine.h"
#include "support/Error.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <map>

using namespace tallyrow;
using test::ActivityRow;

namespace {

class ReportRun : public test::ServicesFixture {
protected:
    void SetUp() override {
        ServicesFixture::SetUp();
        test::ensureGuiApp();
    }
    void useDataFile(const QString& path) { m_dataFile = path; }
    // Runs `report` on the data file the test chose.
    template <typename R> bool runOn(R& report) {
        auto in = report.inputs();
        in.dataFile = m_dataFile;
        report.setInputs(in);
        report.setSource(openActivitySource(m_dataFile, nullptr));
        return report.Run();
    }
    QString officeSqlite() {
        const QString path = env().path(QStringLiteral("office.yrd"));
        test::writeSqliteDataFile(path, test::officeRows());
        return path;
    }

private:
    QString m_dataFile;
};

// Texts of the page items laid out from control `name`, in page order.
QStringList itemTexts(const engine::PageCollection& pages, const QString& name) {
    QStringList texts;
    for (const engine::Page& page : pages.pages) {
        for (const engine::PageItem& item : page.items) {
            if (const auto* text = std::get_if<engine::TextItem>(&item); text && text->name == name)
                texts << text->text;
        }
    }
    return texts;
}

// Expected whole minutes of one weekday column over the rows, straight from the rows: the mean
// (or total, maximum, minimum) of the hour's non-empty values.
std::map<std::pair<int, int>, double> aggregateByWeekdayAndHour(const QVector<ActivityRow>& rows, int first,
                                                                int last, const QString& user,
                                                                int totalType) {
    std::map<std::pair<int, int>, std::vector<double>> values;
    for (const ActivityRow& r : rows) {
        if (r.activeDay < first || r.activeDay > last || (!user.isEmpty() && r.userName != user))
            continue;
        for (int h = 0; h < 24; ++h) {
            if (r.hours[h])
                values[{r.activeDay % 7, h}].push_back(*r.hours[h]);
        }
    }
    std::map<std::pair<int, int>, double> result;
    for (const auto& [key, v] : values) {
        double acc = totalType == 0 || totalType == 1 ? 0 : v.front();
        for (double x : v) {
            if (totalType <= 1)
                acc += x;
            else if (totalType == 2)
                acc = std::max(acc, x);
            else
                acc = std::min(acc, x);
        }
        result[key] = totalType == 0 ? acc / v.size() : acc;
    }
    return result;
}

int minutes(double seconds) {
    return static_cast<int>(roundHalfEven(seconds / 60));
}

DayReportInputs annaMarch() {
    DayReportInputs in;
    in.range = {QDate(2004, 3, 1), QDate(2004, 3, 31)};
    in.days = WeekdaySet{Qt::Monday, Qt::Wednesday, Qt::Sunday};
    in.userFilter = QStringLiteral("anna");
    in.columns = DayColumns(2);
    in.showDetails = true;
    in.chartType = 1;
    return in;
}

} // namespace

TEST_F(ReportRun, DayReportOnOfficeDataMatchesTheRows) {
    useDataFile(officeSqlite());
    for (int totalType : {0, 1, 2, 3}) {
        SCOPED_TRACE(totalType);
        DayReport report;
        DayReportInputs in = annaMarch();
        in.figure = DayFigure(totalType);
        report.setInputs(in);
        ASSERT_TRUE(runOn(report));
        EXPECT_TRUE(report.failures().isEmpty());
        const auto expected =
            aggregateByWeekdayAndHour(test::officeRows(), 1521, 1551, in.userFilter, totalType);
        const engine::RowSet table = report.tableRows();
        ASSERT_EQ(table.rowCount(), 24);
        const int remainders[] = {2, 4, 1}; // Monday, Wednesday, Sunday
        for (int h = 0; h < 24; ++h) {
            double sum = 0;
            for (int i = 0; i < 3; ++i) {
                const auto it = expected.find({remainders[i], h});
                const double seconds = it == expected.end() ? 0 : it->second;
                sum += seconds;
                EXPECT_EQ(table.value(h, 1 + i).toInt(), minutes(seconds)) << "hour " << h;
            }
            EXPECT_EQ(table.value(h, 4).toInt(), minutes(sum / 3)) << "hour " << h;
        }
    }
}

TEST_F(ReportRun, DayReportLayoutTextsAndChart) {
    useDataFile(officeSqlite());
    DayReport report;
    report.setInputs(annaMarch());
    ASSERT_TRUE(runOn(report));

    EXPECT_EQ(report.label(QStringLiteral("lblDateRange"))->caption,
              QStringLiteral("From 3/1/2004 to 3/31/2004"));
    EXPECT_EQ(report.label(QStringLiteral("lblPageDateRange"))->caption,
              QStringLiteral("From 3/1/2004 to 3/31/2004"));
    EXPECT_EQ(report.label(QStringLiteral("lblUserName"))->caption,
              QStringLiteral("For user <anna> on any computer"));
    EXPECT_EQ(report.label(QStringLiteral("lblUserNamePage"))->caption,
              QStringLiteral("For user <anna> on any computer"));
    EXPECT_EQ(
        report.label(QStringLiteral("lblPageReportTotalType"))->caption,
        QStringLiteral("This report shows the average active time for each selected day of the week in this "
                       "date range"));
    EXPECT_EQ(report.label(QStringLiteral("lblPageSelectedDays"))->caption,
              QStringLiteral("Days selected: Monday, Wednesday, Sunday"));

    // Unselected weekdays: grey heading, hidden footer total; selected ones stay black.
    const QColor grey(127, 127, 127);
    for (int i = 1; i <= 7; ++i) {
        const bool selected = i == 1 || i == 3 || i == 7;
        const QString n = QString::number(i);
        EXPECT_EQ(report.label(QStringLiteral("lblDay") + n)->color, selected ? QColor(Qt::black) : grey)
            << i;
        EXPECT_EQ(report.field(QStringLiteral("txtDay") + n + QStringLiteral("Total"))->visible, selected)
            << i;
    }

    const engine::Chart* chart = report.chart(QStringLiteral("chrtReport"));
    EXPECT_EQ(chart->definition.chartType, 1);
    EXPECT_EQ(chart->definition.legendLocation, 6);
    EXPECT_EQ(chart->definition.axes[1].title, QStringLiteral("Active minutes per hour"));
    EXPECT_EQ(chart->definition.axes[0].majorGridStyle, 0);
    EXPECT_EQ(chart->definition.axes[0].tickStyle, 0);
    EXPECT_EQ(chart->dataSource.columnCount(), 5);
    EXPECT_EQ(report.pageSetupValue, 1);
    EXPECT_TRUE(report.Detail().visible && report.PageHeader().visible && report.ReportFooter().visible);

    // Row totals add the shown weekday minutes; the grand total adds the weekday totals.
    const engine::RowSet table = report.tableRows();
    const QStringList rowTotals = itemTexts(report.pages(), QStringLiteral("txtTotal"));
    ASSERT_EQ(rowTotals.size(), 24);
    int columnTotals[3] = {0, 0, 0};
    for (int h = 0; h < 24; ++h) {
        int sum = 0;
        for (int i = 0; i < 3; ++i) {
            sum += table.value(h, 1 + i).toInt();
            columnTotals[i] += table.value(h, 1 + i).toInt();
        }
        EXPECT_EQ(rowTotals[h], QString::number(sum)) << h;
    }
    EXPECT_EQ(itemTexts(report.pages(), QStringLiteral("txtGrandTotal")),
              QStringList{QString::number(columnTotals[0] + columnTotals[1] + columnTotals[2])});
    EXPECT_TRUE(itemTexts(report.pages(), QStringLiteral("txtDay2")).join(QString()).isEmpty());
}

TEST_F(ReportRun, DayReportWithoutDetailsBindsTheChartRows) {
    useDataFile(officeSqlite());
    DayReport report;
    DayReportInputs in = annaMarch();
    in.showDetails = false;
    in.columns = DayColumns(0);
    in.figure = DayFigure(3);
    report.setInputs(in);
    ASSERT_TRUE(runOn(report));
    EXPECT_EQ(report.dataSource().columnCount(), 2);
    EXPECT_EQ(report.dataSource().column(1).name, QStringLiteral("All Days"));
    EXPECT_FALSE(report.Detail().visible || report.PageHeader().visible || report.ReportFooter().visible);
    EXPECT_TRUE(report.ReportHeader().visible && report.PageFooter().visible);
    EXPECT_TRUE(itemTexts(report.pages(), QStringLiteral("txtTotal")).isEmpty());
    EXPECT_EQ(report.chart(QStringLiteral("chrtReport"))->definition.axes[1].title,
              QStringLiteral("Minumim active minutes per hour"));
    // The table is still there for the CSV.
    EXPECT_EQ(report.tableRows().columnCount(), 5);
    EXPECT_EQ(report.tableRows().rowCount(), 24);
}

TEST_F(ReportRun, JetAndSqliteFilesGiveTheSameDayReport) {
    DayReportInputs in = annaMarch();
    in.userFilter.clear();
    in.days.set(Qt::Saturday, true); // the three December 1999 rows fall on remainders -3…-1
    in.range.start = QDate(1999, 12, 1);
    // The Access file is read by the reader program of this build.
    qputenv("TALLYROW_MDB_READER", test::binPath(QStringLiteral("tallyrow-mdb-reader")).toLocal8Bit());
    QList<HourGrid> grids;
    for (const QString& file : {officeSqlite(), test::fixturePath(QStringLiteral("office.mdb"))}) {
        useDataFile(file);
        DayReport report;
        report.setInputs(in);
        ASSERT_TRUE(runOn(report)) << qPrintable(file);
        ASSERT_TRUE(report.failures().isEmpty()) << qPrintable(report.failures().first().error.description());
        grids << report.hourGrid();
    }
    EXPECT_EQ(grids[0], grids[1]);
    qunsetenv("TALLYROW_MDB_READER");
}

TEST_F(ReportRun, DayReportWithoutConnectionSaysSoAndShowsNoData) {
    useDataFile(env().path(QStringLiteral("missing.yrd")));
    DayReport report;
    report.setInputs(annaMarch());
    runOn(report);
    bool told = false;
    for (const ReportNotice& n : report.notices()) {
        if (n.text == QStringLiteral("Can't open a connection to the database")) {
            told = true;
            EXPECT_EQ(n.title, QStringLiteral("Can't open connection"));
            EXPECT_FALSE(n.warning);
        }
    }
    // The reason came first, as the failure of opening the file, naming it.
    ASSERT_FALSE(report.failures().isEmpty());
    EXPECT_EQ(report.failures().first().steps, QStringList{QStringLiteral("opening the data file")});
    EXPECT_EQ(report.failures().first().error.kind(), ErrorKind::DataSource);
    EXPECT_TRUE(told);
    EXPECT_EQ(report.label(QStringLiteral("lblDateRange"))->caption,
              QStringLiteral("From 3/1/2004 to 3/31/2004"));
    EXPECT_EQ(report.label(QStringLiteral("lblSelectedDays"))->caption,
              QStringLiteral("Days selected: Monday, Wednesday, Sunday"));
    EXPECT_TRUE(report.label(QStringLiteral("lblUserName"))->caption.isEmpty());
    EXPECT_FALSE(report.hasTable());
    EXPECT_EQ(report.dataSource().rowCount(), 0);
}

TEST_F(ReportRun, FailingQueryIsReportedAndLeavingCancelsTheRun) {
    // A data file whose hour 5 cannot be read: the query fails inside the report.
    const QString path = env().path(QStringLiteral("broken.yrd"));
    tallyrow::test::writeBrokenDataFile(path);
    useDataFile(path);

    DayReport day;
    day.setInputs(annaMarch());
    EXPECT_FALSE(runOn(day));
    ASSERT_FALSE(day.failures().isEmpty());
    EXPECT_EQ(day.failures().last().steps.first(), QStringLiteral("preparing the Day report"));
    EXPECT_EQ(day.chartRows().columnCount(), 0); // released

    TotalsReport totals;
    totals.setRange({QDate(2004, 3, 1), QDate(2004, 3, 2)});
    EXPECT_FALSE(runOn(totals));
    ASSERT_FALSE(totals.failures().isEmpty());
    EXPECT_EQ(totals.failures().last().steps.first(), QStringLiteral("preparing the Totals report"));
}

TEST_F(ReportRun, EngineErrorsBecomeOneReportErrorNotice) {
    const ReportNotice n =
        layout::engineErrorNotice(Error(ErrNo::Unexpected, QStringLiteral("Out of paper")));
    EXPECT_EQ(n.title, QStringLiteral("Report error"));
    EXPECT_TRUE(n.warning);
    EXPECT_EQ(n.text,
              QStringLiteral("There was a problem building your report. \r\nDescription: Out of paper"));
}

TEST_F(ReportRun, TotalsCountTheOtherHoursOfADayWithAMissingHour) {
    // anna's row on LAPTOP-B on 10 March 2004 has no value for 9:00.
    const QVector<ActivityRow> rows = test::officeRows();
    double seconds = 0;
    bool hasNull = false;
    for (const ActivityRow& r : rows) {
        if (r.userName == QLatin1String("anna") && r.computerName == QLatin1String("LAPTOP-B") &&
            r.activeDay == dayNumber(QDate(2004, 3, 10))) {
            for (const auto& h : r.hours) {
                seconds += h.value_or(0);
                hasNull = hasNull || !h;
            }
        }
    }
    ASSERT_TRUE(hasNull);
    ASSERT_GT(seconds, 0);
    useDataFile(officeSqlite());
    TotalsReport report;
    // Names compare without case.
    report.setInputs({.range = {QDate(2004, 3, 10), QDate(2004, 3, 10)},
                      .userFilter = QStringLiteral("anna"),
                      .computerFilter = QStringLiteral("laptop-b"),
                      .timeScale = TimeScale::Seconds});
    ASSERT_TRUE(runOn(report));
    ASSERT_EQ(report.periodTotals().size(), 1);
    EXPECT_EQ(report.periodTotals().first().total, seconds);
    EXPECT_EQ(report.rows().value(0, 1).toInt(), static_cast<int>(seconds));
}

TEST_F(ReportRun, TotalsByWeekAddEveryRowOfEachPeriod) {
    const QVector<ActivityRow> rows = test::officeRows();
    useDataFile(officeSqlite());
    TotalsReport report;
    report.setInputs({.range = {QDate(2004, 3, 1), QDate(2004, 3, 31)},
                      .units = 1,
                      .period = TotalsPeriod::Weeks,
                      .showDetails = true,
                      .timeScale = TimeScale::Minutes});
    ASSERT_TRUE(runOn(report));
    ASSERT_EQ(report.periodTotals().size(), 5);
    for (int p = 0; p < 5; ++p) {
        const int first = 1521 + 7 * p;
        double seconds = 0;
        for (const ActivityRow& r : rows) {
            if (r.activeDay >= first && r.activeDay <= first + 6) {
                for (const auto& h : r.hours)
                    seconds += h.value_or(0);
            }
        }
        EXPECT_DOUBLE_EQ(report.periodTotals()[p].total, seconds / 60) << p;
        EXPECT_EQ(report.periodTotals()[p].shown, static_cast<int>(roundHalfEven(seconds / 60))) << p;
    }
    // The last period runs to 4 April (day 1555) although the range ends on 31 March.
    EXPECT_EQ(DayRange::upTo(report.periods().last().start, report.periods().last().next),
              (DayRange{1549, 1555}));
    EXPECT_EQ(report.label(QStringLiteral("lblGroup"))->caption,
              QStringLiteral("Grouped into 1 week periods"));
    EXPECT_EQ(report.label(QStringLiteral("lblUserComputer"))->caption,
              QStringLiteral("For all users on any computer"));
    EXPECT_EQ(report.rows().value(0, 0).toString(), QStringLiteral("3/1/2004"));
    // The page names the last period's real end under and in the table; the CSV keeps its start.
    EXPECT_EQ(report.rows().value(4, 0).toString(), QStringLiteral("3/29/2004 \u2013 4/4/2004"));
    EXPECT_EQ(itemTexts(report.pages(), QStringLiteral("lblLastPeriod")),
              QStringList{QStringLiteral("The last week runs past the end date to 4/4/2004.")});
    EXPECT_TRUE(report.tableCsv().endsWith(QByteArray("2004-03-29,") +
                                           QByteArray::number(report.periodTotals().last().shown) + "\r\n"));
    EXPECT_EQ(report.inputs().period, TotalsPeriod::Weeks); // the inputs stay as they were given
    const engine::Chart* chart = report.chart(QStringLiteral("chrtReport"));
    EXPECT_EQ(chart->definition.axes[1].title, QStringLiteral("Active minutes"));
    EXPECT_EQ(chart->definition.axes[0].majorGridStyle, 1); // up to 12 rows keep the definition's axis
    EXPECT_EQ(chart->definition.axes[0].tickStyle, 1);
    EXPECT_TRUE(report.Detail().visible);
}

TEST_F(ReportRun, TotalsWithUnitsZeroRunDailyAndHideGridBeyondTwelveRows) {
    useDataFile(officeSqlite());
    TotalsReport report;
    report.setInputs(
        {.range = {QDate(2004, 3, 1), QDate(2004, 3, 31)}, .units = 0, .period = TotalsPeriod::Days});
    ASSERT_TRUE(runOn(report));
    EXPECT_EQ(report.label(QStringLiteral("lblGroup"))->caption,
              QStringLiteral("Grouped into 0 day periods"));
    EXPECT_EQ(report.rows().rowCount(), 31);
    EXPECT_EQ(DayRange::upTo(report.periods().first().start, report.periods().first().next),
              (DayRange{1521, 1521}));
    const engine::Chart* chart = report.chart(QStringLiteral("chrtReport"));
    EXPECT_EQ(chart->definition.axes[0].majorGridStyle, 0);
    EXPECT_EQ(chart->definition.axes[0].tickStyle, 0);
    EXPECT_FALSE(report.Detail().visible || report.PageHeader().visible || report.ReportFooter().visible);
}

TEST_F(ReportRun, TotalsBeyondTheThirtyTwoBitRangeAreShownInFull) {
    // A year of seconds for a large office: 70 people active around the clock every day of 2004
    // make 70 × 366 × 86,400 s, more than 2^31.
    QVector<ActivityRow> rows;
    const int first = dayNumber(QDate(2004, 1, 1));
    for (int u = 0; u < 70; ++u) {
        for (int d = 0; d < 366; ++d)
            rows << test::uniformRow(first + d, QStringLiteral("user%1").arg(u), QStringLiteral("PC"), 3600);
    }
    const QString path = env().path(QStringLiteral("large.yrd"));
    test::writeSqliteDataFile(path, rows);
    useDataFile(path);
    TotalsReport report;
    report.setInputs({.range = {QDate(2004, 1, 1), QDate(2004, 12, 31)},
                      .period = TotalsPeriod::Years,
                      .showDetails = true,
                      .timeScale = TimeScale::Seconds});
    ASSERT_TRUE(runOn(report));
    const qint64 expected = 70LL * 366 * 86400;
    ASSERT_EQ(report.periodTotals().size(), 1);
    EXPECT_EQ(report.periodTotals().first().shown, expected);
    EXPECT_EQ(itemTexts(report.pages(), QStringLiteral("txtTotal")), QStringList{QString::number(expected)});
    EXPECT_EQ(itemTexts(report.pages(), QStringLiteral("txtGrandTotal")),
              QStringList{QString::number(expected)});
    EXPECT_TRUE(reportCsv(report).endsWith("2004-01-01," + QByteArray::number(expected) + "\r\n"));
}

TEST_F(ReportRun, TotalsWithoutConnectionHaveNoRowsAndNoMessage) {
    useDataFile(env().path(QStringLiteral("missing.yrd")));
    TotalsReport report;
    report.setRange({QDate(2004, 3, 1), QDate(2004, 3, 31)});
    runOn(report);
    for (const ReportNotice& n : report.notices())
        EXPECT_NE(n.text, QStringLiteral("Can't open a connection to the database"));
    EXPECT_EQ(report.rows().rowCount(), 0);
    EXPECT_TRUE(report.label(QStringLiteral("lblUserComputer"))->caption.isEmpty());
    EXPECT_EQ(reportCsv(report), QByteArray("Period,Total\r\n"));
}

TEST_F(ReportRun, CsvHoldsTheTablesOfBothReports) {
    useDataFile(officeSqlite());
    DayReport day;
    DayReportInputs in = annaMarch();
    in.showDetails = false;
    day.setInputs(in);
    ASSERT_TRUE(runOn(day));
    const QList<QByteArray> lines = reportCsv(day).split('\n');
    ASSERT_EQ(lines.size(), 26); // header, 24 rows, and the empty text after the last line end
    EXPECT_EQ(lines[0], QByteArray("Time,Monday,Wednesday,Sunday,All Days,Total\r"));
    const engine::RowSet table = day.tableRows();
    const int h = 9;
    const int total = table.value(h, 1).toInt() + table.value(h, 2).toInt() + table.value(h, 3).toInt();
    EXPECT_EQ(lines[1 + h], QStringLiteral("9:00 AM,%1,%2,%3,%4,%5\r")
                                .arg(table.value(h, 1).toInt())
                                .arg(table.value(h, 2).toInt())
                                .arg(table.value(h, 3).toInt())
                                .arg(table.value(h, 4).toInt())
                                .arg(total)
                                .toUtf8());

    TotalsReport totals;
    totals.setInputs({.range = {QDate(2004, 1, 31), QDate(2004, 3, 1)}, .period = TotalsPeriod::Months});
    ASSERT_TRUE(runOn(totals));
    const QList<QByteArray> t = reportCsv(totals).split('\n');
    ASSERT_GE(t.size(), 3);
    EXPECT_EQ(t[0], QByteArray("Period,Total\r"));
    EXPECT_TRUE(t[1].startsWith("2004-01-31,"));
    EXPECT_TRUE(t[2].startsWith("2004-02-29,"));

    const QString file = env().path(QStringLiteral("out.csv"));
    writeReportCsv(totals, file);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), reportCsv(totals));
    try {
        writeReportCsv(totals, env().path(QStringLiteral("no/such/folder/out.csv")));
        FAIL() << "writing into a missing folder must fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.steps().first(), QStringLiteral("writing the CSV file"));
        EXPECT_TRUE(e.description().contains(QStringLiteral("out.csv")));
    }
}

TEST_F(ReportRun, ReportsReadOnlyTheDataFileTheyAreGiven) {
    // The session's data file is the window's business: a report without a source of its own
    // must not fall back on it, and a report with one must not be swayed by it.
    const QString office = officeSqlite();
    session().dataPath = office;
    session().commandLineDataPath = office;
    DayReport day;
    day.setInputs(annaMarch());
    day.Run();
    EXPECT_FALSE(day.hasTable());
    TotalsReport totals;
    totals.setRange({QDate(2004, 3, 1), QDate(2004, 3, 31)});
    totals.Run();
    EXPECT_FALSE(totals.hasTable());
    EXPECT_TRUE(totals.periodTotals().isEmpty());

    session().dataPath = env().path(QStringLiteral("missing.yrd"));
    session().commandLineDataPath = session().dataPath;
    useDataFile(office);
    ASSERT_TRUE(runOn(totals));
    EXPECT_TRUE(totals.hasTable());
    EXPECT_FALSE(totals.periodTotals().isEmpty());
    session().dataPath.clear();
    session().commandLineDataPath.clear();
}

TEST_F(ReportRun, TableInterfaceGivesEachReportsOwnTable) {
    useDataFile(officeSqlite());
    DayReport day;
    day.setInputs(annaMarch());
    ASSERT_TRUE(runOn(day));
    TotalsReport totals;
    totals.setRange({QDate(2004, 3, 1), QDate(2004, 3, 10)});
    ASSERT_TRUE(runOn(totals));
    const engine::Report* reports[] = {&day, &totals};
    for (const engine::Report* report : reports) {
        const TableReport* table = asTableReport(report);
        ASSERT_NE(table, nullptr);
        EXPECT_TRUE(table->hasTable());
    }
    EXPECT_EQ(asTableReport<engine::Report>(&day)->tableCsv(), reportCsv(day));
    EXPECT_EQ(asTableReport<engine::Report>(&totals)->tableCsv(), reportCsv(totals));
    const engine::RowSet rows = totals.tableRows();
    ASSERT_EQ(rows.rowCount(), totals.periodTotals().size());
    EXPECT_EQ(rows.value(9, 0).toString(), QStringLiteral("2004-03-10"));
    EXPECT_EQ(rows.value(9, 1).toLongLong(), totals.periodTotals()[9].shown);
}

TEST(Csv, FieldsAreQuotedOnlyWhenNeeded) {
    EXPECT_EQ(csvField(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_EQ(csvField(QStringLiteral("a,b")), QStringLiteral("\"a,b\""));
    EXPECT_EQ(csvField(QStringLiteral("say \"hi\"")), QStringLiteral("\"say \"\"hi\"\"\""));
    EXPECT_EQ(csvField(QStringLiteral("two\nlines")), QStringLiteral("\"two\nlines\""));
}

namespace {

/// The chart of the report's first page as drawn, laid out at its size on the page.
engine::ChartLayout pageChartLayout(const engine::PageCollection& pages) {
    for (const engine::PageItem& item : pages.pages.value(0).items) {
        if (const auto* chart = std::get_if<engine::ChartItem>(&item))
            return engine::layoutChart(chart->chart, QRectF(QPointF(), chart->rect.size()));
    }
    ADD_FAILURE() << "no chart on the first page";
    return {};
}

double plotX(const engine::ChartLayout& l, double x) {
    return l.plotRect.left() + (x - l.xMin) / (l.xMax - l.xMin) * l.plotRect.width();
}

} // namespace

TEST_F(ReportRun, DayXYChartPlotsEachHourAtItsHour) {
    useDataFile(officeSqlite());
    DayReport report;
    DayReportInputs in = annaMarch();
    in.chartType = engine::ChartType::XY2D;
    report.setInputs(in);
    ASSERT_TRUE(runOn(report));
    const engine::ChartLayout l = pageChartLayout(report.pages());
    ASSERT_FALSE(l.lines.isEmpty());
    const QVector<QPointF>& points = l.lines.first().points;
    ASSERT_EQ(points.size(), 24);
    for (int h = 0; h < 24; ++h)
        EXPECT_NEAR(points.at(h).x(), plotX(l, h), 0.01) << "midnight is 0, 11 PM is 23";
    ASSERT_FALSE(l.categoryLabels.isEmpty());
    EXPECT_EQ(l.categoryLabels.first().text, hourLabel(0));
    EXPECT_NEAR(l.categoryLabels.first().rect.center().x(), plotX(l, 0), 1);
}

TEST_F(ReportRun, DayPieSlicesTheWeekdaysAndLeavesTheirAverageOut) {
    useDataFile(officeSqlite());
    for (const int showEachDay : {2, 0}) {
        SCOPED_TRACE(showEachDay);
        DayReport report;
        DayReportInputs in = annaMarch();
        in.chartType = engine::ChartType::Pie2D;
        in.columns = DayColumns(showEachDay);
        report.setInputs(in);
        ASSERT_TRUE(runOn(report));
        QStringList slices;
        for (const auto& entry : pageChartLayout(report.pages()).legend)
            slices << entry.text;
        // Beside the weekdays "All Days" is no share of them; alone it is a pie of its hours.
        const QStringList expected =
            showEachDay == 2
                ? QStringList{QStringLiteral("Monday"), QStringLiteral("Wednesday"), QStringLiteral("Sunday")}
                : QStringList{QStringLiteral("All Days")};
        EXPECT_EQ(slices, expected);
        EXPECT_EQ(report.chartRows().columnIndex(QStringLiteral("All Days")),
                  report.chartRows().columnCount() - 1)
            << "the chart's rows keep every column";
    }
}

TEST_F(ReportRun, TotalsXYChartPlotsEachPeriodAtItsDate) {
    useDataFile(officeSqlite());
    TotalsReport report;
    report.setInputs({.range = {QDate(2004, 1, 1), QDate(2004, 4, 30)},
                      .units = 1,
                      .period = TotalsPeriod::Months,
                      .chartType = engine::ChartType::XY2D});
    ASSERT_TRUE(runOn(report));
    const engine::ChartLayout l = pageChartLayout(report.pages());
    ASSERT_EQ(l.lines.size(), 1);
    const QVector<QPointF>& points = l.lines.first().points;
    ASSERT_EQ(points.size(), 4);
    // January has 31 days, February 29 (2004), March 31: the gaps follow the calendar.
    EXPECT_NEAR((points.at(1).x() - points.at(0).x()) / (points.at(2).x() - points.at(1).x()), 31.0 / 29.0,
                1e-6);
    EXPECT_NEAR((points.at(3).x() - points.at(2).x()) / (points.at(2).x() - points.at(1).x()), 31.0 / 29.0,
                1e-6);
    ASSERT_FALSE(l.categoryLabels.isEmpty());
    EXPECT_EQ(l.categoryLabels.first().text, report.rows().value(0, 0).toString())
        << "labelled with the dates";
    EXPECT_NEAR(l.categoryLabels.first().rect.center().x(), points.at(0).x(), 1);
}
