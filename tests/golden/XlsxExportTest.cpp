// Excel workbooks from tallyrow-export, read back by readers we did not write: openpyxl for
// the cells, formulas, frozen pane and charts, LibreOffice for the figures with the formulas
// evaluated. The figures must be those of the expected CSV files (make_expected.py).

#include "testsupport/SystemTools.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using tallyrow::test::binPath;
using tallyrow::test::fixturePath;

const QString kPython = u"/usr/bin/python3"_s;
const QString kReader = QStringLiteral(TALLYROW_GOLDEN_DIR "/read_xlsx.py");

using tallyrow::test::ProgramRun;
using tallyrow::test::runProgram;

bool haveOpenpyxl() {
    return QFileInfo::exists(kPython) &&
           runProgram(kPython, {u"-c"_s, u"import openpyxl"_s}, QProcessEnvironment::systemEnvironment())
                   .exitCode == 0;
}

class XlsxExport : public ::testing::Test {
protected:
    void SetUp() override {
        tallyrow::test::ensureCoreApp();
        if (!haveOpenpyxl())
            GTEST_SKIP() << "/usr/bin/python3 with openpyxl is not installed";
    }

    ProgramRun tool(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"LC_ALL"_s, u"en_US.UTF-8"_s);
        env.insert(u"LANG"_s, u"en_US.UTF-8"_s);
        env.insert(u"HOME"_s, m_dir.path());
        env.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        env.remove(u"QT_QPA_PLATFORM"_s);
        return runProgram(binPath(u"tallyrow-export"_s), args, env);
    }

    // Writes the workbook of one report from the Jet fixture; false (with a failure) when the
    // tool did not.
    bool exportXlsx(const QStringList& reportArgs, const QString& file) {
        const ProgramRun r = tool(QStringList{u"--data"_s, fixturePath(u"office.mdb"_s)} + reportArgs +
                                  QStringList{u"--format"_s, u"xlsx"_s, u"--output"_s, file});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty() && r.err.isEmpty()) << r.out.constData() << r.err.constData();
        return r.exitCode == 0;
    }

    static QJsonObject read(const QStringList& args) {
        const ProgramRun r =
            runProgram(kPython, QStringList{kReader} + args, QProcessEnvironment::systemEnvironment());
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        return QJsonDocument::fromJson(r.out).object();
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // LibreOffice's CSV of each workbook (formulas evaluated) in the folder "converted".
    void convertWithLibreOffice(const QStringList& workbooks) {
        QDir().mkpath(path(u"converted"_s));
        const ProgramRun converted = runProgram(
            u"soffice"_s,
            QStringList{u"-env:UserInstallation="_s + QUrl::fromLocalFile(path(u"lo-profile"_s)).toString(),
                        u"--headless"_s, u"--norestore"_s, u"--convert-to"_s,
                        u"csv:Text - txt - csv (StarCalc):44,34,76"_s, u"--outdir"_s, path(u"converted"_s)} +
                workbooks,
            QProcessEnvironment::systemEnvironment());
        ASSERT_EQ(converted.exitCode, 0) << converted.err.constData();
    }

    QTemporaryDir m_dir;
};

QJsonArray goldenCases() {
    QFile f(QStringLiteral(TALLYROW_GOLDEN_DIR "/cases.json"));
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).array() : QJsonArray();
}

QStringList argsOf(const QJsonObject& c) {
    QStringList args;
    for (const QJsonValue& v : c.value(u"args"_s).toArray())
        args << v.toString();
    return args;
}

// The rows of an expected CSV file, heading first.
QList<QStringList> expectedRows(const QString& name) {
    QFile f(QStringLiteral(TALLYROW_GOLDEN_DIR "/expected/") + name + u".csv"_s);
    QList<QStringList> rows;
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts))
        rows << line.split(u',');
    return rows;
}

QList<QStringList> tableOf(const QJsonObject& read) {
    QList<QStringList> rows;
    for (const QJsonValue& row : read.value(u"table"_s).toArray()) {
        QStringList fields;
        for (const QJsonValue& v : row.toArray())
            fields << v.toString();
        rows << fields;
    }
    return rows;
}

// Column sums of the expected figures: what the "Totals" row must come to.
QStringList expectedTotals(const QList<QStringList>& rows) {
    QStringList totals;
    for (int c = 1; !rows.isEmpty() && c < rows.first().size(); ++c) {
        qint64 sum = 0;
        for (int r = 1; r < rows.size(); ++r)
            sum += rows[r].value(c).toLongLong();
        totals << QString::number(sum);
    }
    return totals;
}

QStringList strings(const QJsonValue& array) {
    QStringList out;
    for (const QJsonValue& v : array.toArray())
        out << v.toString();
    return out;
}

} // namespace

TEST_F(XlsxExport, EveryGoldenCaseGivesTheExpectedFiguresAsCellsAndFormulas) {
    const QJsonArray cases = goldenCases();
    ASSERT_GE(cases.size(), 10);
    QStringList workbooks;
    for (const QJsonValue& v : cases) {
        const QJsonObject c = v.toObject();
        const QString name = c.value(u"name"_s).toString();
        SCOPED_TRACE(qPrintable(name));
        const QString file = path(name + u".xlsx"_s);
        if (!exportXlsx(argsOf(c), file))
            continue;
        // The Users report's workbook has no row formulas or date column; its figures are the
        // CSV's, which the golden CSV cases check.
        if (name.startsWith(u"users"_s))
            continue;
        workbooks << file;

        const QList<QStringList> expected = expectedRows(name);
        ASSERT_FALSE(expected.isEmpty());
        const bool day = name.startsWith(u"day"_s);
        const QJsonObject book = read({file});
        EXPECT_EQ(book.value(u"sheets"_s).toInt(), 1);
        EXPECT_EQ(strings(book.value(u"header"_s)).value(0),
                  day ? u"Tallyrow Day Report"_s : u"Tallyrow Totals Report"_s);
        EXPECT_TRUE(strings(book.value(u"header"_s)).value(1).startsWith(u"From "_s));
        const int headingRow = book.value(u"headingRow"_s).toInt();
        EXPECT_EQ(book.value(u"freeze"_s).toString(), u"B"_s + QString::number(headingRow + 1));
        EXPECT_EQ(book.value(u"autoFilter"_s).toString(),
                  u"A%1:%2%3"_s.arg(headingRow)
                      .arg(QChar(char16_t(u'A' + expected.first().size() - 1)))
                      .arg(headingRow + expected.size() - 1));

        // Headings once, then the figures; the row totals of the Day report are formulas.
        const QList<QStringList> table = tableOf(book);
        ASSERT_EQ(table.size(), expected.size());
        EXPECT_EQ(table.first(), expected.first());
        for (int r = 1; r < table.size(); ++r) {
            const int compared = day ? expected[r].size() - 1 : expected[r].size();
            EXPECT_EQ(table[r].mid(0, compared), expected[r].mid(0, compared)) << "row " << r;
        }
        const QStringList types = strings(book.value(u"types"_s));
        QStringList expectedTypes;
        if (day) {
            expectedTypes << u"s"_s;
            for (int c = 1; c < expected.first().size() - 1; ++c)
                expectedTypes << u"n"_s;
            expectedTypes << u"f"_s;
            const QStringList rowFormulas = strings(book.value(u"rowFormulas"_s));
            EXPECT_EQ(rowFormulas.value(0),
                      u"=SUM(B%1:%2%1)"_s.arg(QString::number(headingRow + 1),
                                              QString(QChar(char16_t(u'A' + expected.first().size() - 3)))));
        } else {
            // The period's date, then its figures: "Total", and "Previous" when comparing.
            expectedTypes << u"d"_s;
            for (int c = 1; c < expected.first().size(); ++c)
                expectedTypes << u"n"_s;
        }
        EXPECT_EQ(types, expectedTypes);
        EXPECT_EQ(strings(book.value(u"numberFormats"_s)),
                  (day ? QStringList{u"#,##0"_s} : QStringList{u"#,##0"_s, u"yyyy-mm-dd"_s}));
        for (const QString& total : strings(book.value(u"totals"_s)))
            EXPECT_TRUE(total.startsWith(u"=SUM("_s)) << total.toStdString();
        EXPECT_EQ(strings(book.value(u"totals"_s)).size(), expected.first().size() - 1);
        for (const QJsonValue& width : book.value(u"widths"_s).toArray())
            EXPECT_GE(width.toDouble(), 9.0);
        const QJsonArray charts = book.value(u"charts"_s).toArray();
        ASSERT_EQ(charts.size(), 1);
        EXPECT_GE(charts.first().toObject().value(u"series"_s).toInt(), 1);
    }

    // LibreOffice evaluates the formulas: the same table, and totals that add up.
    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty())
        GTEST_SKIP() << "soffice is not installed; the evaluated figures cannot be checked";
    const QString outDir = path(u"converted"_s);
    ASSERT_NO_FATAL_FAILURE(convertWithLibreOffice(workbooks));
    for (const QString& workbook : workbooks) {
        const QString name = QFileInfo(workbook).completeBaseName();
        SCOPED_TRACE(qPrintable(name));
        const QJsonObject sheet = read({u"--csv"_s, QDir(outDir).filePath(name + u".csv"_s)});
        const QList<QStringList> expected = expectedRows(name);
        EXPECT_EQ(tableOf(sheet), expected);
        EXPECT_EQ(strings(sheet.value(u"totals"_s)), expectedTotals(expected));
    }
}

TEST_F(XlsxExport, DaysBeforeMarch1900AreTextInTheDateFormatSoNoReaderShowsAFalseDate) {
    // Serials of the days before 1 March 1900 are 0 and below, or days Excel and LibreOffice
    // read differently; the first day with one both read alike is 1 March 1900.
    const QString file = path(u"old.xlsx"_s);
    ASSERT_TRUE(exportXlsx(
        {u"--report"_s, u"totals"_s, u"--from"_s, u"1900-02-27"_s, u"--to"_s, u"1900-03-02"_s}, file));
    const QStringList days{u"1900-02-27"_s, u"1900-02-28"_s, u"1900-03-01"_s, u"1900-03-02"_s};
    auto firstColumn = [](const QJsonObject& read) {
        QStringList column;
        for (const QStringList& row : tableOf(read).mid(1))
            column << row.value(0);
        return column;
    };
    const QJsonObject book = read({file});
    EXPECT_EQ(firstColumn(book), days);
    EXPECT_EQ(strings(book.value(u"types"_s)).value(0), u"ds"_s) << "text before March 1900, dates after";

    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty())
        GTEST_SKIP() << "soffice is not installed; what it shows cannot be checked";
    ASSERT_NO_FATAL_FAILURE(convertWithLibreOffice({file}));
    EXPECT_EQ(firstColumn(read({u"--csv"_s, path(u"converted/old.csv"_s)})), days);
}

TEST_F(XlsxExport, ChartsAreNativeChartsOfTheNearestKind) {
    struct Case {
        const char* chart;
        const char* shows;
        const char* type;
        int series;
    } cases[] = {
        {"2D Bar", "both", "BarChart", 3},      {"3D Bar", "each", "BarChart", 2},
        {"2D Line", "average", "LineChart", 1}, {"3D Line", "both", "LineChart", 3},
        {"2D Area", "both", "AreaChart", 3},    {"3D Area", "each", "AreaChart", 2},
        {"2D Step", "both", "LineChart", 3},    {"3D Combination", "both", "BarChart", 3},
        {"2D Pie", "average", "PieChart", 1},   {"2D Pie", "each", "PieChart", 1},
        {"2D XY", "both", "ScatterChart", 3},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(QLatin1String(c.chart) + u" "_s + QLatin1String(c.shows)));
        const QString file = path(u"chart%1.xlsx"_s.arg(n++));
        if (!exportXlsx({u"--report"_s, u"day"_s, u"--from"_s, u"2004-03-01"_s, u"--to"_s, u"2004-03-31"_s,
                         u"--days"_s, u"mon,fri"_s, u"--chart"_s, QLatin1String(c.chart), u"--chart-shows"_s,
                         QLatin1String(c.shows)},
                        file))
            continue;
        const QJsonArray charts = read({file}).value(u"charts"_s).toArray();
        ASSERT_EQ(charts.size(), 1);
        EXPECT_EQ(charts.first().toObject().value(u"type"_s).toString(), QLatin1String(c.type));
        EXPECT_EQ(charts.first().toObject().value(u"series"_s).toInt(), c.series);
    }

    // The Totals report charts its one column over the period dates.
    const QString totals = path(u"totals.xlsx"_s);
    ASSERT_TRUE(exportXlsx({u"--report"_s, u"totals"_s, u"--from"_s, u"2004-03-01"_s, u"--to"_s,
                            u"2004-03-31"_s, u"--chart"_s, u"3D Line"_s},
                           totals));
    const QJsonArray charts = read({totals}).value(u"charts"_s).toArray();
    ASSERT_EQ(charts.size(), 1);
    EXPECT_EQ(charts.first().toObject().value(u"type"_s).toString(), u"LineChart"_s);
    EXPECT_EQ(charts.first().toObject().value(u"series"_s).toInt(), 1);
    EXPECT_EQ(charts.first().toObject().value(u"categoryFormat"_s).toString(), u"yyyy-mm-dd"_s);

    // The Users report's bars lie down, the largest line on top as on the page.
    const QString users = path(u"users.xlsx"_s);
    ASSERT_TRUE(exportXlsx(
        {u"--report"_s, u"users"_s, u"--from"_s, u"2004-03-01"_s, u"--to"_s, u"2004-03-31"_s}, users));
    const QJsonObject bars = read({users}).value(u"charts"_s).toArray().first().toObject();
    EXPECT_EQ(bars.value(u"type"_s).toString(), u"BarChart"_s);
    EXPECT_EQ(bars.value(u"barDirection"_s).toString(), u"bar"_s);
    EXPECT_EQ(bars.value(u"categoryOrder"_s).toString(), u"maxMin"_s);
}

TEST_F(XlsxExport, RefusedAndFailedWritesLeaveNoWorkbook) {
    // A report document does not keep the table the workbook is made of.
    ProgramRun r =
        tool({u"--document"_s, path(u"a.rdf"_s), u"--format"_s, u"xlsx"_s, u"--output"_s, path(u"x.xlsx"_s)});
    EXPECT_EQ(r.exitCode, 2) << r.err.constData();
    EXPECT_TRUE(r.err.contains("xlsx holds a report's table")) << r.err.constData();

    r = tool({u"--data"_s, fixturePath(u"office.mdb"_s), u"--report"_s, u"totals"_s, u"--from"_s,
              u"2004-03-01"_s, u"--to"_s, u"2004-03-31"_s, u"--format"_s, u"xlsx"_s, u"--output"_s,
              path(u"no/such/folder/x.xlsx"_s)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("cannot write the report to") && r.err.contains("x.xlsx"))
        << r.err.constData();
    EXPECT_FALSE(QFile::exists(path(u"no/such/folder/x.xlsx"_s)));
}

// A share and a count of active days do not add up across people: the Totals row leaves them
// empty. A comparing Totals workbook says the change of its totals, as the page does.
TEST_F(XlsxExport, OnlyFiguresThatAddUpAreTotalledAndAComparisonSaysItsChange) {
    const QString users = path(u"users.xlsx"_s);
    ASSERT_TRUE(exportXlsx(
        {u"--report"_s, u"users"_s, u"--from"_s, u"2004-02-23"_s, u"--to"_s, u"2004-07-04"_s}, users));
    const QStringList totals = strings(read({users}).value(u"totals"_s));
    ASSERT_EQ(totals.size(), 3);
    EXPECT_TRUE(totals[0].startsWith(u"=SUM("_s));
    EXPECT_EQ(totals.mid(1), (QStringList{u""_s, u""_s}));

    const QString compare = path(u"compare.xlsx"_s);
    ASSERT_TRUE(
        exportXlsx({u"--report"_s, u"totals"_s, u"--from"_s, u"2004-04-01"_s, u"--to"_s, u"2004-05-31"_s,
                    u"--period"_s, u"months"_s, u"--scale"_s, u"hours"_s, u"--compare"_s},
                   compare));
    EXPECT_TRUE(read({compare}).value(u"change"_s).toString().startsWith(u"=IF("_s));
    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty())
        GTEST_SKIP() << "soffice is not installed; the evaluated change cannot be checked";
    ASSERT_NO_FATAL_FAILURE(convertWithLibreOffice({compare}));
    const QJsonObject sheet = read({u"--csv"_s, path(u"converted/compare.csv"_s)});
    const QStringList figures = strings(sheet.value(u"totals"_s));
    ASSERT_EQ(figures.size(), 2);
    const double now = figures[0].toDouble();
    const double before = figures[1].toDouble();
    ASSERT_GT(before, 0);
    EXPECT_EQ(sheet.value(u"change"_s).toString(), QLocale(QLocale::English)
                                                           .toString((now - before) / before * 100.0, 'f', 1)
                                                           .prepend(now >= before ? u"+"_s : u""_s) +
                                                       u"%"_s);
}
