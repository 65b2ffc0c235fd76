#pragma once

#include "engine/PageCollection.h"

#include <QVector>

namespace tallyrow {

/// One horizontal band of a page as the flowing exports see it: either the text items that
/// share a line (left to right), or a chart.
struct PageBand {
    double top = 0;                         ///< twips from the top of the printable area
    double bottom = 0;                      ///< lowest bottom edge of the band's items
    QVector<const engine::TextItem*> texts; ///< empty for a chart band
    /// The fill drawn behind each text (a shaded cell, a legend swatch), in the order of
    /// `texts`; an invalid colour where the text stands on the bare page.
    QVector<QColor> fills;
    const engine::ChartItem* chart = nullptr;
};

/// The page's texts and charts in reading order: bands top to bottom, texts of a band left to
/// right. Texts whose tops lie within half a line of the band's first text share its band, so
/// labels and fields of one table row stay together even when their heights differ. Rules and
/// fills are left out, fills as the colour behind a text; so are blank texts unless `keepBlank`
/// (a table keeps its empty cells).
QVector<PageBand> pageBands(const engine::Page& page, bool keepBlank = false);

/// The x position that lines a text up with its column: the right edge of right-aligned text,
/// the centre of centred text, the left edge otherwise.
double columnAnchor(const engine::TextItem& item);

/// Groups positions into columns: sorted positions less than `tolerance` apart from their
/// neighbour fall into one column. Returns the smallest position of each column, ascending.
QVector<double> clusterPositions(QVector<double> positions, double tolerance);

/// Index of the column of `position` among `columns` (as clusterPositions returns them).
int columnIndex(const QVector<double>& columns, double position);

/// Whether `text` is a plain decimal number ("12", "-3.5", "0.25"): no grouping, no exponent,
/// no currency, surrounding blanks allowed. Sets `value` when it is.
bool isPlainNumber(const QString& text, double* value);

} // namespace tallyrow
