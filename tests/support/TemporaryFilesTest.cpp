#include "support/TemporaryFiles.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tallyrow;

// A program ended by SIGINT, SIGTERM or SIGHUP removes the files still registered (a folder
// once its files are gone) and is still seen to end by that signal; a file released after its
// rename stays.
TEST(TemporaryFiles, ASignalRemovesWhatIsRegisteredAndStillEndsTheProgram) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        QTemporaryDir dir;
        const QByteArray file = QFile::encodeName(dir.filePath(QStringLiteral(".u.pdf.Ab12Cd")));
        const QByteArray folder = QFile::encodeName(dir.filePath(QStringLiteral("scratch")));
        const QByteArray inFolder = folder + "/report.xlsx";
        const QByteArray kept = QFile::encodeName(dir.filePath(QStringLiteral("u.pdf")));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            removeTemporariesOnSignals();
            registerTemporary(file.constData());
            registerTemporary(folder.constData());
            registerTemporary(inFolder.constData());
            const int done = registerTemporary(kept.constData());
            ::close(::open(file.constData(), O_WRONLY | O_CREAT, 0600));
            ::mkdir(folder.constData(), 0700);
            ::close(::open(inFolder.constData(), O_WRONLY | O_CREAT, 0600));
            ::close(::open(kept.constData(), O_WRONLY | O_CREAT, 0600));
            releaseTemporary(done);
            ::raise(signal);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_FALSE(QFile::exists(QFile::decodeName(file)));
        EXPECT_FALSE(QFile::exists(QFile::decodeName(folder)));
        EXPECT_TRUE(QFile::exists(QFile::decodeName(kept)));
    }
}
