#pragma once

#include <QByteArray>
#include <QString>

namespace tallyrow {

class TableReport;
struct ReportTable;

// The table of a report as comma-separated values (RFC 4180: CRLF line ends, fields quoted
// when they hold a comma, a quote or a line break; UTF-8; a header row). It holds the figures
// of the report's table whether or not the table is shown: one line per row, each cell as its
// column's kind writes it (text guarded by csvText(), whole numbers, one decimal, YYYY-MM-DD,
// a row sum as a whole number). A report that did not read its data gives the header row only.
QByteArray reportCsv(const ReportTable& table);
QByteArray reportCsv(const TableReport& report);

/// Writes the CSV of a report that has run to `path`, replacing the file only once the whole
/// text is written. Raises an Error naming the file when it cannot be written
/// (with the step "writing the CSV file").
void writeReportCsv(const TableReport& report, const QString& path);
void writeReportCsv(const ReportTable& table, const QString& path);

/// A text cell, a name from the data above all: with an apostrophe in front when it starts with
/// "=", "+", "-", "@", a tab or a carriage return, so that a spreadsheet shows it as text and
/// never runs it as a formula. Numbers the report writes are not passed through it, so a negative
/// number stays a number.
QString csvText(const QString& text);

/// One CSV field: quoted (quotes doubled) when it holds a comma, a quote, CR or LF.
QString csvField(const QString& value);

} // namespace tallyrow
