#include "shell/ui/OptionControls.h"

#include "reports/DayNumbers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace tallyrow {

QLabel* makeLabel(const QString& name, const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QComboBox* makeList(const QString& name, const QStringList& items, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    list->addItems(items);
    return list;
}

WeekdayBoxes makeWeekdayBoxes(const QString& groupName, const QString& prefix, const QString& label,
                              QWidget* parent) {
    // The seven boxes are one group for a screen reader, named as the label above them.
    auto* group = new QGroupBox(parent);
    group->setObjectName(groupName);
    group->setFlat(true);
    group->setAccessibleName(label);
    group->setStyleSheet(u"QGroupBox#%1 { border: none; margin: 0; padding: 0; }"_s.arg(groupName));
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(8, 0, 0, 0);
    WeekdayBoxes made{group, {}};
    for (int i = 0; i < 7; ++i) {
        const QString name = weekdayNames()[std::size_t(i)];
        auto* box = new QCheckBox(name, group);
        box->setObjectName(prefix + name);
        box->setChecked(true);
        grid->addWidget(box, i % 4, i / 4);
        made.boxes[std::size_t(i)] = box;
    }
    return made;
}

} // namespace tallyrow
