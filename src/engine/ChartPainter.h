#pragma once

#include "engine/PageCollection.h"

#include <QFont>

namespace tallyrow::engine {

/// The font of `definition` sized for a coordinate system with `unitsPerPoint` painter units per point
/// (20 in twips). Pixel-sized, so it scales with the painter's transform on every device.
QFont reportFont(const FontStyle& definition, double unitsPerPoint);

} // namespace tallyrow::engine
