#include "shell/UserList.h"

#include "activity/ActivityQuery.h"
#include "activity/SqlExecutor.h"
#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "support/ErrorReporter.h"
#include "support/FileUtils.h"
#include "support/StepRunner.h"

#include <QScopeGuard>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

QString textOf(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}

} // namespace

QString trimSpaces(const QString& text) {
    return trimBlanks(text);
}

QString UserEntry(const QVariant& user, const QVariant& computer) {
    return textOf(user) + kUserSeparator + textOf(computer);
}

int preselectIndex(const QStringList& entries, const QString& loggedInUser, const QString& localComputer) {
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

void parseUserEntry(const QString& entry, QString& userName, QString& computerName) {
    const qsizetype p = entry.indexOf(kUserSeparator, 0, Qt::CaseSensitive);
    if (p >= 0) {
        // An entry that starts with the separator (rows without a user name) must not keep the
        // previous preview's user: that would quietly report on somebody else.
        userName = trimSpaces(entry.left(p));
        if (userName == kAllUsers)
            userName.clear();
    }
    const QString rest = p >= 0 ? entry.mid(p + kUserSeparator.size()) : entry.mid(4);
    computerName = trimSpaces(rest);
    if (!computerName.isEmpty() && computerName == kAllComputers)
        computerName.clear();
}

QString spokenUserEntry(const QString& entry) {
    const qsizetype p = entry.indexOf(kUserSeparator, 0, Qt::CaseSensitive);
    if (p < 0)
        return entry;
    QString user = trimSpaces(entry.left(p));
    QString computer = trimSpaces(entry.mid(p + kUserSeparator.size()));
    if (user == kAllUsers)
        user = u"all users"_s;
    else if (user.isEmpty())
        user = u"no user name"_s;
    if (computer == kAllComputers)
        computer = u"all computers"_s;
    else if (computer.isEmpty())
        computer = u"no computer name"_s;
    return user + u" on "_s + computer;
}

namespace {

// Adds one entry per row of a query that groups by user or by computer. `any` tells whether the
// query had rows; it is set before the rows are read, so a failure while reading keeps it.
void appendGrouped(Connection& cn, const QString& query, QStringList& entries, bool& any,
                   const std::function<QString(const Recordset&)>& entryOf) {
    std::unique_ptr<Recordset> rs = cn.Execute(query);
    any = !rs->isEmpty();
    if (any) {
        for (rs->toFirst(); !rs->atEnd(); rs->next())
            entries << entryOf(*rs);
    }
    rs->Close();
}

} // namespace

UserListLoad userListFromRows(const QString& dataFile, const QString& loggedInUser,
                              const QString& localComputer, ErrorReporter* reporter) {
    UserListLoad result;
    std::unique_ptr<Connection> cn;
    if (!openConnection(cn, dataFile, askThrough(reporter))) {
        closeConnection(cn);
        return result;
    }
    result.opened = true;

    StepRunner run(askThrough(reporter), u"reading the user list"_s);
    std::unique_ptr<Recordset> rs;
    // Everything below reads this recordset: when the query fails, Ignore has nothing to go on
    // with, and the list on screen stays as it is.
    if (!run.step([&] { rs = cn->Execute(userListStatement(UserListPart::Pairs)); }) || !rs) {
        if (!run.left())
            closeConnection(cn);
        return result;
    }
    run.step([&] {
        // A new data file has no activity yet: that is an empty list, not a failure to report.
        if (rs && rs->isEmpty())
            result.empty = true;
        else if (rs)
            rs->toFirst();
    });
    if (result.empty || run.left()) {
        if (!run.left())
            closeConnection(cn);
        return result;
    }
    result.replace = true;
    run.step([&] {
        if (!rs)
            return;
        for (; !rs->atEnd(); rs->next())
            result.entries << UserEntry(rs->field(u"UserName"_s), rs->field(u"ComputerName"_s));
        rs->Close();
    });
    bool allEntry = false;
    run.step([&] {
        appendGrouped(
            *cn, userListStatement(UserListPart::UsersOnSeveral), result.entries, allEntry,
            [](const Recordset& row) { return UserEntry(row.field(u"UserName"_s), kAllComputers); });
    });
    run.step([&] {
        bool several = true;
        const auto clearAllEntry = qScopeGuard([&] {
            if (!several)
                allEntry = false;
        });
        appendGrouped(
            *cn, userListStatement(UserListPart::ComputersOfSeveral), result.entries, several,
            [](const Recordset& row) { return UserEntry(kAllUsers, row.field(u"ComputerName"_s)); });
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
        run.step([&] { result.selected = preselectIndex(result.entries, loggedInUser, localComputer); });
    if (run.left())
        return result; // the objects go with this scope; the connection is not closed first
    closeConnection(cn);
    return result;
}

UserListLoad userListFromRows(const ActivityUserList& list, const QString& loggedInUser,
                              const QString& localComputer) {
    UserListLoad result;
    result.opened = true;
    if (list.pairs.empty()) {
        result.empty = true;
        return result;
    }
    result.replace = true;
    const auto value = [](const std::optional<QString>& name) { return name ? QVariant(*name) : QVariant(); };
    for (const ActivityUserList::Pair& p : list.pairs)
        result.entries << UserEntry(value(p.user), value(p.computer));
    for (const ActivityUserList::Count& c : list.usersOnSeveral)
        result.entries << UserEntry(value(c.name), kAllComputers);
    for (const ActivityUserList::Count& c : list.computersOfSeveral)
        result.entries << UserEntry(kAllUsers, value(c.name));
    if (result.entries.size() < 2) {
        result.selected = 0;
        result.enabled = false;
        return result;
    }
    result.enabled = true;
    if (!list.usersOnSeveral.empty() && !list.computersOfSeveral.empty())
        result.entries << UserEntry(kAllUsers, kAllComputers);
    result.selected = preselectIndex(result.entries, loggedInUser, localComputer);
    return result;
}

} // namespace tallyrow
