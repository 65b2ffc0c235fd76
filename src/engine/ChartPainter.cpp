#include "engine/ChartPainter.h"
#include "engine/PagePainter.h"

#include <QPainter>

namespace tallyrow::engine {

void paintChart(QPainter& painter, const QRectF& rect, const ChartSpec&) {
    painter.save();
    painter.setPen(Qt::gray);
    painter.drawRect(rect);
    painter.restore();
}

} // namespace tallyrow::engine
