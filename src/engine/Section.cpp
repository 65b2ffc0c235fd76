#include "engine/Section.h"

#include <utility>

namespace tallyrow::engine {

Section::Section(SectionKind kind, QString name, double height)
    : kind(kind), name(std::move(name)), height(height) {}

} // namespace tallyrow::engine
