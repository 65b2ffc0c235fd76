#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace tallyrow {

struct ActivityUserList;
class ErrorReporter;

/// Separator between the user part and the computer part of a list entry.
inline const QString kUserSeparator = QStringLiteral(" -|- ");
inline const QString kAllUsers = QStringLiteral("<All Users>");
inline const QString kAllComputers = QStringLiteral("<All Computers>");

/// "user -|- computer"; a missing (null) name gives an empty part.
QString UserEntry(const QVariant& user, const QVariant& computer);

/// The entry to select when the list is filled: this user on this computer, else the first
/// entry of this computer, else the first entry of this user, else the second entry (1).
/// Comparisons are case-sensitive.
int preselectIndex(const QStringList& entries, const QString& loggedInUser, const QString& localComputer);

/// `text` without its leading and trailing blanks (spaces only: a tab or line break belongs to
/// the name it is part of, so the filter still matches the data).
QString trimSpaces(const QString& text);

/// Turns the chosen entry into the report filters ("" = all users / any computer).
/// The computer filter is always replaced. The user filter is replaced when the entry has a
/// separator: an empty user part gives "" as well. Without a separator (an empty list) the
/// user filter keeps its value.
void parseUserEntry(const QString& entry, QString& userName, QString& computerName);

/// An entry as a screen reader should say it: "anna on OFFICE1", "all users on OFFICE1",
/// "anna on all computers", without the separator's punctuation.
QString spokenUserEntry(const QString& entry);

/// What reading the user-and-computer list from a data file gave, for the window to show.
struct UserListLoad {
    /// False when the data file could not be opened; nothing else is set then.
    bool opened = false;
    /// True when the file holds no activity at all: the list is emptied and disabled.
    bool empty = false;
    /// True when the list is to be replaced by `entries` (false when the reading was left
    /// before the list was rebuilt: the shown list stays as it is).
    bool replace = false;
    /// The entries in list order: the pairs by user, "user -|- <All Computers>" for users on
    /// several computers, "<All Users> -|- computer" for computers of several users, and
    /// "<All Users> -|- <All Computers>" when both kinds occur.
    QStringList entries;
    /// The entry to select, when the reading got that far.
    std::optional<int> selected;
    /// Whether the list can be used (two or more entries), when the reading got that far.
    std::optional<bool> enabled;
};

/// Reads the list from `dataFile`. Each step runs under `reporter` with the step
/// "reading the user list": a failed step can be retried, ignored (a step that needs the result of a
/// failed query then does nothing) or left (the result holds what was read so far).
UserListLoad userListFromRows(const QString& dataFile, const QString& loggedInUser,
                              const QString& localComputer, ErrorReporter* reporter);

/// The same list from the data's answer to ActivityQuery::userList(), as the store of a data
/// file gives it: the same entries in the same order and the same selection.
UserListLoad userListFromRows(const ActivityUserList& list, const QString& loggedInUser,
                              const QString& localComputer);

} // namespace tallyrow
