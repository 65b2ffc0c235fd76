#include "output/SaveReport.h"

#include "output/ExportFilters.h"
#include "output/ReportDocument.h"
#include "support/Error.h"

#include <QFileInfo>
#include <QSaveFile>

namespace tallyrow {

void writeReport(const engine::PageCollection& pages, QIODevice& device, ReportFormat format) {
    switch (format) {
    case ReportFormat::Pdf:
        writePdf(pages, device);
        break;
    case ReportFormat::Txt:
        writePlainText(pages, device);
        break;
    case ReportFormat::Rtf:
        writeRichText(pages, device);
        break;
    case ReportFormat::Xls:
        writeSpreadsheet(pages, device);
        break;
    case ReportFormat::Rdf:
    case ReportFormat::Csv:
    default:
        writeReportDocument(pages, device);
        break;
    }
}

bool saveFileAtomically(const QString& path, const std::function<void(QIODevice&)>& write,
                        QString* errorText) {
    auto failed = [&](const QString& reason) {
        if (errorText)
            *errorText = reason;
        return false;
    };
    if (path.isEmpty())
        return failed(QStringLiteral("No file name was given."));
    if (QFileInfo(path).isDir())
        return failed(QStringLiteral("'%1' is a folder.").arg(path));

    // QSaveFile writes "<path>.XXXXXX" in the target's folder and renames it over the target on
    // commit(); without direct-write fallback it never writes into the target itself.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    try {
        write(file);
    } catch (...) {
        file.cancelWriting();
        return failed(currentError().description());
    }
    if (!file.commit())
        return failed(file.errorString());
    return true;
}

bool SaveReport(const engine::PageCollection& pages, const QString& path, ReportFormat format) {
    return saveFileAtomically(path, [&](QIODevice& device) { writeReport(pages, device, format); });
}

} // namespace tallyrow
