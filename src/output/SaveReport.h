#pragma once

#include "engine/PageCollection.h"
#include "output/ReportFormat.h"

#include <QString>

#include <functional>

class QIODevice;

namespace tallyrow {

namespace engine {
class Report;
}

/// Writes `pages` to `device` in `format` (a format that holds no pages, or a value outside the
/// enumeration, writes the report document). Raises an Error when the writing fails.
void writeReport(const engine::PageCollection& pages, QIODevice& device, ReportFormat format);

/// Writes the table of `report` (a report that has run) to `path` in `format`, a format that
/// holds tables. Raises an Error naming the file when it cannot be written, and one for a report
/// without a table or a format that holds pages.
void writeReportTable(const engine::Report& report, ReportFormat format, const QString& path);

/// Saves the report to `path` in `format` (as writeReport chooses the writer, whatever the
/// extension). True exactly when the whole file was written.
///
/// The file is written beside the target under a temporary name and takes the target's place
/// only once it is complete: a failed save leaves an existing file at `path` as it was and leaves
/// no partial file behind. A missing folder, a folder without write permission, a full disk, or
/// a folder, device or pipe named `path` all give false; `errorText`, when given, then receives
/// the reason in the system's words ("No space left on device"). A file that is replaced keeps
/// its permission bits.
bool saveReport(const engine::PageCollection& pages, const QString& path, ReportFormat format,
                QString* errorText = nullptr);

/// The replacement step of saveReport on its own: runs `write` on a buffer and puts the bytes in
/// place of `path` only when `write` returns without an Error and every byte reached the disk. Returns false
/// otherwise, with `path` untouched. `errorText`, when given, receives the reason of a failure.
bool saveFileAtomically(const QString& path, const std::function<void(QIODevice&)>& write,
                        QString* errorText = nullptr);

} // namespace tallyrow
