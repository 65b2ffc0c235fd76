#include "datafile/TemplateCopy.h"

#include "support/AtomicFile.h"
#include "support/Error.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

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

} // namespace

void copyTemplate(const QString& source, const QString& target) {
    withStep(u"copying the empty data file"_s, [&] {
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

        // The copy takes the place of a link rather than writing through it.
        const FileWriteResult written = writeFileAtomically(target, content, LinkAtTarget::Replace);
        if (!written)
            fail(numberForErrno(written.error), written.error ? describeErrno(written.error) : written.reason,
                 target);
    });
}

} // namespace tallyrow
