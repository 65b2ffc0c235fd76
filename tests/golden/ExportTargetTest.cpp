// tallyrow-export run as a process against targets that are not ordinary files and against a
// full disk: it must say no, leave what is there as it was, and never hang.

#include "testsupport/ActivityData.h"
#include "testsupport/SystemTools.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using tallyrow::test::binPath;
using tallyrow::test::SmallDisk;

struct ToolResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray err;
    QByteArray out;
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
        return runProgram(binPath(QStringLiteral("tallyrow-export")), args, seconds);
    }

    // `script` run by sh, with $TOOL the tool and $REPORT the arguments of report() before
    // --format.
    ToolResult shell(const QString& script, int seconds = 60) {
        return runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, seconds);
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), m_home.filePath(QStringLiteral("etc")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("TOOL"), binPath(QStringLiteral("tallyrow-export")));
        env.insert(QStringLiteral("REPORT"), report({}, {}).mid(0, 8).join(u' '));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return env;
    }

    ToolResult runProgram(const QString& program, const QStringList& args, int seconds) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(program, args);
        ToolResult r;
        r.finished = p.waitForFinished(seconds * 1000);
        if (!r.finished) {
            p.kill();
            p.waitForFinished(5000);
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.err = p.readAllStandardError();
        r.out = p.readAllStandardOutput();
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

    static ino_t inodeOf(const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
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

TEST_F(ExportTargets, AFolderAtTheOutputIsRefusedAndAPipeOrDeviceIsWrittenThrough) {
    for (const QString& format : {QStringLiteral("csv"), QStringLiteral("xls")}) {
        SCOPED_TRACE(format.toStdString());
        const QString folder = m_home.filePath(QStringLiteral("folder.") + format);
        ASSERT_TRUE(QDir().mkpath(folder));
        const ToolResult r = run(report(format, folder), 20);
        ASSERT_TRUE(r.finished) << "the tool did not end";
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains("--output") && r.err.contains("a folder")) << r.err.constData();
        // As root a device would be replaced if the tool did not write through it.
        EXPECT_EQ(run(report(format, QStringLiteral("/dev/null")), 20).exitCode, 0);
        EXPECT_EQ(fileType(QStringLiteral("/dev/null")), mode_t(S_IFCHR));
        EXPECT_TRUE(SmallDisk::entries(folder).isEmpty());
    }

    const QString expected = m_home.filePath(QStringLiteral("expected.csv"));
    ASSERT_EQ(run(report(QStringLiteral("csv"), expected)).exitCode, 0);
    const QString fifo = makeFifo(QStringLiteral("pipe.csv"));
    const ToolResult r =
        shell(QStringLiteral("cat pipe.csv > read.csv & $TOOL $REPORT --format csv --output "
                             "pipe.csv; s=$?; wait; exit $s")
                  .replace(QStringLiteral("pipe.csv"), fifo)
                  .replace(QStringLiteral("read.csv"), m_home.filePath(QStringLiteral("read.csv"))),
              20);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(readFile(m_home.filePath(QStringLiteral("read.csv"))), readFile(expected));
    EXPECT_EQ(fileType(fifo), mode_t(S_IFIFO));
}

// Standard output, by any of its names, is written through the descriptor the shell opened: a
// file opened to append to keeps its lines and gets the report after them, a pipe gets the
// report, and nothing is renamed over either.
TEST_F(ExportTargets, StandardOutputIsWrittenThroughAndAnAppendedFileKeepsItsLines) {
    const QString expected = m_home.filePath(QStringLiteral("expected.csv"));
    ASSERT_EQ(run(report(QStringLiteral("csv"), expected)).exitCode, 0);
    const QString log = m_home.filePath(QStringLiteral("app.log"));
    for (const QString& output :
         {QStringLiteral("-"), QStringLiteral("/dev/stdout"), QStringLiteral("/proc/self/fd/1")}) {
        for (const QString& redirect : {QStringLiteral(">> %1"), QStringLiteral("| cat >> %1")}) {
            SCOPED_TRACE((output + u' ' + redirect).toStdString());
            QFile f(log);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("an earlier line\n");
            f.close();
            const ino_t inode = inodeOf(log);
            const ToolResult r =
                shell(u"$TOOL $REPORT --format csv --output %1 "_s.arg(output) + redirect.arg(log));
            ASSERT_TRUE(r.finished);
            EXPECT_EQ(r.exitCode, 0) << r.err.constData();
            EXPECT_EQ(readFile(log), "an earlier line\n" + readFile(expected));
            EXPECT_EQ(inodeOf(log), inode);
        }
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral("-")));
}

// A terminal gets text but no binary format.
TEST_F(ExportTargets, ABinaryFormatIsNotWrittenToATerminal) {
    const ToolResult pdf =
        shell(QStringLiteral("script -qec '$TOOL $REPORT --format pdf --output -' /dev/null"));
    ASSERT_TRUE(pdf.finished);
    EXPECT_EQ(pdf.exitCode, 2);
    EXPECT_TRUE(pdf.out.contains("--output: standard output is a terminal, and PDF is a binary format"))
        << pdf.out.constData();
    EXPECT_FALSE(pdf.out.contains("%PDF"));
    const ToolResult csv =
        shell(QStringLiteral("script -qec '$TOOL $REPORT --format csv --output /dev/stdout' /dev/null"));
    EXPECT_EQ(csv.exitCode, 0) << csv.out.constData();
    EXPECT_TRUE(csv.out.contains("Period")) << csv.out.constData();
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

// The monitoring product's log lies beside the data file itself: reached through a symbolic link
// or another hard link of the file, --output at the log (or at a journal not made yet) is still
// the data file's own, and the commits in the log stay as the writer keeps them.
TEST_F(ExportTargets, TheLogOfADataFileReachedThroughALinkIsNeverWritten) {
    auto writer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
    writer.setDatabaseName(m_data);
    ASSERT_TRUE(writer.open());
    {
        QSqlQuery q(writer);
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0")));
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE Activity SET H1 = H1 + 1")));
    }
    const QString wal = m_data + QStringLiteral("-wal");
    const QByteArray log = readFile(wal);
    ASSERT_GT(log.size(), 32) << "the writer's commits are in its log";
    ASSERT_TRUE(QDir().mkpath(m_home.filePath(QStringLiteral("links"))));
    const QString symlink = m_home.filePath(QStringLiteral("links/linked.yrd"));
    const QString hardLink = m_home.filePath(QStringLiteral("links/other.yrd"));
    ASSERT_EQ(::symlink(QFile::encodeName(m_data).constData(), QFile::encodeName(symlink).constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(m_data).constData(), QFile::encodeName(hardLink).constData()), 0);
    for (const QString& data : {symlink, hardLink}) {
        for (const QString& output : {wal, m_data + QStringLiteral("-journal")}) {
            SCOPED_TRACE((data + QStringLiteral(" -> ") + output).toStdString());
            const ToolResult r = run(report(QStringLiteral("csv"), output).replaceInStrings(m_data, data));
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_TRUE(r.err.contains("is the data file's")) << r.err.constData();
        }
    }
    EXPECT_EQ(readFile(wal), log);
    EXPECT_FALSE(QFile::exists(m_data + QStringLiteral("-journal")));
    writer.close();
    writer = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
}

// Ctrl+C (or SIGTERM, SIGHUP) while the saved copy of the data file and the report are written
// ends the tool as the signal does and leaves no temporary file in the cache folder or beside
// the output.
TEST_F(ExportTargets, ASignalWhileWritingLeavesNoTemporaryFileBehind) {
    const QString big = m_home.filePath(QStringLiteral("big.yrd"));
    QProcess sample;
    sample.start(binPath(QStringLiteral("tallyrow-sample-data")),
                 {QStringLiteral("--output"), big, QStringLiteral("--users"), QStringLiteral("400"),
                  QStringLiteral("--years"), QStringLiteral("4"), QStringLiteral("--to"),
                  QStringLiteral("2024-03-31")});
    ASSERT_TRUE(sample.waitForFinished(240000));
    ASSERT_EQ(sample.exitCode(), 0) << sample.readAllStandardError().constData(); // 400,000 rows
    const QString cache = m_home.filePath(QStringLiteral("cache/tallyrow"));
    const QString outputs = m_home.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(outputs));
    const auto temporaries = [&] {
        QStringList found;
        for (const QString& folder : {cache, outputs}) {
            for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
                if (name.startsWith(u'.'))
                    found << name;
            }
        }
        return found;
    };
    int caught = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        QDir(cache).removeRecursively();
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(binPath(QStringLiteral("tallyrow-export")),
                {QStringLiteral("--data"), big, QStringLiteral("--report"), QStringLiteral("totals"),
                 QStringLiteral("--from"), QStringLiteral("2020-04-01"), QStringLiteral("--to"),
                 QStringLiteral("2024-03-31"), QStringLiteral("--details"), QStringLiteral("--format"),
                 QStringLiteral("pdf"), QStringLiteral("--output"), outputs + QStringLiteral("/u.pdf")});
        ASSERT_TRUE(p.waitForStarted());
        // The signal goes as soon as a temporary file shows.
        bool seen = false;
        while (!seen && p.state() == QProcess::Running) {
            seen = !temporaries().isEmpty();
            if (!seen)
                p.waitForFinished(1);
        }
        if (seen) {
            ++caught;
            ::kill(pid_t(p.processId()), signal);
        }
        ASSERT_TRUE(p.waitForFinished(60000));
        if (seen) {
            EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << "ended by the signal, as without the handler";
        }
        EXPECT_EQ(temporaries(), QStringList());
    }
    EXPECT_GT(caught, 0) << "no run was caught while it wrote";
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
