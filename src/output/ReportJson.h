#pragma once

#include <QByteArray>
#include <QString>

namespace tallyrow {

struct ReportTable;

/// The table of a report that has run as one JSON object, the same columns and rows its CSV
/// holds:
///
///   {"report": "day" | "totals" | "users",
///    "range": {"from": "YYYY-MM-DD", "to": "YYYY-MM-DD"},
///    "whom": {"user": name or null, "computer": name or null},   (null: everybody, any computer)
///    "columns": [the CSV's headings],
///    "rows": [[a cell for each column: text as text, a day as "YYYY-MM-DD", a figure as a
///              number (null where there is none)], ...],
///    "totals": {heading: the sum of that column, for each figure column that adds up}}
///
/// A share or a count of active days does not add up and has no total. Names are as the data
/// holds them (the CSV's guard against formulas is not applied).
QByteArray reportJson(const ReportTable& table);

/// Writes reportJson(table) to `path`, replacing the file only once the whole text is written
/// (a name of an open descriptor is written through it). Raises an Error naming the file when it
/// cannot be written.
void writeReportJson(const ReportTable& table, const QString& path);

} // namespace tallyrow
