#include "datafile/TemplateCopy.h"

#include "support/Error.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

[[noreturn]] void fail(long number, const QString& what, const QString& path) {
    throw Error(number, u"%1: %2"_s.arg(what, path));
}

long numberForErrno(int err) {
    return (err == EACCES || err == EPERM || err == EROFS) ? ErrNo::PermissionDenied : ErrNo::PathFileAccess;
}

QString describeErrno(int err) {
    return err == EACCES || err == EPERM ? u"Permission denied"_s
                                         : QString::fromLocal8Bit(std::strerror(err));
}

// Permissions a newly created file gets from this process: rw for everyone less the umask.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

void CopyTemplate(const QString& source, const QString& target) {
    withTrail(u"CopyTemplate&"_s, [&] {
        QFile in(source);
        if (!in.open(QIODevice::ReadOnly)) {
            if (!in.exists())
                fail(ErrNo::FileNotFound, u"File not found"_s, source);
            fail(ErrNo::PermissionDenied, u"Permission denied"_s, source);
        }
        const QByteArray content = in.readAll();
        if (in.error() != QFileDevice::NoError)
            fail(ErrNo::PathFileAccess, in.errorString(), source);
        in.close();

        // A link is replaced, never followed, so it is judged by what it is itself.
        const QFileInfo existing(target);
        if (!existing.isSymLink() && existing.exists()) {
            if (existing.isDir())
                fail(ErrNo::PathFileAccess, u"Path/File access error, the name belongs to a folder"_s,
                     target);
            if (!(existing.permissions() & QFileDevice::WriteOwner))
                fail(ErrNo::PermissionDenied, u"Permission denied, the file is read-only"_s, target);
        }

        QTemporaryFile out(existing.absolutePath() + u"/."_s + existing.fileName() + u".XXXXXX"_s);
        if (!out.open()) {
            const int err = errno;
            fail(numberForErrno(err), describeErrno(err), target);
        }
        if (out.write(content) != content.size() || !out.flush()) {
            const int err = errno;
            fail(numberForErrno(err), out.errorString(), target);
        }
        ::fchmod(out.handle(), newFileMode());
        out.close();

        const QByteArray from = QFile::encodeName(out.fileName());
        const QByteArray to = QFile::encodeName(target);
        if (std::rename(from.constData(), to.constData()) != 0) {
            const int err = errno;
            fail(numberForErrno(err), describeErrno(err), target);
        }
        out.setAutoRemove(false); // it carries the target's name now
    });
}

} // namespace tallyrow
