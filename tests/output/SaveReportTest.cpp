#include "output/SaveReport.h"

#include "TestPages.h"
#include "Tools.h"

#include "output/XlsxExport.h"
#include "reports/ReportCsv.h"
#include "reports/DayReport.h"
#include "reports/TotalsReport.h"
#include "support/Error.h"
#include "testsupport/SystemTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace tallyrow;
using namespace tallyrow::testtools;

namespace {

QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

TEST(SaveReport, EachFormatCodeWritesItsKindOfFile) {
    QTemporaryDir dir;
    const auto doc = testpages::dayReport(24, 12);
    const struct {
        ReportFormat format;
        const char* name;
        QByteArray start;
    } cases[] = {
        {ReportFormat::Rdf, "a.rdf", QByteArray("\x89TRDF", 5)},
        {ReportFormat::Pdf, "a.pdf", "%PDF-"},
        {ReportFormat::Txt, "a.txt", " Tallyrow Day Report"},
        {ReportFormat::Rtf, "a.rtf", "{\\rtf1"},
        {ReportFormat::Xls, "a.xls", QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)},
        {ReportFormat::Html, "a.html", "<!DOCTYPE html>"},
        {static_cast<ReportFormat>(8), "eight.pdf",
         QByteArray("\x89TRDF", 5)}, // unknown codes write the report document
        {static_cast<ReportFormat>(-1), "minus", QByteArray("\x89TRDF", 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        ASSERT_TRUE(saveReport(doc, path, c.format));
        EXPECT_TRUE(readFile(path).startsWith(c.start)) << readFile(path).left(30).toStdString();
    }
    EXPECT_EQ(folderEntries(dir.path()).size(), 8); // no temporary files left
}

TEST(SaveReport, SavingOverAFileReplacesIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.txt"));
    writeFile(path, QByteArray(100000, 'x'));
    ASSERT_TRUE(saveReport(testpages::dayReport(3, 3), path, ReportFormat::Txt));
    const QByteArray now = readFile(path);
    EXPECT_TRUE(now.startsWith(" Tallyrow Day Report"));
    EXPECT_FALSE(now.contains("xxx"));
}

TEST(SaveReport, AWriteThatFailsHalfwayKeepsTheOldFileAndLeavesNothingElse) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    writeFile(path, "the report saved last week");
    QString reason;
    const bool ok = saveFileAtomically(
        path,
        [](QIODevice& device) {
            device.write(QByteArray(50000, 'p'));
            throw Error(ErrNo::PathFileAccess, QStringLiteral("No space left on device"));
        },
        &reason);
    EXPECT_FALSE(ok);
    EXPECT_EQ(reason, QStringLiteral("No space left on device"));
    EXPECT_EQ(readFile(path), QByteArray("the report saved last week"));
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("report.pdf")});
}

TEST(SaveReport, TargetsThatCannotBeWrittenGiveFalseAndLeaveNothingBehind) {
    QTemporaryDir dir;
    const auto doc = testpages::dayReport(3, 3);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken.pdf")));
    const QString missing = dir.filePath(QStringLiteral("no such folder/report.pdf"));
    const QString folder = dir.filePath(QStringLiteral("taken.pdf"));
    for (const ReportFormat format :
         {ReportFormat::Rdf, ReportFormat::Pdf, ReportFormat::Txt, ReportFormat::Rtf, ReportFormat::Xls}) {
        SCOPED_TRACE(static_cast<int>(format));
        EXPECT_FALSE(saveReport(doc, missing, format));
        EXPECT_FALSE(saveReport(doc, folder, format));
        EXPECT_FALSE(saveReport(doc, QString(), format));
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no such folder"))));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(folderEntries(folder).isEmpty());
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("taken.pdf")});
}

TEST(SaveReport, AFolderWithoutWritePermissionGivesFalse) {
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    const auto doc = testpages::dayReport(3, 3);
    auto refused = [&] {
        return !saveReport(doc, locked + QStringLiteral("/r.pdf"), ReportFormat::Pdf) &&
               folderEntries(locked).isEmpty();
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(refused());
    } else {
        // Permissions do not stop root: save as an ordinary user in a child process.
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7755));
        const test::ChildOutcome outcome = test::runAsNobody(refused);
        if (outcome == test::ChildOutcome::CannotDropPrivileges)
            TALLYROW_SKIP_UNLESS_CI("cannot give up root to see a folder refuse a write");
        EXPECT_EQ(outcome, test::ChildOutcome::Passed);
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(folderEntries(locked).isEmpty());
}

TEST(SaveReport, AFullDiskFailsWithTheSystemsReasonAndKeepsTheOldFile) {
    test::SmallDisk disk;
    if (!disk.mounted())
        TALLYROW_SKIP_UNLESS_CI(disk.whyNotMounted().toStdString());
    const auto doc = testpages::dayReport(24, 12);
    const QByteArray old(820, 'o');
    const struct {
        ReportFormat format;
        const char* name;
    } cases[] = {
        {ReportFormat::Rdf, "r.rdf"}, {ReportFormat::Pdf, "r.pdf"}, {ReportFormat::Txt, "r.txt"},
        {ReportFormat::Rtf, "r.rtf"}, {ReportFormat::Xls, "r.xls"},
    };
    for (const auto& c : cases)
        writeFile(disk.path(QString::fromLatin1(c.name)), old);
    const QString csv = disk.path(QStringLiteral("r.csv"));
    writeFile(csv, old);
    const QString xlsx = disk.path(QStringLiteral("r.xlsx"));
    writeFile(xlsx, old);
    ASSERT_TRUE(disk.fill());
    const QStringList before = test::SmallDisk::entries(disk.path({}));

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = disk.path(QString::fromLatin1(c.name));
        QString reason;
        EXPECT_FALSE(saveReport(doc, path, c.format, &reason));
        EXPECT_TRUE(reason.contains(QStringLiteral("No space left on device"))) << reason.toStdString();
        EXPECT_EQ(readFile(path), old);
    }
    {
        SCOPED_TRACE("csv");
        TotalsReport notRun; // a report that has not run writes its header row
        try {
            writeReportCsv(notRun, csv);
            ADD_FAILURE() << "the CSV was reported written";
        } catch (const Error& e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("No space left on device")))
                << e.description().toStdString();
            EXPECT_TRUE(e.description().contains(csv));
        }
        EXPECT_EQ(readFile(csv), old);
    }
    {
        SCOPED_TRACE("xlsx");
        TotalsReport notRun;
        try {
            writeReportXlsx(notRun, xlsx);
            ADD_FAILURE() << "the workbook was reported written";
        } catch (const Error& e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("No space left on device")))
                << e.description().toStdString();
            EXPECT_TRUE(e.description().contains(xlsx));
        }
        EXPECT_EQ(readFile(xlsx), old);
    }
    EXPECT_EQ(test::SmallDisk::entries(disk.path({})), before); // no temporary file left
}

TEST(SaveReport, TargetsThatAreNoRegularFileAreLeftAlone) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.pdf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto doc = testpages::dayReport(3, 3);
    // As root a device would be replaced by a file if the save did not look first.
    for (const QString& target : {fifo, QStringLiteral("/dev/null")}) {
        SCOPED_TRACE(target.toStdString());
        QString reason;
        EXPECT_FALSE(saveReport(doc, target, ReportFormat::Txt, &reason));
        EXPECT_TRUE(reason.contains(QStringLiteral("not a regular file"))) << reason.toStdString();
    }
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("pipe.pdf")});
}

TEST(SaveReport, ReplacedFilesKeepTheirPermissionsAndLinksStay) {
    QTemporaryDir dir;
    const auto doc = testpages::dayReport(3, 3);
    const QString kept = dir.filePath(QStringLiteral("kept.txt"));
    writeFile(kept, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0640), 0);
    ASSERT_TRUE(saveReport(doc, kept, ReportFormat::Txt));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A new file gets what the umask allows.
    const mode_t oldMask = ::umask(027);
    const QString fresh = dir.filePath(QStringLiteral("fresh.txt"));
    const bool saved = saveReport(doc, fresh, ReportFormat::Txt);
    ::umask(oldMask);
    ASSERT_TRUE(saved);
    ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link is written through: the link stays and the file it names gets the report.
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(kept, link));
    writeFile(kept, "old");
    ASSERT_TRUE(saveReport(doc, link, ReportFormat::Txt));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(readFile(kept).startsWith(" Tallyrow Day Report"));
    EXPECT_EQ(folderEntries(dir.path()).size(), 3);
}

TEST(SaveReport, WorkbooksOfReportsWithoutDataHoldTheirHeadingsOnly) {
    if (runTool(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import openpyxl")})
            .exitCode != 0)
        GTEST_SKIP() << "/usr/bin/python3 with openpyxl is not installed";
    QTemporaryDir dir;
    // No SUM over an empty range and no chart without figures: Excel would call the file damaged.
    const QString script =
        QStringLiteral("import openpyxl, sys\n"
                       "ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
                       "rows = [[c for c in r if c is not None] for r in ws.iter_rows(values_only=True)]\n"
                       "print('|'.join(','.join(str(c) for c in r) for r in rows if r), len(ws._charts))\n");
    TotalsReport totals;
    DayReport day;
    const QString totalsFile = dir.filePath(QStringLiteral("totals.xlsx"));
    const QString dayFile = dir.filePath(QStringLiteral("day.xlsx"));
    writeReportXlsx(totals, totalsFile);
    writeReportXlsx(day, dayFile);
    ToolRun r = runTool(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, totalsFile});
    EXPECT_EQ(r.out.trimmed(), QByteArray("Tallyrow Totals Report|Period,Total 0")) << r.err.constData();
    r = runTool(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, dayFile});
    EXPECT_EQ(
        r.out.trimmed(),
        QByteArray("Tallyrow Day Report|Time,Monday,Tuesday,Wednesday,Thursday,Friday,Saturday,Sunday,All "
                   "Days,Total 0"))
        << r.err.constData();

    // A folder in the way is refused by name, and left as it was.
    const QString folder = dir.filePath(QStringLiteral("taken.xlsx"));
    ASSERT_TRUE(QDir().mkdir(folder));
    try {
        writeReportXlsx(totals, folder);
        ADD_FAILURE() << "the workbook was reported written";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(folder)) << e.description().toStdString();
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
}
