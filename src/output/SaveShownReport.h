#pragma once

#include <QString>

namespace tallyrow {

namespace engine {
class Report;
}

/// Format code of the comma-separated table. It follows the five codes of the report formats;
/// it writes the report's table rather than its pages.
inline constexpr int kCsvFileFormat = 5;
/// Format code of the Excel workbook (.xlsx): the table too, with its totals and chart.
inline constexpr int kXlsxFileFormat = 6;

/// Writes `report` to `path` in `format`: the table as CSV for kCsvFileFormat or as an Excel
/// workbook for kXlsxFileFormat (output/XlsxExport.h), else the report's
/// pages as SaveReport does (any unknown code writes the report document). True when written;
/// otherwise `errorText`, when given, receives the system's reason.
bool SaveShownReport(const engine::Report* report, const QString& path, int format,
                     QString* errorText = nullptr);

/// The sentence "Report not saved" gives for a failed save to `path`: a missing folder or a
/// missing write permission named as such, anything else by the system's own text.
QString saveFailureReason(const QString& path, const QString& systemText);

} // namespace tallyrow
