#include "output/SaveReport.h"

#include "output/ExportFilters.h"
#include "output/ReportDocument.h"
#include "support/AtomicFile.h"
#include "support/Error.h"

#include <QBuffer>

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
    case ReportFormat::Html:
        writeWebPage(pages, device);
        break;
    case ReportFormat::Rdf:
    case ReportFormat::Csv:
    case ReportFormat::Xlsx:
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
    // A name of an open descriptor is written through it (see writeFileAtomically), whatever it is.
    if (const auto kind = descriptorNamedBy(path) ? std::nullopt : nonRegularFileKind(path))
        return failed(QStringLiteral("'%1' is %2, not a regular file.").arg(path, *kind));

    // The whole file is made in memory first: the writers need a device they may seek in, and
    // the file on disk is then written with every step checked.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    try {
        write(buffer);
    } catch (...) {
        return failed(currentError().description());
    }
    const FileWriteResult written = writeFileAtomically(path, buffer.data());
    if (!written)
        return failed(written.reason);
    return true;
}

bool saveReport(const engine::PageCollection& pages, const QString& path, ReportFormat format,
                QString* errorText) {
    return saveFileAtomically(
        path, [&](QIODevice& device) { writeReport(pages, device, format); }, errorText);
}

} // namespace tallyrow
