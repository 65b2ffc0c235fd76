#pragma once

#include "engine/PageCollection.h"

#include <QRectF>

class QPainter;

namespace tallyrow::engine {

/// How much of a chart's data a drawing keeps. Full draws every point as a vector (paper, PDF,
/// exports). Screen draws a series with more points than the plot has pixel columns as each
/// column's lowest and highest point: the same picture, drawn in a fraction of the time.
enum class PaintDetail { Full, Screen };

/// Draws page `index` of `doc` with the whole sheet mapped onto `sheetRect` (device units of the
/// painter). Works on any paint device: screen, image, printer, PDF (text stays text).
void paintPage(QPainter& painter, const PageCollection& doc, int index, const QRectF& sheetRect,
               PaintDetail detail = PaintDetail::Full);

/// Draws a chart into `rect` (painter units) on a painter that paints straight onto its device:
/// the chart keeps its physical size (text in points) at the device's resolution.
void paintChart(QPainter& painter, const QRectF& rect, const ChartDefinition& chart,
                PaintDetail detail = PaintDetail::Full);

/// Draws a chart into `rect` with `unitsPerTwip` painter units to a twip of the chart's own
/// layout. Pages pass 1: their painter already works in twips of the sheet, so the chart scales
/// with the page on every device and at every zoom.
void paintChartScaled(QPainter& painter, const QRectF& rect, const ChartDefinition& chart,
                      double unitsPerTwip, PaintDetail detail = PaintDetail::Full);

/// Registers the report fonts (Tahoma from fonts-wine, DejaVu Sans as fallback) once per process.
void registerReportFonts();

} // namespace tallyrow::engine
