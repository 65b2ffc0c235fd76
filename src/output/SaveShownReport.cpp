#include "output/SaveShownReport.h"

#include "engine/Report.h"
#include "output/SaveReport.h"
#include "support/Error.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tallyrow {

bool saveShownReport(const engine::Report* report, const QString& path, ReportFormat format,
                     QString* errorText) {
    auto failed = [&](const QString& reason) {
        if (errorText)
            *errorText = reason;
        return false;
    };
    if (!report)
        return failed(u"There is no report to save."_s);
    if (!reportFormatInfo(format).writesPages()) {
        // The table, not the pages: the figures a spreadsheet user wants, one row per line.
        try {
            writeReportTable(*report, format, path);
            return true;
        } catch (const Error& e) {
            return failed(e.description());
        }
    }
    return saveReport(report->pages(), path, format, errorText);
}

QString saveFailureReason(const QString& path, const QString& systemText) {
    const QFileInfo file(path);
    const QString folder = QDir::toNativeSeparators(file.absolutePath());
    if (!file.absoluteDir().exists())
        return u"The folder %1 does not exist."_s.arg(folder);
    if (!QFileInfo(file.absolutePath()).isWritable() || (file.exists() && !file.isWritable()))
        return u"You do not have permission to write %1 in the folder %2."_s.arg(file.fileName(), folder);
    QString reason = systemText.trimmed();
    if (reason.isEmpty())
        return u"The file could not be written."_s;
    if (!reason.endsWith(u'.'))
        reason += u'.';
    return u"The system reported: "_s + reason;
}

} // namespace tallyrow
