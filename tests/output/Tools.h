#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tallyrow::testtools {

struct ToolRun {
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

/// Whether `program` is on PATH (or is an absolute path that exists).
bool haveTool(const QString& program);

/// Runs a program and waits for it (at most `timeoutMs`).
ToolRun runTool(const QString& program, const QStringList& args, int timeoutMs = 60000);

/// Converts `file` with LibreOffice headless into `outDir` (`format` as soffice's --convert-to
/// takes it), with a private profile under `outDir`. Returns the converted file's path, or "" on
/// failure (the reason in `error`).
QString sofficeConvert(const QString& file, const QString& format, const QString& outDir, QString* error);

/// pdftotext of the whole file (layout kept), page by page (split at form feeds).
QStringList pdfPageTexts(const QString& pdf);

/// A field of pdfinfo ("Pages", "Title", ...), trimmed.
QString pdfInfo(const QString& pdf, const QString& field);

/// Writes bytes to a file, creating it.
void writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);

} // namespace tallyrow::testtools
