#pragma once

#include <QString>
#include <QStringList>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QWidget;

namespace tallyrow {

/// A label named `name` with `caption`.
QLabel* makeLabel(const QString& name, const QString& caption, QWidget* parent);
/// A list named `name` that holds `items` and takes no typing.
QComboBox* makeList(const QString& name, const QStringList& items, QWidget* parent);

/// The seven weekday boxes, Monday first, all ticked, in a flat group named `groupName` that a
/// screen reader names as `label`; each box is named `prefix` + its weekday's name.
struct WeekdayBoxes {
    QWidget* group = nullptr;
    std::array<QCheckBox*, 7> boxes{};
};
WeekdayBoxes makeWeekdayBoxes(const QString& groupName, const QString& prefix, const QString& label,
                              QWidget* parent);

} // namespace tallyrow
