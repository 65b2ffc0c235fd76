#pragma once

#include "output/ReportFormat.h"

#include <QString>

namespace tallyrow {

namespace engine {
class Report;
}

/// Writes `report` to `path` in `format`: the table for a format that holds tables (false when
/// the report has none), else the report's pages through SaveReport. True when written.
bool SaveShownReport(const engine::Report* report, const QString& path, ReportFormat format);

} // namespace tallyrow
