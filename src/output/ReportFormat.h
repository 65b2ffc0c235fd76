#pragma once

#include <QLatin1String>
#include <QString>

#include <optional>
#include <span>

class QIODevice;

namespace tallyrow {

namespace engine {
struct PageCollection;
}
struct ReportTable;

/// The file formats a report can be written in. The values are the codes the save dialog's
/// format list carries as item data.
enum class ReportFormat : int {
    Rdf = 0, ///< the report document, reopened by the viewer
    Pdf = 1,
    Txt = 2,
    Rtf = 3,
    Xls = 4,
    Csv = 5,  ///< the report's table rather than its pages
    Xlsx = 6, ///< the report's table and chart as an Excel workbook
    Html = 7, ///< a self-contained web page
    Json = 8, ///< the report's table with its range and totals, for programs
};

/// Writes a report's pages to a device; raises an Error when the writing fails.
using PageWriter = void (*)(const engine::PageCollection& pages, QIODevice& device);
/// Writes a report's table to a file, replacing it only once the whole file is written; raises
/// an Error naming the file when it cannot be written.
using TableWriter = void (*)(const ReportTable& table, const QString& path);

/// Everything the program says about one format, and its writer, in one place.
struct ReportFormatInfo {
    ReportFormat format;
    QLatin1String name;      ///< as tallyrow-export's --format takes it: "pdf"
    QLatin1String extension; ///< with its dot: ".pdf"
    QLatin1String listEntry; ///< the save dialog's entry: "Acrobat (PDF)"
    QLatin1String filter;    ///< the save dialog's file filter: "PDF Files(*.pdf)|*.pdf|"
    PageWriter pageWriter;   ///< the writer of a format that holds the report's pages, else null
    TableWriter tableWriter; ///< the writer of a format that holds the report's table, else null
    bool binary;             ///< not text: never written to a terminal

    /// Whether the format holds the report's pages (else its table).
    bool writesPages() const { return pageWriter != nullptr; }
};

/// Every format, in the order the save dialog lists them (PDF, the format most people want,
/// first; formats added later at the end, so the places of the others stay).
std::span<const ReportFormatInfo> reportFormats();

/// The entry of `format`; a value outside the enumeration gets the report document's entry, as
/// an unknown code writes the report document.
const ReportFormatInfo& reportFormatInfo(ReportFormat format);

/// The format of a --format name, compared without regard to case; nothing for other names.
std::optional<ReportFormat> reportFormatNamed(const QString& name);

} // namespace tallyrow
