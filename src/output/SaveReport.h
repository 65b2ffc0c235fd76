#pragma once

#include "engine/PageCollection.h"

#include <QString>

#include <functional>

class QIODevice;

namespace tallyrow {

/// The file formats a report can be saved in (the format list's item data).
namespace ReportFileFormat {
inline constexpr int Rdf = 0; ///< the report document, reopened by the viewer
inline constexpr int Pdf = 1;
inline constexpr int Txt = 2;
inline constexpr int Rtf = 3;
inline constexpr int Xls = 4;
} // namespace ReportFileFormat

/// Writes `pages` to `device` in `format` (any code other than 1 to 4 writes the report
/// document). Raises an Error when the writing fails.
void writeReport(const engine::PageCollection& pages, QIODevice& device, int format);

/// Saves the report to `path` in `format` (ReportFileFormat; any other code writes the report
/// document, whatever the extension). True exactly when the whole file was written.
///
/// The file is written beside the target under a temporary name and takes the target's place
/// only once it is complete: a failed save leaves an existing file at `path` as it was and leaves
/// no partial file behind. A missing folder, a folder without write permission, a full disk, or
/// a folder, device or pipe named `path` all give false; `errorText`, when given, then receives
/// the reason in the system's words ("No space left on device"). A file that is replaced keeps
/// its permission bits.
bool SaveReport(const engine::PageCollection& pages, const QString& path, int format,
                QString* errorText = nullptr);

/// The replacement step of SaveReport on its own: runs `write` on a buffer and puts the bytes in
/// place of `path` only when `write` returns without an Error and every byte reached the disk. Returns false
/// otherwise, with `path` untouched. `errorText`, when given, receives the reason of a failure.
bool saveFileAtomically(const QString& path, const std::function<void(QIODevice&)>& write,
                        QString* errorText = nullptr);

} // namespace tallyrow
