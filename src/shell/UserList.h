#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

namespace tallyrow {

/// Separator between the user part and the computer part of a list entry.
inline const QString kUserSeparator = QStringLiteral(" -|- ");
inline const QString kAllUsers = QStringLiteral("<All Users>");
inline const QString kAllComputers = QStringLiteral("<All Computers>");

/// Every (user, computer) pair with activity, by user.
QString UserComputerPairsQuery();
/// Users seen on more than one computer, by user.
QString UsersOnSeveralComputersQuery();
/// Computers used by more than one user, by computer.
QString ComputersOfSeveralUsersQuery();

/// "user -|- computer"; a missing (null) name gives an empty part.
QString UserEntry(const QVariant& user, const QVariant& computer);

/// The entry to select when the list is filled: this user on this computer, else the first
/// entry of this computer, else the first entry of this user, else the second entry (1).
/// Comparisons are case-sensitive.
int PreselectIndex(const QStringList& entries, const QString& loggedInUser, const QString& localComputer);

/// `text` without its leading and trailing blanks (spaces only: a tab or line break belongs to
/// the name it is part of, so the filter still matches the data).
QString TrimSpaces(const QString& text);

/// Turns the chosen entry into the report filters ("" = all users / any computer).
/// The computer filter is always replaced. The user filter is replaced when the entry has a
/// separator: an empty user part gives "" as well. Without a separator (an empty list) the
/// user filter keeps its value.
void ParseUserEntry(const QString& entry, QString& userName, QString& computerName);

} // namespace tallyrow
