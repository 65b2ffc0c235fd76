// tallyrow-export run as a process against targets that are not ordinary files and against a
// full disk: it must say no, leave what is there as it was, and never hang.

#include "testsupport/ActivityData.h"
#include "testsupport/SystemTools.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using tallyrow::test::binPath;
using tallyrow::test::SmallDisk;

struct ToolResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray err;
};

class ExportTargets : public ::testing::Test {
protected:
    void SetUp() override {
        tallyrow::test::ensureCoreApp();
        m_data = m_home.filePath(QStringLiteral("office.yrd"));
        tallyrow::test::writeSqliteDataFile(m_data, tallyrow::test::officeRows());
    }

    // A run that has not ended after `seconds` is killed and counts as not finished: a tool
    // blocked on a pipe fails the test instead of hanging it.
    ToolResult run(const QStringList& args, int seconds = 60) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), m_home.filePath(QStringLiteral("etc")));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.start(binPath(QStringLiteral("tallyrow-export")), args);
        ToolResult r;
        r.finished = p.waitForFinished(seconds * 1000);
        if (!r.finished) {
            p.kill();
            p.waitForFinished(5000);
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.err = p.readAllStandardError();
        return r;
    }

    QStringList report(const QString& format, const QString& output) const {
        return {QStringLiteral("--data"),   m_data,
                QStringLiteral("--report"), QStringLiteral("totals"),
                QStringLiteral("--from"),   QStringLiteral("2004-03-01"),
                QStringLiteral("--to"),     QStringLiteral("2004-03-31"),
                QStringLiteral("--format"), format,
                QStringLiteral("--output"), output};
    }

    static QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static mode_t fileType(const QString& path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
    }

    QString makeFifo(const QString& name) {
        const QString path = m_home.filePath(name);
        EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        return path;
    }

    QTemporaryDir m_home;
    QString m_data;
};

} // namespace

TEST_F(ExportTargets, AFullDiskFailsWithTheSystemsReasonAndKeepsTheOldFile) {
    SmallDisk disk;
    if (!disk.mounted())
        TALLYROW_SKIP_UNLESS_CI(disk.whyNotMounted().toStdString());
    const QByteArray old(820, 'o');
    const QStringList formats{QStringLiteral("csv"), QStringLiteral("xls"), QStringLiteral("pdf")};
    for (const QString& format : formats) {
        QFile f(disk.path(QStringLiteral("report.") + format));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    ASSERT_TRUE(disk.fill());
    const QStringList before = SmallDisk::entries(disk.path({}));

    for (const QString& format : formats) {
        SCOPED_TRACE(format.toStdString());
        const QString output = disk.path(QStringLiteral("report.") + format);
        const ToolResult r = run(report(format, output));
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("No space left on device")) << r.err.constData();
        EXPECT_TRUE(r.err.contains(output.toUtf8())) << r.err.constData();
        EXPECT_EQ(readFile(output), old);
    }
    EXPECT_EQ(SmallDisk::entries(disk.path({})), before);
}

TEST_F(ExportTargets, AnOutputThatIsNoRegularFileIsRefused) {
    const QString fifo = makeFifo(QStringLiteral("pipe.csv"));
    const QString folder = m_home.filePath(QStringLiteral("folder.csv"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct {
        QString output;
        const char* kind;
        mode_t type;
    } cases[] = {
        {QStringLiteral("/dev/null"), "a character device", S_IFCHR}, // as root it would be replaced
        {fifo, "a named pipe", S_IFIFO},
        {folder, "a folder", S_IFDIR},
    };
    for (const auto& c : cases) {
        for (const QString& format : {QStringLiteral("csv"), QStringLiteral("xls")}) {
            SCOPED_TRACE((c.output + u' ' + format).toStdString());
            const ToolResult r = run(report(format, c.output), 20);
            ASSERT_TRUE(r.finished) << "the tool did not end";
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_TRUE(r.err.contains("--output") && r.err.contains(c.kind)) << r.err.constData();
            EXPECT_EQ(fileType(c.output), c.type);
        }
    }
    EXPECT_TRUE(SmallDisk::entries(folder).isEmpty());
}

TEST_F(ExportTargets, ADataFileOrDocumentThatIsAPipeOrDeviceIsRefusedAtOnce) {
    const QString output = m_home.filePath(QStringLiteral("out.pdf"));
    const QString fifo = makeFifo(QStringLiteral("data.yrd"));
    const QString fifoDocument = makeFifo(QStringLiteral("report.rdf"));
    const QStringList runs[] = {
        report(QStringLiteral("pdf"), output).replaceInStrings(m_data, fifo),
        report(QStringLiteral("pdf"), output).replaceInStrings(m_data, QStringLiteral("/dev/zero")),
        {QStringLiteral("--document"), fifoDocument, QStringLiteral("--format"), QStringLiteral("pdf"),
         QStringLiteral("--output"), output},
        {QStringLiteral("--document"), QStringLiteral("/dev/zero"), QStringLiteral("--format"),
         QStringLiteral("pdf"), QStringLiteral("--output"), output},
    };
    for (const QStringList& args : runs) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        const ToolResult r = run(args, 20);
        ASSERT_TRUE(r.finished) << "the tool waited on its input";
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("not a regular file")) << r.err.constData();
    }
    EXPECT_FALSE(QFile::exists(output));
}

// The write-ahead log holds commits not yet in the data file: writing a report there, or over
// the journal or the shared-memory index, would lose them. Refused however the path is spelled,
// whether the file is there yet or not.
TEST_F(ExportTargets, TheDataFilesOwnLogJournalAndIndexAreNeverWritten) {
    const QByteArray log = "a committed change the writer has not checkpointed";
    QFile wal(m_data + QStringLiteral("-wal"));
    ASSERT_TRUE(wal.open(QIODevice::WriteOnly));
    wal.write(log);
    wal.close();
    const QString dotted = m_home.path() + QStringLiteral("/./office.yrd");
    for (const QString& output : {m_data + QStringLiteral("-wal"), dotted + QStringLiteral("-journal"),
                                  m_data + QStringLiteral("-shm")}) {
        SCOPED_TRACE(output.toStdString());
        const ToolResult r = run(report(QStringLiteral("csv"), output));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains("--output")) << r.err.constData();
        EXPECT_TRUE(r.err.contains("the data file's")) << r.err.constData();
    }
    EXPECT_EQ(readFile(m_data + QStringLiteral("-wal")), log);
    EXPECT_FALSE(QFile::exists(m_data + QStringLiteral("-journal")));
}

// In a shared folder (sticky, writable by all) a link another user planted is not followed to a
// file of ours, as the kernel's protected-symlinks rule would not follow it.
TEST_F(ExportTargets, ALinkAnotherUserPlantedInASharedFolderIsNotFollowed) {
    const QString shared = m_home.filePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString notes = m_home.filePath(QStringLiteral("notes.txt"));
    QFile f(notes);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("my notes");
    f.close();
    const QString link = shared + QStringLiteral("/report.csv");
    ASSERT_EQ(::symlink(QFile::encodeName(notes).constData(), QFile::encodeName(link).constData()), 0);
    if (::lchown(QFile::encodeName(link).constData(), 65534, 65534) != 0 || ::geteuid() == 65534)
        GTEST_SKIP() << "planting a link as another user takes the right to";
    const ToolResult r = run(report(QStringLiteral("csv"), link));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("link")) << r.err.constData();
    EXPECT_EQ(readFile(notes), "my notes");
    EXPECT_EQ(fileType(link), mode_t(S_IFLNK));
}
