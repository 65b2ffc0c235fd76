#pragma once

#include "engine/PageCollection.h"

#include <QByteArray>

class QIODevice;

namespace tallyrow {

/// The export filters. Each reads only the page collection, so a report reopened from its
/// report document exports exactly as the run that produced it. Each raises an Error when the
/// device refuses the data; none of them opens or closes the device.

/// Width of one character column of the plain-text export: 12 characters per inch.
inline constexpr double kTextTwipsPerChar = 120.0;

/// PDF: one PDF page per report page on the report's paper, text kept as text with its fonts
/// embedded, charts as vectors, the collection's title as the document title.
void writePdf(const engine::PageCollection& pages, QIODevice& device);

/// Plain text, UTF-8: each page's texts in reading order, one line per band of the page, each
/// text starting at the character column of its position on the page (right-aligned text ending
/// at its right edge). Pages are separated by a form feed; charts and rules are left out.
QByteArray plainTextExport(const engine::PageCollection& pages);
void writePlainText(const engine::PageCollection& pages, QIODevice& device);

/// Rich text (RTF): texts with face, size, bold, italic and colour; bands of several texts as
/// table rows, a fill behind a text as its cell's shading; lines closely following each other
/// kept on one page; charts as PNG pictures; one RTF page per report page, same paper and margins.
QByteArray richTextExport(const engine::PageCollection& pages);
void writeRichText(const engine::PageCollection& pages, QIODevice& device);

/// Spreadsheet: an Excel 97-2003 (BIFF8) workbook with one sheet. Bands become rows, text
/// positions become columns (shared by all pages), texts that are plain numbers become number
/// cells; fonts, colours, alignment and the fill behind a text go with the cells. Columns are at
/// least as wide as their numbers, and the sheet prints one page wide on the report's paper.
/// Pages follow one another with an empty row between them. Raises an Error when the report has
/// more rows or columns than the format.
QByteArray spreadsheetExport(const engine::PageCollection& pages);
void writeSpreadsheet(const engine::PageCollection& pages, QIODevice& device);

/// Web page: one HTML file, UTF-8, that a browser or a mail program shows as it is: no script,
/// nothing fetched from elsewhere (styles inline, charts as inline SVG), and well-formed XML as
/// well, so any XML reader takes it. Each report page is a section that starts a new sheet when
/// printed. A band of one text is a paragraph with the text's face, size, style, colour and
/// alignment; bands of several texts that follow closely are the rows of one table whose columns
/// line up as on the page, the fill behind a text being its cell's background and a rule across
/// a row its border; other rules are lines of their own; gaps between bands are kept.
QByteArray webPageExport(const engine::PageCollection& pages);
void writeWebPage(const engine::PageCollection& pages, QIODevice& device);

} // namespace tallyrow
