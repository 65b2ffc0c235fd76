#include "Tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tallyrow::testtools {

bool haveTool(const QString& program) {
    if (QFileInfo(program).isAbsolute())
        return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

ToolRun runTool(const QString& program, const QStringList& args, int timeoutMs) {
    ToolRun run;
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return run;
    run.started = true;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

QString sofficeConvert(const QString& file, const QString& format, const QString& outDir, QString* error) {
    const QString profile = QDir(outDir).filePath(QStringLiteral("lo-profile"));
    const ToolRun run =
        runTool(QStringLiteral("soffice"),
                {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                 QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
                 format, QStringLiteral("--outdir"), outDir, file},
                180000);
    const QString extension = format.section(u':', 0, 0);
    const QString target = QDir(outDir).filePath(QFileInfo(file).completeBaseName() + u'.' + extension);
    if (!run.started || run.exitCode != 0 || !QFileInfo::exists(target)) {
        if (error)
            *error = QStringLiteral("soffice failed (exit %1): %2 %3")
                         .arg(run.exitCode)
                         .arg(QString::fromLocal8Bit(run.out), QString::fromLocal8Bit(run.err));
        return {};
    }
    return target;
}

QStringList pdfPageTexts(const QString& pdf) {
    const ToolRun run =
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QStringList pages = QString::fromUtf8(run.out).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QString pdfInfo(const QString& pdf, const QString& field) {
    const ToolRun run = runTool(QStringLiteral("pdfinfo"), {pdf});
    for (const QString& line : QString::fromUtf8(run.out).split(u'\n'))
        if (line.startsWith(field + u':'))
            return line.mid(field.size() + 1).trimmed();
    return {};
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(data);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace tallyrow::testtools
