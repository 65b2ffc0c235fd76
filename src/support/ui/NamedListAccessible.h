#pragma once

#include <QAccessibleWidget>

class QComboBox;

namespace tallyrow {

/// What a screen reader is told of a drop-down list: its accessible name (its label's text) as
/// the name and the chosen entry as the value. Qt's own interface on Linux
/// gives the chosen entry as the name too, so a reader announced "Minutes, combo box" where a
/// user needs "Time unit, combo box, Minutes". The entries, the typing field of an editable list
/// and the open-the-list action stay as Qt offers them.
class NamedListAccessible final : public QAccessibleWidget {
public:
    explicit NamedListAccessible(QComboBox* list);

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* focusChild() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    /// Makes every QComboBox use this interface, once per process (a list without a name is
    /// named by its entry, as by Qt). Qt keeps the interface it first made for a list, so call
    /// this before the first list is made.
    static void install();

private:
    QComboBox* list() const;
};

} // namespace tallyrow
