#include "support/ui/NamedListAccessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>

namespace tallyrow {

namespace {

QAccessibleInterface* namedListFactory(const QString& className, QObject* object) {
    auto* list = qobject_cast<QComboBox*>(object);
    if (!list || className != QLatin1String("QComboBox"))
        return nullptr;
    return new NamedListAccessible(list);
}

} // namespace

NamedListAccessible::NamedListAccessible(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

QComboBox* NamedListAccessible::list() const {
    return static_cast<QComboBox*>(widget());
}

QString NamedListAccessible::text(QAccessible::Text t) const {
    switch (t) {
    case QAccessible::Name:
        // A list nobody named keeps Qt's name for it: its chosen entry.
        if (!list()->accessibleName().isEmpty())
            return list()->accessibleName();
        [[fallthrough]];
    case QAccessible::Value:
        return list()->isEditable() ? list()->lineEdit()->text() : list()->currentText();
    case QAccessible::Accelerator:
        return QKeySequence(Qt::ALT | Qt::Key_Down).toString(QKeySequence::NativeText);
    default:
        return QAccessibleWidget::text(t);
    }
}

// The entries' view first, then the typing field of an editable list, as Qt's own interface has
// them, so a reader finds the entries where it always does.
int NamedListAccessible::childCount() const {
    return list()->isEditable() ? 2 : 1;
}

QAccessibleInterface* NamedListAccessible::child(int index) const {
    if (index == 0)
        return QAccessible::queryAccessibleInterface(list()->view());
    if (index == 1 && list()->isEditable())
        return QAccessible::queryAccessibleInterface(list()->lineEdit());
    return nullptr;
}

int NamedListAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child)
        return -1;
    if (child->object() == list()->view())
        return 0;
    if (list()->isEditable() && child->object() == list()->lineEdit())
        return 1;
    return -1;
}

QAccessibleInterface* NamedListAccessible::focusChild() const {
    return list()->isEditable() ? child(1) : nullptr;
}

QStringList NamedListAccessible::actionNames() const {
    return {showMenuAction(), pressAction()};
}

void NamedListAccessible::doAction(const QString& actionName) {
    if (actionName != showMenuAction() && actionName != pressAction())
        return;
    if (list()->view()->isVisible())
        list()->hidePopup();
    else
        list()->showPopup();
}

void NamedListAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(namedListFactory);
        return true;
    }();
    (void)installed;
}

} // namespace tallyrow
