#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace tallyrow::test {

/// How a program run ended (its exit code; -1 when it crashed or did not finish) and what it
/// printed.
struct ProgramRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

/// Runs `program` with `args` in `env` and waits for it, three minutes at most.
ProgramRun runProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env);

/// True when the environment variable CI is "true". Tests that would skip for want of a
/// privilege then fail instead, so a runner that lost the privilege is noticed.
bool runningInCi();

/// Skips the test with `reason`, or fails it under CI.
#define TALLYROW_SKIP_UNLESS_CI(reason)                                                                      \
    do {                                                                                                     \
        if (::tallyrow::test::runningInCi())                                                                 \
            FAIL() << (reason) << " (CI=true, so this is a failure)";                                        \
        GTEST_SKIP() << (reason);                                                                            \
    } while (0)

/// A small tmpfs mounted while the object lives, on `mountPoint` (an existing folder) or on a
/// temporary folder of its own. Needs root, or a process allowed to mount.
class SmallDisk {
public:
    explicit SmallDisk(const QString& mountPoint = {}, int kilobytes = 256);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    QString whyNotMounted() const { return m_reason; }
    QString path(const QString& relative) const { return m_root + u'/' + relative; }
    /// Every name in `folder` (hidden ones too), sorted.
    static QStringList entries(const QString& folder);

    /// Takes every free block with the file ".filler", so that no further byte can be written
    /// to the disk; files already there keep their content. Returns false when it could not.
    bool fill();

private:
    QTemporaryDir m_ownFolder;
    QString m_root;
    bool m_mounted = false;
    QString m_reason;
};

/// How a body run by runAsNobody ended.
enum class ChildOutcome { Passed, Failed, CannotDropPrivileges };

/// Runs `body` in a forked child that has given up root for the user and group nobody (65534),
/// so that permissions stop it as they stop ordinary users. The body says whether its checks
/// held; it should print what it found to stderr when they did not.
ChildOutcome runAsNobody(const std::function<bool()>& body);

} // namespace tallyrow::test
