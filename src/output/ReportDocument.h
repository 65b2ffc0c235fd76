#pragma once

#include "engine/PageCollection.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

namespace tallyrow {

/// Error number of a file that is not a readable report document (damaged, foreign, or from a
/// newer program). Same number the runtime used for "Invalid file format".
inline constexpr long kErrInvalidFileFormat = 321;

/// Newest report document version this program writes and reads (see
/// docs/report-document-format.md). A document is written in the oldest version that holds it:
/// version 1 unless a page has a filled rectangle or a chart has a series drawn lighter.
inline constexpr quint16 kReportDocumentVersion = 2;

/// Largest report document the loader reads; anything bigger is refused before reading it.
inline constexpr qint64 kMaxReportDocumentSize = 256LL * 1024 * 1024;

/// The whole page collection as a report document (header, checksum, payload).
QByteArray serializeReportDocument(const engine::PageCollection& pages);

/// Writes serializeReportDocument(pages) to `device`; raises an Error when the device refuses.
void writeReportDocument(const engine::PageCollection& pages, QIODevice& device);

/// Reads a report document from memory. `fileName` only names the file in error messages.
/// Damaged, truncated or foreign data raises Error kErrInvalidFileFormat whose description names
/// the file and what is wrong; no length or count field makes it allocate more than the data
/// could hold.
engine::PageCollection parseReportDocument(QByteArrayView data, const QString& fileName);

/// Opens `path` and parses it. A missing file raises ErrNo::FileNotFound, an unreadable one
/// ErrNo::PermissionDenied or ErrNo::PathFileAccess, a damaged one kErrInvalidFileFormat; the
/// outermost step is "reading the report document".
engine::PageCollection loadReportDocument(const QString& path);

/// True when the file at `path` starts as a report document does (its first eight bytes);
/// whether the rest is sound is for loadReportDocument to say.
bool isReportDocumentFile(const QString& path);

/// CRC-32 (the zlib/PNG polynomial) over `data`: the report document's checksum.
quint32 reportDocumentChecksum(QByteArrayView data);

} // namespace tallyrow
