// The generator and the template are what a new user first sees: they must give valid data files.
#include "testsupport/TestEnv.h"

#include "datafile/Connection.h"

#include <QCryptographicHash>
#include <QFile>
#include <QDate>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyrow;
using namespace tallyrow::test;

namespace {

std::unique_ptr<Connection> open(const QString& path) {
    auto cn = std::make_unique<Connection>();
    cn->Open(u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source="_s + path +
             u"; Jet OLEDB:Database Password = "_s);
    return cn;
}

int generate(const QStringList& args) {
    QProcess p;
    p.start(binPath(u"tallyrow-sample-data"_s), args);
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QByteArray hashOf(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
}

} // namespace

TEST(SampleData, TheTemplateIsAnEmptyDataFile) {
    ensureCoreApp();
    auto cn = open(binPath(u"empty.yrt"_s));
    EXPECT_TRUE(
        cn->Execute(u"select distinct username, computername from activity ORDER BY UserName"_s)->atEnd());
}

TEST(SampleData, AnOfficeWithWorkingDaysSharedDesksAndLaptops) {
    ensureCoreApp();
    QTemporaryDir dir;
    const QString file = dir.filePath(u"demo.yrd"_s);
    const QStringList args = {u"--output"_s, file,        u"--users"_s,    u"6"_s,    u"--computers"_s,
                              u"5"_s,        u"--from"_s, u"2024-01-01"_s, u"--to"_s, u"2024-03-31"_s,
                              u"--seed"_s,   u"7"_s};
    ASSERT_EQ(generate(args), 0);
    auto cn = open(file);
    // Weekdays carry far more activity than weekends (remainders 0 Saturday, 1 Sunday).
    auto rs = cn->Execute(
        u"SELECT [ActiveDay] Mod 7 AS D, Count(*) AS N, Sum(H10) AS S, Max(H10) AS M, "
        "Min(ActiveDay) AS First, Max(ActiveDay) AS Last FROM Activity GROUP BY [ActiveDay] Mod 7"_s);
    QMap<int, qlonglong> rowsPerWeekday;
    for (; !rs->atEnd(); rs->next()) {
        rowsPerWeekday[rs->field(u"D"_s).toInt()] = rs->field(u"N"_s).toLongLong();
        EXPECT_LE(rs->field(u"M"_s).toInt(), 3600);
        EXPECT_GE(rs->field(u"First"_s).toInt(), 8766); // 1 January 2024
        EXPECT_LE(rs->field(u"Last"_s).toInt(), 8856);  // 31 March 2024
    }
    EXPECT_GT(rowsPerWeekday[2], 4 * rowsPerWeekday[0]);
    EXPECT_GT(rowsPerWeekday[4], 4 * rowsPerWeekday[1]);
    // Lunch is quieter than the morning, nights are empty.
    rs = cn->Execute(u"SELECT Avg(H10) AS Morning, Avg(H12) AS Lunch, Sum(H3) AS Night FROM Activity "
                     "WHERE ActiveDay Mod 7 In (2,3,4,5,6)"_s);
    EXPECT_GT(rs->field(u"Morning"_s).toDouble(), rs->field(u"Lunch"_s).toDouble());
    EXPECT_EQ(rs->field(u"Night"_s).toInt(), 0);
    // Some desks are shared and someone works on two computers: the user list has both groups.
    EXPECT_FALSE(cn->Execute(u"SELECT ComputerName, Count(UserName) AS TotaUsers  FROM (SELECT DISTINCT "
                             "Activity.UserName, Activity.ComputerName FROM Activity) GROUP BY ComputerName "
                             "HAVING Count(UserName)>1 ORDER BY ComputerName"_s)
                     ->atEnd());
    EXPECT_FALSE(cn->Execute(u"SELECT UserName, Count(ComputerName) AS TotalComputers  FROM (SELECT DISTINCT "
                             "Activity.UserName, Activity.ComputerName FROM Activity)  GROUP BY UserName "
                             "HAVING Count(ComputerName)>1 ORDER BY UserName"_s)
                     ->atEnd());
    cn.reset();

    // The same seed gives the same file; --rows gives exactly that many rows.
    const QString again = dir.filePath(u"again.yrd"_s);
    QStringList argsAgain = args;
    argsAgain[1] = again;
    ASSERT_EQ(generate(argsAgain), 0);
    EXPECT_EQ(hashOf(again), hashOf(file));
    const QString counted = dir.filePath(u"counted.yrd"_s);
    ASSERT_EQ(generate({u"--output"_s, counted, u"--rows"_s, u"1234"_s, u"--to"_s, u"2024-03-31"_s}), 0);
    EXPECT_EQ(open(counted)->Execute(u"SELECT Count(*) AS N FROM Activity"_s)->field(u"N"_s).toInt(), 1234);

    EXPECT_NE(generate({u"--output"_s, file, u"--users"_s, u"zero"_s}), 0);
    EXPECT_NE(generate({u"--users"_s, u"3"_s}), 0);

    // More rows than the range holds: the range is kept (a year up to --to), and it says so.
    QProcess many;
    many.start(binPath(u"tallyrow-sample-data"_s),
               {u"--output"_s, counted, u"--rows"_s, u"1000000"_s, u"--to"_s, u"2024-03-31"_s});
    ASSERT_TRUE(many.waitForFinished(60000));
    EXPECT_EQ(many.exitCode(), 0);
    EXPECT_TRUE(many.readAllStandardError().contains("the range holds"));
    EXPECT_EQ(open(counted)->Execute(u"SELECT Min(ActiveDay) AS D FROM Activity"_s)->field(u"D"_s).toInt(),
              QDate(2000, 1, 1).daysTo(QDate(2023, 4, 1)));

    QProcess help;
    help.start(binPath(u"tallyrow-sample-data"_s), {u"--help"_s});
    ASSERT_TRUE(help.waitForFinished(10000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().contains("--rows N"));
}
