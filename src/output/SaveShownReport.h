#pragma once

#include <QString>

namespace tallyrow {

namespace engine {
class Report;
}

/// Format code of the comma-separated table. It follows the five codes of the report formats;
/// it writes the report's table rather than its pages.
inline constexpr int kCsvFileFormat = 5;

/// Writes `report` to `path` in `format`: the table as CSV for kCsvFileFormat, else the report's
/// pages through SaveReport (any unknown code writes the report document). True when written.
bool SaveShownReport(const engine::Report* report, const QString& path, int format);

} // namespace tallyrow
