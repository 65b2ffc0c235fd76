#pragma once

#include "engine/ChartDefinition.h"

#include <QColor>
#include <QLineF>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QVector>

namespace tallyrow::engine {

/// The geometry of one chart, computed apart from any painter so it can be checked: where the
/// plot, bars, line points, axis labels, grid lines, tick marks and legend entries go. Every
/// length is twips within the chart's rectangle; y grows downwards as on the page.
struct ChartLayout {
    enum class Kind { Bar, Line, Area, Step, Combination, Pie, XY };

    struct TextBox {
        QRectF rect;
        QString text;
        int alignment = 0;     ///< Qt::Alignment
        bool vertical = false; ///< drawn turned 90 degrees anticlockwise inside rect
    };
    struct Bar {
        int series = 0;
        int category = 0;
        QRectF rect;    ///< front face, on the plot's front plane
        QPointF offset; ///< 3D: where the box stands, back from the front plane
        QPointF depth;  ///< 3D: how far the box reaches back from there
    };
    /// The points of one series drawn as a line, a step or the top edge of an area.
    struct SeriesLine {
        int series = 0;
        QVector<QPointF> points; ///< on the plot's front plane
        bool markers = false;
        /// Where the markers go when not at every point (a drawing that thins dense series).
        QVector<QPointF> markerPoints;
        /// The points are each pixel column's envelope: stroke them at least a pixel wide, as
        /// the many overlapping strokes of the full series come out.
        bool thinned = false;
        QPointF offset; ///< 3D: each series has a lane of its own, back from the front plane
        QPointF depth;  ///< 3D: width of the series' ribbon within its lane
    };
    struct Slice {
        int index = 0;         ///< series (several series) or category (one series)
        double startAngle = 0; ///< degrees, anticlockwise from 3 o'clock, as QPainter takes them
        double spanAngle = 0;  ///< degrees, negative = clockwise
        QColor color;
        TextBox label; ///< empty text when the slice is too thin to label
    };
    struct LegendEntry {
        QString text;
        QColor color;
        QRectF swatch;
        QRectF textRect;
    };

    Kind kind = Kind::Bar;
    bool threeD = false;
    /// Bars lie along a horizontal value axis at the bottom; the categories run down the left
    /// side, the first at the top, with their labels and grid lines turned to match.
    bool horizontal = false;
    QRectF bounds;
    QRectF plotRect; ///< front plane of the plot area
    QPointF depth;   ///< offset of the back plane from the front plane (0,0 in 2D)
    QVector<QColor> seriesColors;

    // Value axis (vertical, or horizontal at the bottom): range and the values that get a label /
    // grid line / tick mark.
    double axisMin = 0;
    double axisMax = 1;
    double axisStep = 1;
    QVector<double> valueTicks;
    // Category axis (horizontal, or vertical at the left); for XY charts a range like the value axis, with
    // xTicks the positions that carry a label (xStep 0 when those are the categories' own positions).
    int categoryCount = 0;
    int categoryLabelStep = 1; ///< every n-th category is labelled
    double xMin = 0;
    double xMax = 1;
    double xStep = 1;
    QVector<double> xTicks;

    QVector<TextBox> valueLabels;
    QVector<TextBox> categoryLabels;
    TextBox valueTitle;
    TextBox categoryTitle;
    QVector<QLineF> valueGridLines;    ///< empty when the value axis's grid style is 0
    QVector<QLineF> categoryGridLines; ///< empty when the category axis's grid style is 0
    QVector<QLineF> valueTickMarks;    ///< empty when the value axis's tick style is 0
    QVector<QLineF> categoryTickMarks; ///< empty when the category axis's tick style is 0
    int valueGridStyle = 1;
    int categoryGridStyle = 1;

    double baselineY = 0; ///< where bars and areas start (value 0, held inside the axis range)
    double baselineX = 0; ///< the same for horizontal bars
    QVector<Bar> bars;
    QVector<SeriesLine> lines; ///< lines, steps, area top edges, XY series
    QVector<int> paintOrder;   ///< indexes into `lines`, back to front
    QVector<Slice> slices;
    QRectF pieRect;
    QVector<LegendEntry> legend;

    /// y of `value` on the value axis.
    double yFor(double value) const;
    /// x of `value` on a horizontal value axis.
    double xFor(double value) const;
};

ChartLayout::Kind chartKind(int chartType);
bool isThreeD(int chartType);

/// Lays `chart` out in `bounds` (twips). Handles any number of categories and series, including
/// none: labels thin out instead of overlapping and stay inside `bounds`.
ChartLayout layoutChart(const ChartDefinition& chart, const QRectF& bounds);

/// The category whose slot holds `point` (twips, as the layout's): a column of a vertical chart,
/// a row of horizontal bars; -1 outside the plot and for pies and XY charts, which have no slots.
int categoryAt(const ChartLayout& layout, QPointF point);

/// The colour of series `index` (distinct for the first ten, then repeating).
QColor seriesColor(int index);
/// The colour series `index` of `chart` is drawn in: its own, or for a lighter series a light
/// tint of the first series' colour.
QColor seriesColor(const ChartDefinition& chart, int index);

} // namespace tallyrow::engine
