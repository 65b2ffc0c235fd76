#include "engine/Control.h"

namespace tallyrow::engine {

Control::~Control() = default;

} // namespace tallyrow::engine
