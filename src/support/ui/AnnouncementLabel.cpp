#include "support/ui/AnnouncementLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace tallyrow {

namespace {

// A notification whose name is the line's text: a screen reader speaks a notification that
// becomes showing, while a plain label's change is spoken only when it has the focus.
class AnnouncementAccessible final : public QAccessibleWidget {
public:
    explicit AnnouncementAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return static_cast<QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* announcementFactory(const QString& className, QObject* object) {
    if (className != QLatin1String(AnnouncementLabel::staticMetaObject.className()))
        return nullptr;
    if (auto* label = qobject_cast<AnnouncementLabel*>(object))
        return new AnnouncementAccessible(label);
    return nullptr;
}

} // namespace

// Made without a parent and given it once it is whole: Qt keeps the first interface it makes
// for a widget, and one made while the label was half built would be a plain label's.
AnnouncementLabel::AnnouncementLabel(QWidget* parent) : QLabel(nullptr) {
    static const bool installed = [] {
        QAccessible::installFactory(announcementFactory);
        return true;
    }();
    (void)installed;
    setTextInteractionFlags(Qt::NoTextInteraction);
    setParent(parent);
}

void AnnouncementLabel::announce(const QString& text) {
    setText(text);
    if (text.isEmpty() || !QAccessible::isActive())
        return;
    QAccessibleEvent named(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    // Shown anew, as a notification that pops up is: that is what a reader speaks.
    if (isVisible()) {
        QAccessibleEvent shown(this, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }
}

} // namespace tallyrow
