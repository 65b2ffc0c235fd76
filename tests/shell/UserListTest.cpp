#include "shell/UserList.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyrow;

TEST(UserList, QueryTextsAreSentAsWritten) {
    EXPECT_EQ(UserComputerPairsQuery(), u"select distinct username, computername from activity ORDER BY UserName"_s);
    EXPECT_EQ(UsersOnSeveralComputersQuery(),
              u"SELECT UserName, Count(ComputerName) AS TotalComputers  FROM (SELECT DISTINCT Activity.UserName, "
              "Activity.ComputerName FROM Activity)  GROUP BY UserName HAVING Count(ComputerName)>1 ORDER BY UserName"_s);
    EXPECT_EQ(ComputersOfSeveralUsersQuery(),
              u"SELECT ComputerName, Count(UserName) AS TotaUsers  FROM (SELECT DISTINCT Activity.UserName, "
              "Activity.ComputerName FROM Activity) GROUP BY ComputerName HAVING Count(UserName)>1 ORDER BY ComputerName"_s);
}

TEST(UserList, MissingNamesGiveEmptyParts) {
    EXPECT_EQ(UserEntry(u"alice"_s, u"PC1"_s), u"alice -|- PC1"_s);
    EXPECT_EQ(UserEntry(QVariant(), u"PC1"_s), u" -|- PC1"_s);
    EXPECT_EQ(UserEntry(u"alice"_s, QVariant()), u"alice -|- "_s);
}

TEST(UserList, PreselectsThisUserThenThisComputerThenThisUserThenTheSecondEntry) {
    const QStringList entries{u"alice -|- PC1"_s, u"bob -|- PC2"_s, u"bob -|- PC3"_s, u"tester -|- PC9"_s,
                              u"bob -|- <All Computers>"_s};
    EXPECT_EQ(PreselectIndex(entries, u"bob"_s, u"PC3"_s), 2);
    EXPECT_EQ(PreselectIndex(entries, u"carol"_s, u"PC2"_s), 1);  // another user's entry on this computer
    EXPECT_EQ(PreselectIndex(entries, u"tester"_s, u"PC7"_s), 3); // this user on another computer
    EXPECT_EQ(PreselectIndex(entries, u"nobody"_s, u"NOPC"_s), 1);
    EXPECT_EQ(PreselectIndex(entries, u"BOB"_s, u"pc3"_s), 1) << "names are compared with their case";
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
        {"alice\t -|- PC1\t", "alice\t", "PC1\t"},   // only blanks are trimmed: the name must still match
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        QString user = u"previous"_s;
        QString computer = u"previous"_s;
        ParseUserEntry(QString::fromLatin1(c.entry), user, computer);
        EXPECT_EQ(user, QString::fromLatin1(c.user));
        EXPECT_EQ(computer, QString::fromLatin1(c.computer));
    }
}

TEST(UserList, EntryWithoutAUserNameDoesNotKeepThePreviousUser) {
    QString user = u"alice"_s;
    QString computer;
    ParseUserEntry(u" -|- PC1"_s, user, computer);
    EXPECT_EQ(user, QString());
    EXPECT_EQ(computer, u"PC1"_s);
}

TEST(UserList, EmptyListLeavesTheUserAndClearsTheComputer) {
    QString user = u"alice"_s;
    QString computer = u"PC1"_s;
    ParseUserEntry(QString(), user, computer);
    EXPECT_EQ(user, u"alice"_s);
    EXPECT_EQ(computer, QString());
}
