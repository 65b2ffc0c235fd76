#include "MainWindowFixture.h"

#include <QAccessible>
#include <QLabel>

using namespace Qt::StringLiterals;
using namespace tallyrow;
using namespace tallyrow::test;

namespace {

class ScreenReaderWindowTest : public MainWindowFixture {};

} // namespace

// Every list says what it is for (its label) and, as its value, the entry chosen: a reader
// announced "Weeks, combo box" where a user needs to hear which choice that is.
TEST_F(ScreenReaderWindowTest, ListsAreAnnouncedByTheirLabelWithTheChosenEntryAsValue) {
    load(office());
    const struct {
        const char* list;
        QString name;
    } cases[] = {{"cboUserName", u"User and computer"_s},
                 {"cboChartType", u"Chart type"_s},
                 {"cboTotalType", u"Over this date range show..."_s},
                 {"cboShowEachDay", u"On the graph show..."_s},
                 {"cboTimeScale", u"Show time on graph as"_s},
                 {"cboTotalsReportPeriod", u"Period"_s},
                 {"cboGroupBy", u"Show active time per"_s},
                 {"cboUsersTimeScale", u"Show time as"_s}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        auto* list = child<QComboBox>(QLatin1String(c.list));
        ASSERT_NE(list, nullptr);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), QAccessible::ComboBox);
        EXPECT_EQ(iface->text(QAccessible::Name), c.name);
        EXPECT_EQ(iface->text(QAccessible::Value), list->currentText());
        EXPECT_FALSE(list->currentText().isEmpty());
    }
}

// A finished report is said whatever has the focus: the status bar shows "Report ready" with its
// pages, offered to a screen reader as a notification (what the reader hears is checked over
// AT-SPI by test_screen_reader.py); a change of option takes the line away.
TEST_F(ScreenReaderWindowTest, AFinishedReportIsAnnouncedAndAChangeOfOptionClearsTheLine) {
    load(office());
    window->show();
    ASSERT_TRUE(previewAndWait());
    const int pages = viewer()->pageCount();
    const QString ready = pages == 1 ? u"Report ready: 1 page"_s : u"Report ready: %1 pages"_s.arg(pages);
    auto* line = child<QLabel>(u"lblReportStatus"_s);
    EXPECT_TRUE(line->isVisible());
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(line);
    EXPECT_EQ(iface->role(), QAccessible::Notification);
    EXPECT_EQ(iface->text(QAccessible::Name), ready);

    child<QCheckBox>(u"chkDateShowDetails"_s)->toggle();
    EXPECT_TRUE(line->text().isEmpty());
}
