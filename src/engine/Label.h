#pragma once

#include "engine/Control.h"

#include <QString>

namespace tallyrow::engine {

/// A fixed text.
class Label final : public Control {
public:
    QString caption;
};

} // namespace tallyrow::engine
