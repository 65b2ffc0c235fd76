#include "engine/ChartPainter.h"

#include "engine/ChartLayout.h"
#include "engine/PagePainter.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyrow::engine {

namespace {

Qt::PenStyle penStyle(int style) {
    switch (style) {
    case 0:
        return Qt::NoPen;
    case 2:
        return Qt::DashLine;
    case 3:
        return Qt::DotLine;
    case 4:
        return Qt::DashDotLine;
    case 5:
        return Qt::DashDotDotLine;
    default:
        return Qt::SolidLine;
    }
}

const QColor kAxisColor(0x40, 0x40, 0x40);
const QColor kGridColor(0xc8, 0xc8, 0xc8);
const QColor kTextColor(0x20, 0x20, 0x20);

void drawText(QPainter& p, const ChartLayout::TextBox& box) {
    if (box.text.isEmpty())
        return;
    if (!box.vertical) {
        p.drawText(box.rect, box.alignment | Qt::TextDontClip | Qt::TextSingleLine, box.text);
        return;
    }
    p.save();
    p.translate(box.rect.center());
    p.rotate(-90);
    const QRectF turned(-box.rect.height() / 2, -box.rect.width() / 2, box.rect.height(), box.rect.width());
    p.drawText(turned, box.alignment | Qt::TextDontClip | Qt::TextSingleLine, box.text);
    p.restore();
}

QPolygonF quad(QPointF a, QPointF b, QPointF c, QPointF d) {
    return QPolygonF({a, b, c, d});
}

/// A bar as a box seen obliquely: front face, top and right side.
void drawBar3D(QPainter& p, const QRectF& r, QPointF depth, const QColor& color) {
    p.setPen(QPen(color.darker(150), 6));
    p.setBrush(color.darker(130));
    p.drawPolygon(quad(r.topRight(), r.topRight() + depth, r.bottomRight() + depth, r.bottomRight()));
    p.setBrush(color.lighter(125));
    p.drawPolygon(quad(r.topLeft(), r.topLeft() + depth, r.topRight() + depth, r.topRight()));
    p.setBrush(color);
    p.drawRect(r);
}

/// A line with depth: one band per segment, back edge first, then the front edge as a line.
void drawRibbon(QPainter& p, const QVector<QPointF>& pts, QPointF depth, const QColor& color) {
    p.setPen(QPen(color.darker(140), 6));
    for (int i = 0; i + 1 < pts.size(); ++i) {
        const QPointF a = pts.at(i), b = pts.at(i + 1);
        // Surfaces that face up are lit, those that face down are in shadow.
        p.setBrush(b.y() <= a.y() + 1e-6 || b.x() > a.x() + 1e-6 ? color.lighter(115) : color.darker(120));
        p.drawPolygon(quad(a, b, b + depth, a + depth));
    }
}

void drawMarker(QPainter& p, QPointF at, double size) {
    p.drawEllipse(at, size / 2, size / 2);
}

struct ChartFonts {
    QFont label = reportFont(FontStyle{u"Tahoma"_s, 8}, 20.0);
    QFont title = reportFont(FontStyle{u"Tahoma"_s, 9, true}, 20.0);
};

QColor colorOf(const ChartLayout& l, int series) {
    return l.seriesColors.value(series, seriesColor(series));
}

void paintPie(QPainter& painter, const ChartLayout& l, const ChartFonts& fonts) {
    for (const auto& s : l.slices) {
        // Thin slices get a thin border so many of them don't wash out into white.
        const double arc = std::fabs(s.spanAngle) / 360.0 * M_PI * l.pieRect.width();
        painter.setPen(arc > 60 ? QPen(Qt::white, 12) : QPen(s.color, 0));
        painter.setBrush(s.color);
        painter.drawPie(l.pieRect, static_cast<int>(std::lround(s.startAngle * 16)),
                        static_cast<int>(std::lround(s.spanAngle * 16)));
    }
    painter.setFont(fonts.label);
    painter.setPen(kTextColor);
    for (const auto& s : l.slices)
        drawText(painter, s.label);
}

/// Plot background: in 3D a back wall and a floor, in 2D a plain frame; then the grid lines.
void paintPlotBackground(QPainter& painter, const ChartLayout& l) {
    const QRectF& plot = l.plotRect;
    const QPointF d = l.depth;
    if (l.threeD) {
        painter.setPen(QPen(kGridColor, 8));
        painter.setBrush(QColor(0xf6, 0xf6, 0xf8));
        painter.drawRect(plot.translated(d));
        painter.setBrush(QColor(0xe6, 0xe6, 0xea));
        painter.drawPolygon(
            quad(plot.bottomLeft(), plot.bottomLeft() + d, plot.bottomRight() + d, plot.bottomRight()));
        painter.setBrush(QColor(0xee, 0xee, 0xf0));
        painter.drawPolygon(
            quad(plot.bottomLeft(), plot.topLeft(), plot.topLeft() + d, plot.bottomLeft() + d));
    }
    QPen grid(kGridColor, 8, penStyle(l.valueGridStyle));
    painter.setPen(grid);
    for (const auto& line : l.valueGridLines) {
        painter.drawLine(line);
        if (l.threeD) // carry the line along the side wall
            painter.drawLine(QLineF(plot.left(), line.y1() - d.y(), plot.left() + d.x(), line.y1()));
    }
    grid.setStyle(penStyle(l.categoryGridStyle));
    painter.setPen(grid);
    for (const auto& line : l.categoryGridLines)
        painter.drawLine(line);
}

void paintBars(QPainter& painter, const ChartLayout& l) {
    for (const auto& bar : l.bars) {
        const QColor c = colorOf(l, bar.series);
        if (l.threeD) {
            drawBar3D(painter, bar.rect.translated(bar.offset), bar.depth, c);
        } else {
            // Thin bars go without an outline, which would leave no colour inside.
            const double across = l.horizontal ? bar.rect.height() : bar.rect.width();
            painter.setPen(across > 60 ? QPen(c.darker(140), 6) : Qt::NoPen);
            painter.setBrush(c);
            painter.drawRect(bar.rect);
        }
    }
}

/// Widens `pen` to one device pixel where it is thinner.
void atLeastOnePixel(const QPainter& painter, QPen& pen) {
    const QTransform t = painter.combinedTransform();
    const double pixelsPerUnit = std::hypot(t.m11(), t.m12());
    if (pixelsPerUnit > 0)
        pen.setWidthF(std::max(pen.widthF(), 1.0 / pixelsPerUnit));
}

/// Strokes `pts`; a thinned series in runs of a few points: an antialiased stroke of a zigzag
/// costs far more per point the longer the polyline is, and at a pixel's width the joins left
/// out between runs don't show.
void drawSeriesPolyline(QPainter& painter, const QVector<QPointF>& pts, bool thinned) {
    constexpr qsizetype kRun = 4;
    if (!thinned || pts.size() <= kRun) {
        painter.drawPolyline(pts.constData(), static_cast<int>(pts.size()));
        return;
    }
    for (qsizetype from = 0; from + 1 < pts.size(); from += kRun - 1)
        painter.drawPolyline(pts.constData() + from, static_cast<int>(std::min(kRun, pts.size() - from)));
}

/// The polygon an area series fills: its points down to the baseline.
QPolygonF areaPolygon(const ChartLayout& l, const ChartLayout::SeriesLine& line) {
    QPolygonF poly;
    poly << QPointF(line.points.first().x(), l.baselineY) << line.points
         << QPointF(line.points.last().x(), l.baselineY);
    return poly;
}

/// One area series, in the painter's coordinates of its lane, filled in its legend colour and
/// outlined. The fill is opaque: translucent fills of many series mix into colours no legend
/// entry has. The layout puts the largest series at the back, and in 2D every top edge is drawn
/// afterwards (paintAreaEdges), so no series in front hides one behind it from sight.
void paintArea(QPainter& painter, const ChartLayout& l, const ChartLayout::SeriesLine& line) {
    const QColor c = colorOf(l, line.series);
    const QPointF ld = line.depth;
    const QPointF lastBase(line.points.last().x(), l.baselineY);
    if (l.threeD) {
        drawRibbon(painter, line.points, ld, c);
        painter.setBrush(c.darker(130));
        painter.drawPolygon(quad(line.points.last(), line.points.last() + ld, lastBase + ld, lastBase));
    }
    QPen outline(c.darker(150), l.threeD ? 12 : 8);
    outline.setJoinStyle(Qt::RoundJoin);
    painter.setPen(outline);
    painter.setBrush(c);
    painter.drawPolygon(areaPolygon(l, line));
}

/// 2D areas: every series' top edge over all the fills, so none is lost under another.
void paintAreaEdges(QPainter& painter, const ChartLayout& l, const QVector<int>& order) {
    for (int k : order) {
        const auto& line = l.lines.at(k);
        if (line.points.isEmpty())
            continue;
        QPen pen(colorOf(l, line.series).darker(115), 18);
        pen.setJoinStyle(Qt::RoundJoin);
        if (line.thinned)
            atLeastOnePixel(painter, pen);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        drawSeriesPolyline(painter, line.points, line.thinned);
    }
}

/// One line, step or XY series, in the painter's coordinates of its lane.
void paintLine(QPainter& painter, const ChartLayout& l, const ChartLayout::SeriesLine& line) {
    const QColor c = colorOf(l, line.series);
    if (l.threeD)
        drawRibbon(painter, line.points, line.depth, c);
    // Dense series get a finer pen so neighbouring points stay apart.
    const double spacing = l.categoryCount > 0 ? l.plotRect.width() / l.categoryCount : l.plotRect.width();
    QPen pen(c, l.threeD ? 10 : std::clamp(spacing / 3, 8.0, 30.0));
    pen.setJoinStyle(Qt::RoundJoin);
    if (line.thinned)
        atLeastOnePixel(painter, pen);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    if (line.points.size() == 1 && !line.markers)
        drawMarker(painter, line.points.first(), 60);
    drawSeriesPolyline(painter, line.points, line.thinned);
    if (line.markers) {
        painter.setPen(QPen(c.darker(130), 8));
        painter.setBrush(c);
        for (const auto& pt : line.markerPoints.isEmpty() ? line.points : line.markerPoints)
            drawMarker(painter, pt, 80);
    }
}

/// Back to front as the layout orders them.
void paintSeriesLines(QPainter& painter, const ChartLayout& l) {
    QVector<int> order = l.paintOrder;
    if (order.size() != l.lines.size()) {
        order.clear();
        for (int k = static_cast<int>(l.lines.size()) - 1; k >= 0; --k)
            order.append(k);
    }
    for (int k : order) {
        const auto& line = l.lines.at(k);
        if (line.points.isEmpty())
            continue;
        painter.save();
        painter.translate(line.offset);
        if (l.kind == ChartLayout::Kind::Area)
            paintArea(painter, l, line);
        else
            paintLine(painter, l, line);
        painter.restore();
    }
    if (l.kind == ChartLayout::Kind::Area && !l.threeD)
        paintAreaEdges(painter, l, order);
}

/// The points of a series as drawn on a raster device whose pixel columns `toDevice` maps to:
/// each run of consecutive points within one pixel column becomes its first point, its lowest
/// and highest (in the order they come) and its last, so the stroke covers the same pixels.
QVector<QPointF> columnEnvelope(const QVector<QPointF>& pts, const QTransform& toDevice) {
    QVector<QPointF> out;
    const qsizetype n = pts.size();
    qsizetype i = 0;
    while (i < n) {
        const double column = std::floor(toDevice.map(pts.at(i)).x());
        qsizetype low = i, high = i, j = i + 1;
        for (; j < n && std::floor(toDevice.map(pts.at(j)).x()) == column; ++j) {
            if (pts.at(j).y() < pts.at(low).y())
                low = j;
            if (pts.at(j).y() > pts.at(high).y())
                high = j;
        }
        for (qsizetype k : {i, std::min(low, high), std::max(low, high), j - 1})
            if (out.isEmpty() || out.last() != pts.at(k))
                out << pts.at(k);
        i = j;
    }
    return out;
}

/// The layout as the screen shows it: series denser than the plot's pixel columns reduced to
/// their per-column envelope, their markers to one per device pixel.
void reduceToScreen(ChartLayout& l, const QTransform& toDevice) {
    const double columns = l.plotRect.width() * std::hypot(toDevice.m11(), toDevice.m12());
    for (auto& line : l.lines) {
        if (line.points.size() <= columns)
            continue;
        const QTransform laneToDevice =
            QTransform::fromTranslate(line.offset.x(), line.offset.y()) * toDevice;
        if (line.markers) {
            QSet<QPoint> seen;
            for (const QPointF& pt : line.points) {
                const QPoint pixel = laneToDevice.map(pt).toPoint();
                if (!seen.contains(pixel)) {
                    seen.insert(pixel);
                    line.markerPoints << pt;
                }
            }
        }
        line.points = columnEnvelope(line.points, laneToDevice);
        line.thinned = true;
    }
}

/// Axes, tick marks, labels and titles, drawn over the data.
void paintAxes(QPainter& painter, const ChartLayout& l, const ChartFonts& fonts) {
    const QRectF& plot = l.plotRect;
    painter.setPen(QPen(kAxisColor, 12));
    if (l.horizontal) {
        // The value axis along the bottom, the bars standing out from the zero line.
        painter.drawLine(plot.bottomLeft(), plot.bottomRight());
        painter.drawLine(QLineF(l.baselineX, plot.top(), l.baselineX, plot.bottom()));
    } else {
        painter.drawLine(plot.bottomLeft(), plot.topLeft());
        painter.drawLine(QLineF(plot.left(), l.baselineY, plot.right(), l.baselineY));
    }
    if (l.threeD)
        painter.drawLine(QLineF(plot.bottomLeft(), plot.bottomRight()));
    for (const auto& tick : l.valueTickMarks)
        painter.drawLine(tick);
    for (const auto& tick : l.categoryTickMarks)
        painter.drawLine(tick);

    painter.setFont(fonts.label);
    painter.setPen(kTextColor);
    for (const auto& box : l.valueLabels)
        drawText(painter, box);
    for (const auto& box : l.categoryLabels)
        drawText(painter, box);
    painter.setFont(fonts.title);
    drawText(painter, l.valueTitle);
    drawText(painter, l.categoryTitle);
}

void paintLegend(QPainter& painter, const ChartLayout& l, const ChartFonts& fonts) {
    painter.setFont(fonts.label);
    for (const auto& entry : l.legend) {
        painter.setPen(QPen(entry.color.darker(140), 6));
        painter.setBrush(entry.color);
        painter.drawRect(entry.swatch);
        painter.setPen(kTextColor);
        painter.drawText(entry.textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, entry.text);
    }
}

} // namespace

void paintChart(QPainter& painter, const QRectF& rect, const ChartDefinition& chart, PaintDetail detail) {
    // On a painter without a twip transform, find how many painter units make one twip on this
    // device, so the chart comes out at its physical size whatever the resolution.
    const QTransform t = painter.combinedTransform();
    const double scale = std::sqrt(std::fabs(t.determinant()));
    const double dpi = painter.device() ? painter.device()->logicalDpiY() : 96.0;
    paintChartScaled(painter, rect, chart, scale > 0 ? dpi / 1440.0 / scale : 1.0, detail);
}

void paintChartScaled(QPainter& painter, const QRectF& rect, const ChartDefinition& chart,
                      double unitsPerTwip, PaintDetail detail) {
    if (rect.width() <= 0 || rect.height() <= 0 || !(unitsPerTwip > 0))
        return;
    registerReportFonts();
    const QRectF bounds(0, 0, rect.width() / unitsPerTwip, rect.height() / unitsPerTwip);
    ChartLayout l = layoutChart(chart, bounds);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(rect.topLeft());
    painter.scale(unitsPerTwip, unitsPerTwip);
    painter.setClipRect(bounds, Qt::IntersectClip);
    painter.fillRect(bounds, Qt::white);
    if (detail == PaintDetail::Screen)
        reduceToScreen(l, painter.combinedTransform());

    const ChartFonts fonts;
    if (l.kind == ChartLayout::Kind::Pie) {
        paintPie(painter, l, fonts);
    } else {
        paintPlotBackground(painter, l);
        paintBars(painter, l);
        paintSeriesLines(painter, l);
        paintAxes(painter, l, fonts);
    }
    paintLegend(painter, l, fonts);
    painter.restore();
}

} // namespace tallyrow::engine
