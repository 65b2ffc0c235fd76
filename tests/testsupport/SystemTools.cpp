#include "SystemTools.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tallyrow::test {

ProgramRun runProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(180000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

bool runningInCi() {
    return qgetenv("CI") == "true";
}

SmallDisk::SmallDisk(const QString& mountPoint, int kilobytes) {
    m_root = mountPoint.isEmpty() ? m_ownFolder.path() : mountPoint;
    if (mountPoint.isEmpty() && !m_ownFolder.isValid()) {
        m_reason = QStringLiteral("cannot create a temporary folder to mount on");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
    if (::mount("tmpfs", QFile::encodeName(m_root).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.constData()) != 0) {
        m_reason = QStringLiteral("cannot mount a small tmpfs to fill (%1)")
                       .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk() {
    if (m_mounted)
        ::umount2(QFile::encodeName(m_root).constData(), MNT_DETACH);
}

QStringList SmallDisk::entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

bool SmallDisk::fill() {
    const QByteArray filler = QFile::encodeName(path(QStringLiteral(".filler")));
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const QByteArray block(4096, 'f');
    bool full = false;
    for (;;) {
        const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
        if (n == block.size())
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        // A partial block is followed by ENOSPC on the next write.
        if (n >= 0)
            continue;
        full = errno == ENOSPC;
        break;
    }
    ::close(fd);
    return full;
}

ChildOutcome runAsNobody(const std::function<bool()>& body) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return ChildOutcome::CannotDropPrivileges;
    if (child == 0) {
        // The group list goes first: root's supplementary groups would otherwise stay.
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const bool passed = body();
        std::fflush(nullptr);
        ::_exit(passed ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3)
        return ChildOutcome::CannotDropPrivileges;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ChildOutcome::Passed : ChildOutcome::Failed;
}

} // namespace tallyrow::test
