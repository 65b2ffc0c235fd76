#include "shell/UserList.h"

#include "activity/StoreCache.h"

#include "testsupport/ActivityData.h"
#include "testsupport/TestEnv.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyrow;

TEST(UserList, MissingNamesGiveEmptyParts) {
    EXPECT_EQ(UserEntry(u"alice"_s, u"PC1"_s), u"alice -|- PC1"_s);
    EXPECT_EQ(UserEntry(QVariant(), u"PC1"_s), u" -|- PC1"_s);
    EXPECT_EQ(UserEntry(u"alice"_s, QVariant()), u"alice -|- "_s);
}

TEST(UserList, PreselectsThisUserThenThisComputerThenThisUserThenTheSecondEntry) {
    const QStringList entries{u"alice -|- PC1"_s, u"bob -|- PC2"_s, u"bob -|- PC3"_s, u"tester -|- PC9"_s,
                              u"bob -|- <All Computers>"_s};
    EXPECT_EQ(preselectIndex(entries, u"bob"_s, u"PC3"_s), 2);
    EXPECT_EQ(preselectIndex(entries, u"carol"_s, u"PC2"_s), 1);  // another user's entry on this computer
    EXPECT_EQ(preselectIndex(entries, u"tester"_s, u"PC7"_s), 3); // this user on another computer
    EXPECT_EQ(preselectIndex(entries, u"nobody"_s, u"NOPC"_s), 1);
    EXPECT_EQ(preselectIndex(entries, u"BOB"_s, u"pc3"_s), 1) << "names are compared with their case";
}

TEST(UserList, ChosenEntryBecomesTheReportFilters) {
    struct Case {
        const char* entry;
        const char* user;
        const char* computer;
    } cases[] = {
        {"alice -|- PC1", "alice", "PC1"},
        {"alice -|- <All Computers>", "alice", ""},
        {"<All Users> -|- PC1", "", "PC1"},
        {"<All Users> -|- <All Computers>", "", ""},
        {"  alice   -|-   PC1  ", "alice", "PC1"},
        {"alice -|- ", "alice", ""},
        {"<all users> -|- PC1", "<all users>", "PC1"}, // only the exact marker means everybody
        {"alice\t -|- PC1\t", "alice\t", "PC1\t"},     // only blanks are trimmed: the name must still match
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        QString user = u"previous"_s;
        QString computer = u"previous"_s;
        parseUserEntry(QString::fromLatin1(c.entry), user, computer);
        EXPECT_EQ(user, QString::fromLatin1(c.user));
        EXPECT_EQ(computer, QString::fromLatin1(c.computer));
    }
}

TEST(UserList, EntryWithoutAUserNameDoesNotKeepThePreviousUser) {
    QString user = u"alice"_s;
    QString computer;
    parseUserEntry(u" -|- PC1"_s, user, computer);
    EXPECT_EQ(user, QString());
    EXPECT_EQ(computer, u"PC1"_s);
}

TEST(UserList, EmptyListLeavesTheUserAndClearsTheComputer) {
    QString user = u"alice"_s;
    QString computer = u"PC1"_s;
    parseUserEntry(QString(), user, computer);
    EXPECT_EQ(user, u"alice"_s);
    EXPECT_EQ(computer, QString());
}

namespace {

class UserListFile : public test::ServicesFixture {
protected:
    QString dataFile(const QVector<test::ActivityRow>& rows) {
        const QString path = env().path(u"users%1.yrd"_s.arg(++m_files));
        test::writeSqliteDataFile(path, rows);
        return path;
    }
    // A data file whose user names cannot be read, so the list's first query fails.
    QString unreadableNames() {
        const QString path = env().path(u"unreadable.yrd"_s);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"unreadable"_s);
            db.setDatabaseName(path);
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            QString columns;
            QString select;
            for (int h = 0; h < 24; ++h) {
                columns += u", H"_s + QString::number(h) + u" INTEGER"_s;
                select += u", H"_s + QString::number(h);
            }
            EXPECT_TRUE(q.exec(u"CREATE TABLE Rows (ActiveDay INTEGER, UserName TEXT, ComputerName TEXT"_s +
                               columns + u')'));
            EXPECT_TRUE(q.exec(
                u"INSERT INTO Rows (ActiveDay, UserName, ComputerName) VALUES (1521, 'anna', 'PC1')"_s));
            EXPECT_TRUE(q.exec(
                u"CREATE VIEW Activity AS SELECT ActiveDay, json('not json') AS UserName, ComputerName"_s +
                select + u" FROM Rows"_s));
            db.close();
        }
        QSqlDatabase::removeDatabase(u"unreadable"_s);
        return path;
    }

private:
    int m_files = 0;
};

} // namespace

TEST_F(UserListFile, ListsPairsThenEachUsersAndEachComputersEntries) {
    const QString file = dataFile({test::uniformRow(1521, u"bob"_s, u"PC2"_s, 60),
                                   test::uniformRow(1521, u"anna"_s, u"PC1"_s, 60),
                                   test::uniformRow(1522, u"anna"_s, u"PC2"_s, 60)});
    const UserListLoad list = userListFromRows(file, u"bob"_s, u"PC2"_s, errorReporter());
    ASSERT_TRUE(list.opened);
    EXPECT_FALSE(list.empty);
    EXPECT_TRUE(list.replace);
    EXPECT_EQ(list.entries, (QStringList{u"anna -|- PC1"_s, u"anna -|- PC2"_s, u"bob -|- PC2"_s,
                                         u"anna -|- <All Computers>"_s, u"<All Users> -|- PC2"_s,
                                         u"<All Users> -|- <All Computers>"_s}));
    EXPECT_EQ(list.selected, 2);
    EXPECT_EQ(list.enabled, true);
    EXPECT_TRUE(errorReporter()->calls().isEmpty());
}

TEST_F(UserListFile, OnePairIsSelectedButTheListCannotBeUsed) {
    const UserListLoad one = userListFromRows(dataFile({test::uniformRow(1521, u"anna"_s, u"PC1"_s, 60)}),
                                              u"x"_s, u"y"_s, errorReporter());
    EXPECT_EQ(one.entries, QStringList{u"anna -|- PC1"_s});
    EXPECT_EQ(one.selected, 0);
    EXPECT_EQ(one.enabled, false);

    const UserListLoad none = userListFromRows(dataFile({}), u"x"_s, u"y"_s, errorReporter());
    EXPECT_TRUE(none.opened);
    EXPECT_TRUE(none.empty);
    EXPECT_TRUE(none.entries.isEmpty());

    const UserListLoad missing =
        userListFromRows(env().path(u"missing.yrd"_s), u"x"_s, u"y"_s, errorReporter());
    EXPECT_FALSE(missing.opened);
}

TEST_F(UserListFile, GoingOnAfterAFailedQueryDoesNotUseItsMissingResult) {
    const QString file = unreadableNames();
    errorReporter()->queueAnswer(ReportAnswer::Ignore); // Ignore the failed first query
    const UserListLoad ignored = userListFromRows(file, u"x"_s, u"y"_s, errorReporter());
    ASSERT_TRUE(ignored.opened);
    EXPECT_FALSE(ignored.replace) << "nothing was read, so the shown list stays as it is";
    EXPECT_TRUE(ignored.entries.isEmpty());
    ASSERT_EQ(errorReporter()->calls().size(), 1) << "no later step trips over the missing result";
    EXPECT_EQ(errorReporter()->calls().first().steps.first(), u"reading the user list"_s);

    errorReporter()->clearCalls();
    errorReporter()->queueAnswer(ReportAnswer::Leave); // leave: the shown list stays as it is
    const UserListLoad left = userListFromRows(file, u"x"_s, u"y"_s, errorReporter());
    EXPECT_TRUE(left.opened);
    EXPECT_FALSE(left.replace);
    EXPECT_TRUE(left.entries.isEmpty());
    EXPECT_EQ(errorReporter()->calls().size(), 1);
}

namespace {

// Both ways of reading the list must give the same entries, order, selection and state.
void expectSameList(const QString& file, const QString& user, const QString& computer,
                    ErrorReporter* reporter) {
    SCOPED_TRACE((user + u" on "_s + computer).toStdString());
    const UserListLoad bySql = userListFromRows(file, user, computer, reporter);
    const UserListLoad bySnapshot =
        userListFromRows(readActivityStore(file)->answer(ActivityQuery::userList()).users, user, computer);
    EXPECT_EQ(bySnapshot.opened, bySql.opened);
    EXPECT_EQ(bySnapshot.empty, bySql.empty);
    EXPECT_EQ(bySnapshot.replace, bySql.replace);
    EXPECT_EQ(bySnapshot.entries, bySql.entries);
    EXPECT_EQ(bySnapshot.selected, bySql.selected);
    EXPECT_EQ(bySnapshot.enabled, bySql.enabled);
}

} // namespace

TEST_F(UserListFile, SnapshotGivesTheListTheQueriesGive) {
    const QString office = dataFile(test::officeRows());
    for (const auto& [user, computer] : {std::pair{u"x"_s, u"y"_s}, {u"anna"_s, u"OFFICE1"_s}})
        expectSameList(office, user, computer, errorReporter());

    // Names differing only in case, missing and empty names, users on one and on several computers.
    QVector<test::ActivityRow> rows{
        test::uniformRow(1521, u"Bob"_s, u"PC2"_s, 60), test::uniformRow(1522, u"bob"_s, u"pc2"_s, 60),
        test::uniformRow(1523, u"BOB"_s, u"PC3"_s, 0),  test::uniformRow(1521, u""_s, u"PC1"_s, 60),
        test::uniformRow(1524, u"anna"_s, u""_s, 60),   test::uniformRow(-40, u"anna"_s, u"PC1"_s, 60),
        test::uniformRow(1525, u"zed"_s, u"PC9"_s, 60)};
    test::ActivityRow noUser = test::uniformRow(1526, QString(), u"PC2"_s, 60);
    test::ActivityRow noComputer = test::uniformRow(1527, u"carl"_s, QString(), 60);
    rows << noUser << noComputer;
    const QString mixed = dataFile(rows);
    for (const auto& [user, computer] :
         {std::pair{u"bob"_s, u"pc2"_s}, {u"BOB"_s, u"PC9"_s}, {u"carl"_s, u"none"_s}, {u"q"_s, u"r"_s}})
        expectSameList(mixed, user, computer, errorReporter());

    expectSameList(dataFile({test::uniformRow(1521, u"anna"_s, u"PC1"_s, 60)}), u"x"_s, u"y"_s,
                   errorReporter());
    expectSameList(dataFile({}), u"x"_s, u"y"_s, errorReporter());
    EXPECT_TRUE(errorReporter()->calls().isEmpty());
}

TEST(UserList, EntriesAreSpokenAsWords) {
    const std::pair<QString, QString> cases[] = {
        {u"anna -|- OFFICE1"_s, u"anna on OFFICE1"_s},
        {u"<All Users> -|- <All Computers>"_s, u"all users on all computers"_s},
        {u"anna -|- <All Computers>"_s, u"anna on all computers"_s},
        {u" -|- OFFICE1"_s, u"no user name on OFFICE1"_s},
    };
    for (const auto& [entry, spoken] : cases)
        EXPECT_EQ(spokenUserEntry(entry), spoken) << entry.toStdString();
}
