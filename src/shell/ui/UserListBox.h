#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QVBoxLayout;
class QWidget;

namespace tallyrow {

struct DrillTarget;
struct Session;
struct UserListLoad;

/// The user-and-computer list: an entry is found by typing any part of it, the list follows
/// each read of the data file, and it names the entry of a drill-down target's person.
class UserListBox final : public QObject {
    Q_OBJECT
public:
    /// Puts the list and its label in `column` of `options`.
    UserListBox(QWidget* options, QVBoxLayout* column);
    ~UserListBox() override;

    QComboBox* list() const;

    /// Fills the list from `load`. With `keepShown` a list that still holds the chosen entry
    /// keeps it, and the shown report stays. True when the shown report is to go.
    bool apply(const UserListLoad& load, bool keepShown);
    /// The list from a store that was read again: new users appear, the chosen entry stays.
    void applyRefreshed(const UserListLoad& load);
    /// Chooses the entry for everybody, without a signal that the choice changed.
    void chooseEverybody();
    /// Takes a typed entry that names one exactly; says so and returns false for a search that
    /// matches none.
    bool resolveTyped(Session& session);
    /// Selects the typed text, for the user to type the search again.
    void selectTyped();
    /// The entry of a drill-down target's person; -1 when the list has none.
    int entryOf(const DrillTarget& target) const;
    /// The user and computer of the chosen entry ("" each when the list is empty).
    void chosen(QString& user, QString& computer) const;

private:
    /// Fills the list, each entry with the words a screen reader says for it.
    void addEntries(const QStringList& entries);

    QLabel* m_label = nullptr;
    QPointer<QComboBox> m_list;
};

} // namespace tallyrow
