#pragma once

#include "engine/ChartDefinition.h"

#include <QColor>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVector>

#include <variant>

namespace tallyrow::engine {

/// Units: every length of a page collection is in twips (1/1440 inch). Item coordinates are
/// measured from the top-left corner of the printable area (PageCollection::printableRect).
inline constexpr double kTwipsPerInch = 1440.0;

struct FontStyle {
    QString face = QStringLiteral("Tahoma");
    double pointSize = 10.0;
    bool bold = false;
    bool italic = false;
    bool operator==(const FontStyle&) const = default;
};

/// Text placed in a rectangle. `alignment` is a Qt::Alignment value.
struct TextItem {
    QRectF rect;
    QString text;
    FontStyle font;
    QColor color = Qt::black;
    int alignment = 0x0001 | 0x0080; // Qt::AlignLeft | Qt::AlignTop
    QString name;                    ///< the control it came from (lets exports tell headings from values)
};

/// A straight rule.
struct LineItem {
    QPointF from;
    QPointF to;
    double width = 15.0; ///< twips
    QColor color = Qt::black;
};

/// A chart drawn into a rectangle from its definition and data (kept as data so every output
/// draws it as vectors).
struct ChartItem {
    QRectF rect;
    ChartDefinition chart;
};

/// A rectangle filled with one colour, drawn under the items that follow it (a shaded table
/// cell, a legend swatch).
struct FillItem {
    QRectF rect;
    QColor color;
};

using PageItem = std::variant<TextItem, LineItem, ChartItem, FillItem>;

struct Page {
    QVector<PageItem> items;
};

/// The laid-out pages of one report run: what the viewer shows, the printer prints and every
/// export reads. Self-contained: no reference to the report that produced it.
struct PageCollection {
    QString title;        ///< document title (PDF title, window captions)
    QSizeF paperSize;     ///< whole sheet, twips, portrait
    QRectF printableRect; ///< where page items are placed, twips on the sheet (margins)
    QVector<Page> pages;
};

} // namespace tallyrow::engine
