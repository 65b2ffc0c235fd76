#include "output/SaveReport.h"

#include "engine/Report.h"
#include "output/ReportDocument.h"
#include "reports/TableReport.h"
#include "support/AtomicFile.h"
#include "support/Error.h"

#include <QBuffer>

namespace tallyrow {

void writeReport(const engine::PageCollection& pages, QIODevice& device, ReportFormat format) {
    const PageWriter write = reportFormatInfo(format).pageWriter;
    (write ? write : writeReportDocument)(pages, device);
}

void writeReportTable(const engine::Report& report, ReportFormat format, const QString& path) {
    const TableWriter write = reportFormatInfo(format).tableWriter;
    const TableReport* table = asTableReport(&report);
    if (!write || !table)
        throw Error(ErrNo::Unexpected, QStringLiteral("This report has no table to save."),
                    QStringLiteral("writing the report's table"));
    write(table->table(), path);
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
