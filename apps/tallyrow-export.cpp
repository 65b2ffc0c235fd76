// tallyrow-export: runs the Day or the Totals report without a window and writes it to a file.
#include "shell/ExportTool.h"
#include "support/TemporaryFiles.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

namespace {

// The tool prints only its own messages: a scheduled job's mail must stay empty on success. The
// toolkit's own notes (such as a missing XDG_RUNTIME_DIR) show with TALLYROW_DEBUG set.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg || qEnvironmentVariableIsSet("TALLYROW_DEBUG"))
        std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(quietMessages);
    // Ctrl+C while a report or the saved copy of the data file is written leaves no temporary
    // file behind.
    tallyrow::removeTemporariesOnSignals();
    // No screen is needed, but text layout for PDF wants a GUI application's fonts.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationVersion(QString::fromLatin1(TALLYROW_VERSION));
    return tallyrow::runExportTool(app.arguments().mid(1), stdout, stderr);
}
