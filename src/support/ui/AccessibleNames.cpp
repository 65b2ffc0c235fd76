#include "support/ui/AccessibleNames.h"

#include "support/ui/NamedListAccessible.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace tallyrow {

void nameFieldsByTheirLabels(QWidget* root) {
    NamedListAccessible::install();
    for (QLabel* label : root->findChildren<QLabel*>()) {
        QWidget* field = label->buddy();
        if (!field || !field->accessibleName().isEmpty())
            continue;
        QString name = label->text();
        name.remove(QLatin1Char('&'));
        name = name.trimmed();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        field->setAccessibleName(name);
        if (auto* list = qobject_cast<QComboBox*>(field);
            list && list->lineEdit() && list->lineEdit()->accessibleName().isEmpty())
            list->lineEdit()->setAccessibleName(name);
    }
}

} // namespace tallyrow
