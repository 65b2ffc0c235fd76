#include "shell/UserList.h"

#include "datafile/ActivitySnapshot.h"
#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "support/FileUtils.h"
#include "support/StepRunner.h"

#include <QScopeGuard>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace tallyrow {

QString UserComputerPairsQuery() {
    return u"select distinct username, computername from activity ORDER BY UserName"_s;
}

QString UsersOnSeveralComputersQuery() {
    return u"SELECT UserName, Count(ComputerName) AS TotalComputers "_s +
           u" FROM (SELECT DISTINCT Activity.UserName, Activity.ComputerName FROM Activity) "_s +
           u" GROUP BY UserName HAVING Count(ComputerName)>1 ORDER BY UserName"_s;
}

QString ComputersOfSeveralUsersQuery() {
    // "TotaUsers" is the alias the query has always used; nothing reads it by name.
    return u"SELECT ComputerName, Count(UserName) AS TotaUsers "_s +
           u" FROM (SELECT DISTINCT Activity.UserName, Activity.ComputerName FROM Activity)"_s +
           u" GROUP BY ComputerName HAVING Count(UserName)>1 ORDER BY ComputerName"_s;
}

namespace {

QString textOf(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}

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

namespace {

// Adds one entry per row of a query that groups by user or by computer. `any` tells whether the
// query had rows; it is set before the rows are read, so a failure while reading keeps it.
void appendGrouped(Connection& cn, const QString& query, QStringList& entries, bool& any,
                   const std::function<QString(const Recordset&)>& entryOf) {
    std::unique_ptr<Recordset> rs = cn.Execute(query);
    any = !rs->BOF();
    if (any) {
        for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
            entries << entryOf(*rs);
    }
    rs->Close();
}

} // namespace

UserListLoad LoadUserList(const QString& dataFile, const QString& loggedInUser, const QString& localComputer,
                          ErrorReporter* reporter) {
    UserListLoad result;
    std::unique_ptr<Connection> cn;
    if (!OpenCN(cn, dataFile)) {
        CloseCN(cn);
        return result;
    }
    result.opened = true;

    StepRunner run(reporter, u"LoadUserInfo&"_s);
    std::unique_ptr<Recordset> rs;
    // Everything below reads this recordset: when the query fails, Ignore has nothing to go on
    // with, and the list on screen stays as it is.
    if (!run.step([&] { rs = cn->Execute(UserComputerPairsQuery()); }) || !rs) {
        if (!run.left())
            CloseCN(cn);
        return result;
    }
    run.step([&] {
        // A new data file has no activity yet: that is an empty list, not a failure to report.
        if (rs && rs->BOF())
            result.empty = true;
        else if (rs)
            rs->MoveFirst();
    });
    if (result.empty || run.left()) {
        if (!run.left())
            CloseCN(cn);
        return result;
    }
    result.replace = true;
    run.step([&] {
        if (!rs)
            return;
        for (; !rs->EOF_(); rs->MoveNext())
            result.entries << UserEntry(rs->field(u"UserName"_s), rs->field(u"ComputerName"_s));
        rs->Close();
    });
    bool allEntry = false;
    run.step([&] {
        appendGrouped(
            *cn, UsersOnSeveralComputersQuery(), result.entries, allEntry,
            [](const Recordset& row) { return UserEntry(row.field(u"UserName"_s), kAllComputers); });
    });
    run.step([&] {
        bool several = true;
        const auto clearAllEntry = qScopeGuard([&] {
            if (!several)
                allEntry = false;
        });
        appendGrouped(*cn, ComputersOfSeveralUsersQuery(), result.entries, several, [](const Recordset& row) {
            return UserEntry(kAllUsers, row.field(u"ComputerName"_s));
        });
        rs.reset();
    });
    run.step([&] {
        if (result.entries.size() < 2) {
            result.selected = 0;
            result.enabled = false;
            return;
        }
        result.enabled = true;
        if (allEntry)
            result.entries << UserEntry(kAllUsers, kAllComputers);
    });
    if (result.enabled.value_or(false))
        run.step([&] { result.selected = PreselectIndex(result.entries, loggedInUser, localComputer); });
    if (run.left())
        return result; // the objects go with this scope; the connection is not closed first
    CloseCN(cn);
    return result;
}

UserListLoad LoadUserList(const ActivitySnapshot& snapshot, const QString& loggedInUser,
                          const QString& localComputer) {
    UserListLoad result;
    result.opened = true;
    std::unique_ptr<Recordset> pairs = snapshot.userComputerPairs();
    if (pairs->BOF()) {
        result.empty = true;
        return result;
    }
    result.replace = true;
    for (pairs->MoveFirst(); !pairs->EOF_(); pairs->MoveNext())
        result.entries << UserEntry(pairs->field(u"UserName"_s), pairs->field(u"ComputerName"_s));
    std::unique_ptr<Recordset> users = snapshot.usersOnSeveralComputers();
    std::unique_ptr<Recordset> computers = snapshot.computersOfSeveralUsers();
    for (; !users->EOF_(); users->MoveNext())
        result.entries << UserEntry(users->field(u"UserName"_s), kAllComputers);
    for (; !computers->EOF_(); computers->MoveNext())
        result.entries << UserEntry(kAllUsers, computers->field(u"ComputerName"_s));
    if (result.entries.size() < 2) {
        result.selected = 0;
        result.enabled = false;
        return result;
    }
    result.enabled = true;
    if (!users->BOF() && !computers->BOF())
        result.entries << UserEntry(kAllUsers, kAllComputers);
    result.selected = PreselectIndex(result.entries, loggedInUser, localComputer);
    return result;
}

} // namespace tallyrow
