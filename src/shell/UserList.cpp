#include "shell/UserList.h"

#include "support/FileUtils.h"

using namespace Qt::StringLiterals;

namespace tallyrow {

QString UserComputerPairsQuery() {
    return u"select distinct username, computername from activity ORDER BY UserName"_s;
}

QString UsersOnSeveralComputersQuery() {
    return u"SELECT UserName, Count(ComputerName) AS TotalComputers "_s
           + u" FROM (SELECT DISTINCT Activity.UserName, Activity.ComputerName FROM Activity) "_s
           + u" GROUP BY UserName HAVING Count(ComputerName)>1 ORDER BY UserName"_s;
}

QString ComputersOfSeveralUsersQuery() {
    // "TotaUsers" is the alias the query has always used; nothing reads it by name.
    return u"SELECT ComputerName, Count(UserName) AS TotaUsers "_s
           + u" FROM (SELECT DISTINCT Activity.UserName, Activity.ComputerName FROM Activity)"_s
           + u" GROUP BY ComputerName HAVING Count(UserName)>1 ORDER BY ComputerName"_s;
}

namespace {

QString textOf(const QVariant& value) { return value.isNull() ? QString() : value.toString(); }

} // namespace

QString TrimSpaces(const QString& text) {
    return trimBlanks(text);
}

QString UserEntry(const QVariant& user, const QVariant& computer) {
    return textOf(user) + kUserSeparator + textOf(computer);
}

int PreselectIndex(const QStringList& entries, const QString& loggedInUser, const QString& localComputer) {
    const QString exact = loggedInUser + kUserSeparator + localComputer;
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i] == exact)
            return i;
    const QString ofComputer = kUserSeparator + localComputer;
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].contains(ofComputer, Qt::CaseSensitive))
            return i;
    const QString ofUser = loggedInUser + kUserSeparator;
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].contains(ofUser, Qt::CaseSensitive))
            return i;
    return 1;
}

void ParseUserEntry(const QString& entry, QString& userName, QString& computerName) {
    const qsizetype p = entry.indexOf(kUserSeparator, 0, Qt::CaseSensitive);
    if (p >= 0) {
        // An entry that starts with the separator (rows without a user name) must not keep the
        // previous preview's user: that would quietly report on somebody else.
        userName = TrimSpaces(entry.left(p));
        if (userName == kAllUsers)
            userName.clear();
    }
    const QString rest = p >= 0 ? entry.mid(p + kUserSeparator.size()) : entry.mid(4);
    computerName = TrimSpaces(rest);
    if (!computerName.isEmpty() && computerName == kAllComputers)
        computerName.clear();
}

} // namespace tallyrow
