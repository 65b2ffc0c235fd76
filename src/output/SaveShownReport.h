#pragma once

#include "output/ReportFormat.h"

#include <QString>

namespace tallyrow {

namespace engine {
class Report;
}

/// Writes `report` to `path` in `format`: the table for a format that holds tables, else the
/// report's pages through saveReport. True when written; otherwise `errorText`, when given,
/// receives the reason (the system's words for a failed write).
bool saveShownReport(const engine::Report* report, const QString& path, ReportFormat format,
                     QString* errorText = nullptr);

/// The sentence "Report not saved" gives for a failed save to `path`: a missing folder or a
/// missing write permission named as such, anything else by the system's own text.
QString saveFailureReason(const QString& path, const QString& systemText);

} // namespace tallyrow
