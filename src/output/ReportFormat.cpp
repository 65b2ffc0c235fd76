#include "output/ReportFormat.h"

#include "output/ExportFilters.h"
#include "output/ReportDocument.h"
#include "output/ReportJson.h"
#include "output/XlsxExport.h"
#include "reports/ReportCsv.h"

#include <array>

namespace tallyrow {

namespace {

void writeCsv(const ReportTable& table, const QString& path) {
    writeReportCsv(table, path);
}

void writeXlsx(const ReportTable& table, const QString& path) {
    writeReportXlsx(table, path);
}

// Every format once, with its writer.
const std::array<ReportFormatInfo, 9> kFormats{{
    {ReportFormat::Pdf, QLatin1String("pdf"), QLatin1String(".pdf"), QLatin1String("Acrobat (PDF)"),
     QLatin1String("PDF Files(*.pdf)|*.pdf|"), writePdf, nullptr, true},
    {ReportFormat::Rtf, QLatin1String("rtf"), QLatin1String(".rtf"), QLatin1String("Rich Text File (RTF)"),
     QLatin1String("Rich text files(*.rtf)|*.rtf|"), writeRichText, nullptr, false},
    {ReportFormat::Txt, QLatin1String("txt"), QLatin1String(".txt"), QLatin1String("Text (TXT)"),
     QLatin1String("Text Files(*.txt)|*.txt|"), writePlainText, nullptr, false},
    {ReportFormat::Xls, QLatin1String("xls"), QLatin1String(".xls"), QLatin1String("Excel Spreadsheet (XLS)"),
     QLatin1String("Excel spreadsheet(*.xls)|*.xls|"), writeSpreadsheet, nullptr, true},
    {ReportFormat::Rdf, QLatin1String("rdf"), QLatin1String(".rdf"), QLatin1String("Active Report (RDF)"),
     QLatin1String("Active Report files(*.rdf)|*.rdf|"), writeReportDocument, nullptr, true},
    {ReportFormat::Csv, QLatin1String("csv"), QLatin1String(".csv"), QLatin1String("CSV (comma separated)"),
     QLatin1String("CSV files(*.csv)|*.csv|"), nullptr, writeCsv, false},
    {ReportFormat::Xlsx, QLatin1String("xlsx"), QLatin1String(".xlsx"),
     QLatin1String("Excel workbook (.xlsx)"), QLatin1String("Excel workbook (.xlsx)|*.xlsx|"), nullptr,
     writeXlsx, true},
    {ReportFormat::Html, QLatin1String("html"), QLatin1String(".html"), QLatin1String("Web page (HTML)"),
     QLatin1String("Web pages(*.html)|*.html|"), writeWebPage, nullptr, false},
    {ReportFormat::Json, QLatin1String("json"), QLatin1String(".json"), QLatin1String("JSON (report table)"),
     QLatin1String("JSON files(*.json)|*.json|"), nullptr, writeReportJson, false},
}};

} // namespace

std::span<const ReportFormatInfo> reportFormats() {
    return kFormats;
}

const ReportFormatInfo& reportFormatInfo(ReportFormat format) {
    for (const ReportFormatInfo& info : kFormats) {
        if (info.format == format)
            return info;
    }
    return reportFormatInfo(ReportFormat::Rdf);
}

std::optional<ReportFormat> reportFormatNamed(const QString& name) {
    for (const ReportFormatInfo& info : kFormats) {
        if (name.compare(info.name, Qt::CaseInsensitive) == 0)
            return info.format;
    }
    return std::nullopt;
}

} // namespace tallyrow
