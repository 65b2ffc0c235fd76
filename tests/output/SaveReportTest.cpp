#include "output/SaveReport.h"

#include "TestPages.h"
#include "Tools.h"

#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tallyrow;
using namespace tallyrow::testtools;

namespace {

QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
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
        {static_cast<ReportFormat>(7), "seven.pdf",
         QByteArray("\x89TRDF", 5)}, // unknown codes write the report document
        {static_cast<ReportFormat>(-1), "minus", QByteArray("\x89TRDF", 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        ASSERT_TRUE(SaveReport(doc, path, c.format));
        EXPECT_TRUE(readFile(path).startsWith(c.start)) << readFile(path).left(30).toStdString();
    }
    EXPECT_EQ(folderEntries(dir.path()).size(), 7); // no temporary files left
}

TEST(SaveReport, SavingOverAFileReplacesIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.txt"));
    writeFile(path, QByteArray(100000, 'x'));
    ASSERT_TRUE(SaveReport(testpages::dayReport(3, 3), path, ReportFormat::Txt));
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
    for (int format = 0; format <= 4; ++format) {
        SCOPED_TRACE(format);
        EXPECT_FALSE(SaveReport(doc, missing, format));
        EXPECT_FALSE(SaveReport(doc, folder, format));
        EXPECT_FALSE(SaveReport(doc, QString(), format));
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no such folder"))));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(folderEntries(folder).isEmpty());
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("taken.pdf")});
}

TEST(SaveReport, AFolderWithoutWritePermissionGivesFalse) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write into any folder, so the refusal cannot be seen";
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(
        SaveReport(testpages::dayReport(3, 3), locked + QStringLiteral("/r.pdf"), ReportFormat::Pdf));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(folderEntries(locked).isEmpty());
}
