#pragma once

#include <QString>
#include <QVariant>

namespace tallyrow::engine {

/// A number as plain decimal digits: optional minus sign, digits, and a decimal point only when
/// there is a fraction (no grouping, no exponent), e.g. 1234, -7, 12.5.
QString plainNumber(double value);

/// What a field bound to a value shows: numbers as plain decimal digits, text as it is, null as
/// nothing.
QString valueText(const QVariant& value);

/// The number a value stands for when fields are added up: numbers as they are, text by its
/// leading number (blank or non-numeric text counts 0), null as 0.
double numericValue(const QVariant& value);

} // namespace tallyrow::engine
