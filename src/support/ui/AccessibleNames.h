#pragma once

class QWidget;

namespace tallyrow {

/// Gives every field under `root` that a label names (its buddy) that label's text as its
/// accessible name, unless it has one: a screen reader otherwise reads a list by its current
/// entry, and a field inside a compound control (a path with its browse button) by nothing, as
/// it finds labels only beside the field itself. The text loses its mnemonic "&" and closing ":".
/// A named list is then announced by that name, its chosen entry as its value.
void nameFieldsByTheirLabels(QWidget* root);

} // namespace tallyrow
