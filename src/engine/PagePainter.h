#pragma once

#include "engine/PageCollection.h"

#include <QRectF>

class QPainter;

namespace tallyrow::engine {

/// Draws page `index` of `doc` with the whole sheet mapped onto `sheetRect` (device units of the
/// painter). Works on any paint device: screen, image, printer, PDF (text stays text).
void paintPage(QPainter& painter, const PageCollection& doc, int index, const QRectF& sheetRect);

/// Draws a chart into `rect` (painter units).
void paintChart(QPainter& painter, const QRectF& rect, const ChartDefinition& chart);

/// Registers the report fonts (Tahoma from fonts-wine, DejaVu Sans as fallback) once per process.
void registerReportFonts();

} // namespace tallyrow::engine
