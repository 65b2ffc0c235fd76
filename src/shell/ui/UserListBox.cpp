#include "shell/ui/UserListBox.h"

#include "reports/ReportDescriptor.h"
#include "shell/UserList.h"
#include "shell/ui/OptionControls.h"
#include "support/MessageBoxEx.h"
#include "support/Services.h"
#include "support/Session.h"

#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyrow {

UserListBox::UserListBox(QWidget* options, QVBoxLayout* column) : QObject(options) {
    m_label = makeLabel(u"lblUserName"_s, u"User and computer"_s, options);
    m_list = makeList(u"cboUserName"_s, {}, options);
    m_list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_list->setMinimumContentsLength(18);
    // Offices with hundreds of entries find theirs by typing any part of it; the entry itself
    // stays one of the list's (typing never makes a new one).
    m_list->setEditable(true);
    m_list->setInsertPolicy(QComboBox::NoInsert);
    auto* finder = new QCompleter(m_list->model(), m_list);
    finder->setObjectName(u"cmpUserName"_s);
    finder->setCaseSensitivity(Qt::CaseInsensitive);
    finder->setFilterMode(Qt::MatchContains);
    finder->setCompletionMode(QCompleter::PopupCompletion);
    m_list->setCompleter(finder);
    // A text that is an entry exactly (typed in full, or set by a caller as on a plain list)
    // chooses that entry at once.
    connect(m_list, &QComboBox::editTextChanged, this, [this](const QString& text) {
        const int exact = m_list->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (exact >= 0 && exact != m_list->currentIndex())
            m_list->setCurrentIndex(exact);
    });
    // A text that matches no entry stays as typed: Preview then says so rather than report on
    // the entry chosen before.
    connect(m_list->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        const int chosen = m_list->findText(m_list->currentText(), Qt::MatchFixedString);
        if (chosen >= 0)
            m_list->setCurrentIndex(chosen);
    });
    m_label->setBuddy(m_list);
    m_list->lineEdit()->setAccessibleName(m_label->text());
    column->addWidget(m_label);
    column->addWidget(m_list);
}

UserListBox::~UserListBox() {
    // The list and its line edit signal as they are destroyed: nothing here may answer them then.
    if (m_list) {
        disconnect(m_list, nullptr, this, nullptr);
        if (m_list->lineEdit())
            disconnect(m_list->lineEdit(), nullptr, this, nullptr);
    }
}

QComboBox* UserListBox::list() const {
    return m_list;
}

bool UserListBox::apply(const UserListLoad& load, bool keepShown) {
    if (keepShown && !load.empty && load.replace && load.entries.contains(m_list->currentText())) {
        applyRefreshed(load);
        return false;
    }
    if (load.empty) {
        m_list->clear();
        m_list->setEnabled(false);
        return false;
    }
    if (!load.replace)
        return false;
    const QSignalBlocker quiet(m_list); // the list is rebuilt; the shown report goes once, after
    m_list->clear();
    addEntries(load.entries);
    if (load.enabled)
        m_list->setEnabled(*load.enabled);
    if (load.selected)
        m_list->setCurrentIndex(*load.selected);
    return true;
}

void UserListBox::applyRefreshed(const UserListLoad& load) {
    QStringList shown;
    for (int i = 0; i < m_list->count(); ++i)
        shown << m_list->itemText(i);
    if (!load.replace || load.entries == shown)
        return;
    const QString chosen = m_list->currentText();
    const QSignalBlocker quiet(m_list); // the shown report stays: the same entry is chosen
    m_list->clear();
    addEntries(load.entries);
    if (load.enabled)
        m_list->setEnabled(*load.enabled);
    const int again = load.entries.indexOf(chosen);
    m_list->setCurrentIndex(again >= 0 ? again : load.selected.value_or(0));
}

void UserListBox::chooseEverybody() {
    const QSignalBlocker quiet(m_list);
    const int everybody = m_list->findText(kAllUsers + kUserSeparator + kAllComputers);
    if (everybody >= 0)
        m_list->setCurrentIndex(everybody);
}

void UserListBox::addEntries(const QStringList& entries) {
    m_list->addItems(entries);
    for (int i = 0; i < m_list->count(); ++i)
        m_list->setItemData(i, spokenUserEntry(m_list->itemText(i)), Qt::AccessibleTextRole);
}

bool UserListBox::resolveTyped(Session& session) {
    if (m_list->count() == 0 || m_list->currentIndex() < 0)
        return true;
    const QString typed = m_list->currentText();
    if (typed == m_list->itemText(m_list->currentIndex()))
        return true;
    const int match = m_list->findText(typed.trimmed(), Qt::MatchFixedString);
    if (match >= 0) {
        m_list->setCurrentIndex(match);
        return true;
    }
    // A search left unfinished is never quietly replaced by the entry chosen before it.
    tellUser(session,
             u"\"%1\" is not an entry of the user and computer list. Choose an entry from the list; "
             "typing part of one shows the entries that hold it."_s.arg(typed),
             MsgFlag::Information, u"Tallyrow"_s);
    return false;
}

void UserListBox::selectTyped() {
    m_list->setFocus();
    m_list->lineEdit()->selectAll();
}

int UserListBox::entryOf(const DrillTarget& target) const {
    const QString entry = UserEntry(target.user ? QVariant(*target.user) : QVariant(kAllUsers),
                                    target.computer ? QVariant(*target.computer) : QVariant(kAllComputers));
    int index = m_list->findText(entry);
    if (index < 0 && target.user && !target.computer) {
        // A user on one computer has no "all computers" entry: that one pair is all of it.
        const QModelIndexList pairs = m_list->model()->match(m_list->model()->index(0, 0), Qt::DisplayRole,
                                                             *target.user + kUserSeparator, 2,
                                                             Qt::MatchStartsWith | Qt::MatchCaseSensitive);
        if (pairs.size() == 1)
            index = pairs.front().row();
    }
    return index;
}

void UserListBox::chosen(QString& user, QString& computer) const {
    // The entry chosen from the list, not a half-typed search. With nothing in the list the
    // report is for everybody: it never names someone the list did not show.
    if (m_list->count() == 0 || m_list->currentIndex() < 0) {
        user.clear();
        computer.clear();
        return;
    }
    parseUserEntry(m_list->itemText(m_list->currentIndex()), user, computer);
}

} // namespace tallyrow
