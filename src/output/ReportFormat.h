#pragma once

#include <QLatin1String>
#include <QString>

#include <optional>
#include <span>

namespace tallyrow {

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
};

/// Everything the program says about one format, in one place.
struct ReportFormatInfo {
    ReportFormat format;
    QLatin1String name;      ///< as tallyrow-export's --format takes it: "pdf"
    QLatin1String extension; ///< with its dot: ".pdf"
    QLatin1String listEntry; ///< the save dialog's entry: "Acrobat (PDF)"
    QLatin1String filter;    ///< the save dialog's file filter: "PDF Files(*.pdf)|*.pdf|"
    bool writesPages;        ///< false: the format holds the report's table, not its pages
    bool binary;             ///< not text: never written to a terminal
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
