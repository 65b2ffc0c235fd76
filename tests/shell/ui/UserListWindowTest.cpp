#include "MainWindowFixture.h"

#include <QFile>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

class UserListWindow : public test::MainWindowFixture {
protected:
    QComboBox* users() const { return child<QComboBox>(u"cboUserName"_s); }
    QStringList entries() const {
        QStringList out;
        for (int i = 0; i < users()->count(); ++i)
            out << users()->itemText(i);
        return out;
    }
    static test::ActivityRow row(const QString& user, const QString& computer) {
        return test::dayRow(user, computer, QDate(2024, 5, 10), test::officeHours(1200));
    }
};

} // namespace

TEST_F(UserListWindow, OffersWhatTheDataHolds) {
    struct Case {
        const char* name;
        QVector<test::ActivityRow> rows;
        QStringList expected;
        bool enabled;
    } cases[] = {
        {"one user on one computer", {row(u"carol"_s, u"PC9"_s)}, {u"carol -|- PC9"_s}, false},
        {"two users each on their own computer",
         {row(u"bob"_s, u"PC2"_s), row(u"anna"_s, u"PC1"_s)},
         {u"anna -|- PC1"_s, u"bob -|- PC2"_s},
         true},
        {"one user on two computers",
         {row(u"anna"_s, u"PC1"_s), row(u"anna"_s, u"PC2"_s)},
         {u"anna -|- PC1"_s, u"anna -|- PC2"_s, u"anna -|- <All Computers>"_s},
         true},
        {"people on several computers and shared computers",
         {row(u"anna"_s, u"PC1"_s), row(u"anna"_s, u"PC2"_s), row(u"bob"_s, u"PC1"_s),
          row(u"cy"_s, u"PC3"_s)},
         {u"anna -|- PC1"_s, u"anna -|- PC2"_s, u"bob -|- PC1"_s, u"cy -|- PC3"_s,
          u"anna -|- <All Computers>"_s, u"<All Users> -|- PC1"_s, u"<All Users> -|- <All Computers>"_s},
         true},
        {"a shared computer but nobody on two computers",
         {row(u"anna"_s, u"PC1"_s), row(u"bob"_s, u"PC1"_s)},
         {u"anna -|- PC1"_s, u"bob -|- PC1"_s, u"<All Users> -|- PC1"_s},
         true},
        {"rows without names",
         {row(QString(), u"PC1"_s), row(u"anna"_s, QString())},
         {u" -|- PC1"_s, u"anna -|- "_s},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.rows);
        EXPECT_EQ(entries(), c.expected);
        EXPECT_EQ(users()->isEnabled(), c.enabled);
        if (!c.enabled) {
            EXPECT_EQ(users()->currentIndex(), 0);
        }
        EXPECT_TRUE(errorReporter()->calls().isEmpty());
        window.reset();
        session().dataPath.clear();
    }
}

TEST_F(UserListWindow, PreselectsThePersonAtThisComputer) {
    struct Case {
        const char* name;
        QVector<test::ActivityRow> rows;
        QString selected;
    } cases[] = {
        {"this user on this computer",
         {row(u"anna"_s, u"TESTPC"_s), row(u"tester"_s, u"PC1"_s), row(u"tester"_s, u"TESTPC"_s)},
         u"tester -|- TESTPC"_s},
        {"only others on this computer",
         {row(u"anna"_s, u"PC1"_s), row(u"bob"_s, u"TESTPC"_s), row(u"cy"_s, u"TESTPC"_s)},
         u"bob -|- TESTPC"_s},
        {"this user elsewhere", {row(u"anna"_s, u"PC1"_s), row(u"tester"_s, u"PC2"_s)}, u"tester -|- PC2"_s},
        {"neither this user nor this computer",
         {row(u"anna"_s, u"PC1"_s), row(u"bob"_s, u"PC2"_s), row(u"cy"_s, u"PC3"_s)},
         u"bob -|- PC2"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.rows);
        EXPECT_EQ(users()->currentText(), c.selected);
        window.reset();
        session().dataPath.clear();
    }
}

TEST_F(UserListWindow, ANewEmptyDataFileGivesAnEmptyListWithoutAnErrorReport) {
    load({});
    EXPECT_EQ(users()->count(), 0);
    EXPECT_FALSE(users()->isEnabled());
    EXPECT_TRUE(errorReporter()->calls().isEmpty());
    EXPECT_TRUE(messageBox()->requests().isEmpty());
    EXPECT_TRUE(previewAndWait()) << "an empty report can still be shown";
}

TEST_F(UserListWindow, AnUnreadableDataFileKeepsTheListAndSaysSo) {
    load({row(u"anna"_s, u"PC1"_s), row(u"bob"_s, u"PC2"_s)});
    const QStringList before = entries();
    {
        QFile f(dataPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("this is not a data file, just some text that happens to be here\n");
    }
    messageBox()->clearRequests();
    action(u"mnuSelectDataPath"_s)->trigger(); // the dialog is closed without a change
    EXPECT_TRUE(waitForData());
    EXPECT_EQ(dialogs, QStringList{u"frmSelectData"_s});
    const QList<MessageRequest> boxes = messageBox()->requests();
    ASSERT_FALSE(boxes.isEmpty());
    EXPECT_EQ(
        boxes.last().prompt,
        u"There was a problem opening the database. Please make sure you have selected a valid database. To "
        "choose another, use Tools > Change Data File."_s);
    EXPECT_EQ(boxes.last().buttons, 0);
    EXPECT_EQ(boxes.last().title, u"Problem opening database"_s);
    EXPECT_EQ(entries(), before);
}

TEST_F(UserListWindow, ChangingTheDataFileReadsTheListAgain) {
    load({row(u"anna"_s, u"PC1"_s)});
    const QString other = env().path(u"other.yrd"_s);
    test::writeSqliteDataFile(other, {row(u"zoe"_s, u"PC7"_s), row(u"yan"_s, u"PC8"_s)});
    onDialog = [&](QDialog&) {
        saveDataPath(session(), other, true);
        return int(QDialog::Accepted);
    };
    action(u"mnuSelectDataPath"_s)->trigger();
    EXPECT_TRUE(waitForData());
    EXPECT_EQ(entries(), (QStringList{u"yan -|- PC8"_s, u"zoe -|- PC7"_s}));
    EXPECT_TRUE(users()->isEnabled());
}

// After a new, empty file the list is empty: the next report is for everybody and never names
// the person chosen in the file before.
TEST_F(UserListWindow, AReportAfterTheListEmptiedNamesNobodyItDidNotShow) {
    load({row(u"anna"_s, u"PC1"_s), row(u"bob"_s, u"PC2"_s)});
    users()->setCurrentIndex(users()->findText(u"bob -|- PC2"_s));
    ASSERT_TRUE(previewAndWait());
    const auto heading = [this] {
        QStringList texts;
        for (const engine::PageItem& item : viewer()->pages().pages.value(0).items)
            if (const auto* text = std::get_if<engine::TextItem>(&item))
                texts << text->text;
        return texts.join(u'\n');
    };
    ASSERT_TRUE(heading().contains(u"bob"_s)) << heading().toStdString();
    const QString empty = env().path(u"empty.yrd"_s);
    test::writeSqliteDataFile(empty, {});
    onDialog = [&](QDialog&) {
        saveDataPath(session(), empty, true);
        return int(QDialog::Accepted);
    };
    action(u"mnuSelectDataPath"_s)->trigger();
    ASSERT_TRUE(waitForData());
    ASSERT_EQ(users()->count(), 0);
    ASSERT_TRUE(previewAndWait());
    EXPECT_FALSE(heading().contains(u"bob"_s)) << heading().toStdString();
}

TEST_F(UserListWindow, CancellingTheDataFileDialogChangesNothing) {
    load({row(u"anna"_s, u"PC1"_s), row(u"bob"_s, u"PC2"_s)});
    users()->setCurrentIndex(users()->findText(u"bob -|- PC2"_s));
    ASSERT_TRUE(previewAndWait());
    action(u"mnuSelectDataPath"_s)->trigger(); // the test's dialog answers Cancel
    EXPECT_EQ(dialogs.last(), u"frmSelectData"_s);
    EXPECT_EQ(users()->currentText(), u"bob -|- PC2"_s);
    EXPECT_TRUE(action(u"mnuFileSave"_s)->isEnabled()) << "the report is still shown";
}
