#pragma once

#include "engine/Control.h"

#include <QPointF>

namespace tallyrow::engine {

/// A rule from one point to another (a horizontal or vertical line), twips within the section.
class Line final : public Control {
public:
    QPointF from;
    QPointF to;
    double width = 15.0;
};

} // namespace tallyrow::engine
