#pragma once

#include "engine/Control.h"

#include <QString>

namespace tallyrow::engine {

enum class SummaryType { None, GrandTotal };
enum class FieldKind { Data, PageNumber, PageCount };

/// A text box: bound to a column of the data control's row set (`dataField`) or unbound
/// (`text` set by code). A field bound to a column the row set lacks shows nothing. With a
/// grand-total summary it shows the sum of its column over all Detail rows, as plain
/// decimal digits.
class Field final : public Control {
public:
    FieldKind kind = FieldKind::Data;
    QString dataField;
    QString text;
    SummaryType summary = SummaryType::None;
};

} // namespace tallyrow::engine
