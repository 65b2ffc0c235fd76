#include "dateselector/ui/DateSelector.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace tallyrow;
using namespace Qt::StringLiterals;

// Readable dates in failure messages.
void PrintTo(const QDate& date, std::ostream* os) {
    *os << date.toString(Qt::ISODate).toStdString();
}

namespace {

QDate d(int y, int m, int day) {
    return QDate(y, m, day);
}

// A host's property store as windows keep it: keys in lower case, matched without case, values
// at their default removed.
struct Store {
    QVariant read(const QString& key, const QVariant& def) const { return values.value(key.toLower(), def); }
    void write(const QString& key, const QVariant& value, const QVariant& def) {
        written << key;
        if (value == def)
            values.remove(key.toLower());
        else
            values.insert(key.toLower(), value);
    }
    PropertyReader reader() const {
        return [this](const QString& k, const QVariant& def) { return read(k, def); };
    }
    PropertyWriter writer() {
        return [this](const QString& k, const QVariant& v, const QVariant& def) { write(k, v, def); };
    }
    QMap<QString, QVariant> values;
    QStringList written;
};

class DateSelectorTest : public ::testing::Test {
protected:
    DateSelectorTest()
        : selector(
              [this] {
                  ++todayCalls;
                  return today;
              },
              QLocale(QLocale::English, QLocale::UnitedKingdom)),
          changes(&selector, &DateSelector::Change), marks(&selector, &DateSelector::propertyChanged) {
        selector.InitProperties();
        selector.show(); // resizes reach a widget once it is shown
        changes.clear();
        marks.clear();
    }

    template <typename T> T* child(const char* name) {
        T* w = selector.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    QStringList markedNames() const {
        QStringList names;
        for (const auto& args : marks)
            names << args.at(0).toString();
        return names;
    }

    QDate today = d(2004, 6, 16);
    int todayCalls = 0;
    DateSelector selector;
    QSignalSpy changes;
    QSignalSpy marks;
};

} // namespace

TEST_F(DateSelectorTest, NewInstanceShowsTheLastCompleteMonthInTheLocaleShortFormat) {
    EXPECT_EQ(selector.Period(), 2);
    EXPECT_EQ(selector.StartDate(), d(2004, 5, 1));
    EXPECT_EQ(selector.EndDate(), d(2004, 5, 31));
    auto* start = child<QDateEdit>("dtpStartDate");
    EXPECT_TRUE(start->calendarPopup());
    EXPECT_EQ(start->displayFormat(), u"dd/MM/yyyy"_s);
    EXPECT_EQ(start->toolTip(), u"Start date for the report"_s);
    EXPECT_EQ(child<QDateEdit>("dtpEndDate")->toolTip(), u"End date for the report"_s);
    EXPECT_EQ(child<QCheckBox>("chkLockDate")->toolTip(), u"Hold these date settings"_s);
    EXPECT_EQ(child<QCheckBox>("chkLockDate")->accessibleName(), u"Lock dates"_s)
        << "read out by screen readers";
    EXPECT_EQ(child<QCheckBox>("chkLockDate")->text(), u"Lock dates"_s) << "and shown beside the box";
    EXPECT_EQ(child<QWidget>("updDate")->toolTip(), u"Move both dates back or forward"_s);
    EXPECT_EQ(child<QLabel>("lblStartDate")->text(), u"Start date"_s);
    EXPECT_EQ(child<QLabel>("lblEndDate")->text(), u"End date"_s);
}

TEST_F(DateSelectorTest, EachStepMovesTheWholeRangeAndRaisesOneChange) {
    selector.SetDates(d(2004, 6, 13), 6, 1);
    changes.clear();
    marks.clear();
    child<QToolButton>("updDateDown")->click();
    EXPECT_EQ(selector.StartDate(), d(2004, 6, 6));
    EXPECT_EQ(selector.EndDate(), d(2004, 6, 12));
    EXPECT_EQ(changes.count(), 1);

    child<QToolButton>("updDateUp")->click();
    EXPECT_EQ(selector.StartDate(), d(2004, 6, 13));
    EXPECT_EQ(selector.EndDate(), d(2004, 6, 19));
    EXPECT_EQ(changes.count(), 2);

    // A hand-made range becomes a standard one after one step.
    selector.setStartDate(d(2004, 6, 3));
    selector.setEndDate(d(2004, 6, 20));
    child<QToolButton>("updDateDown")->click();
    EXPECT_EQ(selector.StartDate(), d(2004, 5, 27));
    EXPECT_EQ(selector.EndDate(), d(2004, 6, 2));
    EXPECT_EQ(changes.count(), 3);
    EXPECT_TRUE(marks.isEmpty() || markedNames() == QStringList{u"Period"_s});
}

TEST_F(DateSelectorTest, ProgramWritesRaiseNoChange) {
    selector.SetDates(d(2004, 1, 1), 0, 1);
    selector.CalculateDates();
    selector.setStartDate(d(2004, 2, 1));
    selector.setEndDate(d(2004, 3, 1));
    selector.setPeriodCount(3);
    selector.setStartDateOffset(0);
    selector.setPeriodStartDate(d(2001, 1, 1));
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(DateSelectorTest, UserEditsAreTheModelsDatesAndRaiseChange) {
    auto* start = child<QDateEdit>("dtpStartDate");
    start->setFocus();
    start->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(start, Qt::Key_Up);
    EXPECT_EQ(selector.StartDate(), d(2004, 5, 2));
    EXPECT_EQ(changes.count(), 1);

    auto* end = child<QDateEdit>("dtpEndDate");
    end->setFocus();
    end->setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClicks(end, u"20"_s);
    EXPECT_EQ(selector.EndDate(), d(2004, 5, 20));
    EXPECT_GE(changes.count(), 2);
}

TEST_F(DateSelectorTest, LockDisablesFieldsAndArrowsButNotTheProgram) {
    auto* lock = child<QCheckBox>("chkLockDate");
    selector.setDateLocked(true);
    EXPECT_TRUE(lock->isChecked());
    for (const char* name : {"dtpStartDate", "dtpEndDate", "updDate"})
        EXPECT_FALSE(child<QWidget>(name)->isEnabled()) << name;
    EXPECT_FALSE(child<QToolButton>("updDateUp")->isEnabled());
    EXPECT_TRUE(child<QLabel>("lblStartDate")->isEnabled());

    selector.SetDates(d(2004, 3, 1), 2, 1);
    EXPECT_EQ(selector.StartDate(), d(2004, 3, 1));
    EXPECT_EQ(selector.EndDate(), d(2004, 3, 31));
    EXPECT_TRUE(selector.DateLocked());

    lock->click();
    EXPECT_FALSE(selector.DateLocked());
    EXPECT_TRUE(child<QWidget>("dtpEndDate")->isEnabled());
    EXPECT_TRUE(child<QWidget>("updDate")->isEnabled());

    // The grey third state does not lock.
    lock->setTristate(true);
    lock->setCheckState(Qt::PartiallyChecked);
    EXPECT_FALSE(selector.DateLocked());
    EXPECT_TRUE(child<QWidget>("dtpStartDate")->isEnabled());
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(DateSelectorTest, HiddenRowsTakeTheArrowsWithThem) {
    selector.setShowEndDate(false);
    EXPECT_TRUE(child<QWidget>("dtpEndDate")->isHidden());
    EXPECT_TRUE(child<QWidget>("lblEndDate")->isHidden());
    EXPECT_TRUE(child<QWidget>("updDate")->isHidden());
    EXPECT_FALSE(child<QWidget>("dtpStartDate")->isHidden());

    selector.setShowStartDate(true);
    EXPECT_TRUE(child<QWidget>("updDate")->isHidden());
    EXPECT_EQ(markedNames(), QStringList{u"ShowEndDate"_s});

    const QPoint before = child<QWidget>("dtpStartDate")->pos();
    selector.setShowStartDate(false);
    selector.setShowEndDate(true);
    EXPECT_TRUE(child<QWidget>("lblStartDate")->isHidden());
    EXPECT_FALSE(child<QWidget>("dtpEndDate")->isHidden());
    EXPECT_TRUE(child<QWidget>("updDate")->isHidden());
    selector.setShowStartDate(true);
    EXPECT_FALSE(child<QWidget>("updDate")->isHidden());
    EXPECT_EQ(child<QWidget>("dtpStartDate")->pos(), before);
}

TEST_F(DateSelectorTest, CaptionsAlwaysReachTheLabelButMarkOnlyAChange) {
    auto* label = child<QLabel>("lblStartDate");
    label->setText(u"stale"_s);
    selector.setStartDateCaption(u"Start date"_s);
    EXPECT_EQ(label->text(), u"Start date"_s);
    EXPECT_TRUE(marks.isEmpty());

    selector.setEndDateCaption(u"end date"_s); // differs in case only
    EXPECT_EQ(child<QLabel>("lblEndDate")->text(), u"end date"_s);
    EXPECT_EQ(markedNames(), QStringList{u"EndDateCaption"_s});
}

TEST_F(DateSelectorTest, LayoutFollowsTheWiderLabelAndNeverGoesNegative) {
    auto* start = child<QWidget>("dtpStartDate");
    auto* end = child<QWidget>("dtpEndDate");
    auto* arrows = child<QWidget>("updDate");
    const int gap = qRound(60.0 * selector.logicalDpiX() / 1440.0);

    selector.resize(400, selector.height());
    const int widest = qMax(child<QLabel>("lblStartDate")->width(), child<QLabel>("lblEndDate")->width());
    EXPECT_NEAR(start->x(), widest + gap, 1);
    EXPECT_EQ(end->x(), start->x());
    EXPECT_EQ(end->width(), start->width());
    EXPECT_NEAR(start->x() + start->width(), 400, 1);
    EXPECT_NEAR(arrows->x() + arrows->width() + gap, 400, 1);
    // The lock box shows its whole caption and stays clear of the arrows.
    auto* lock = child<QCheckBox>("chkLockDate");
    EXPECT_GE(lock->width(), lock->sizeHint().width());
    EXPECT_LT(lock->geometry().right(), arrows->x());

    // A longer caption moves the fields only at the next resize.
    const int oldLeft = start->x();
    selector.setStartDateCaption(u"First day of the report range"_s);
    EXPECT_EQ(start->x(), oldLeft);
    selector.resize(401, selector.height());
    EXPECT_GT(start->x(), oldLeft);

    selector.resize(10, selector.height());
    EXPECT_EQ(start->width(), 0);
    EXPECT_EQ(end->width(), 0);
}

TEST_F(DateSelectorTest, CaptionsSitLevelWithTheirFields) {
    const auto centresAlign = [this](const char* labelName, const char* fieldName) {
        SCOPED_TRACE(labelName);
        auto* label = child<QLabel>(labelName);
        auto* field = child<QWidget>(fieldName);
        EXPECT_TRUE(label->alignment() & Qt::AlignVCenter);
        EXPECT_NEAR(label->geometry().center().y(), field->geometry().center().y(), 1);
        EXPECT_LE(label->x() + label->width(), field->x());
    };
    selector.resize(400, selector.height());
    centresAlign("lblStartDate", "dtpStartDate");
    centresAlign("lblEndDate", "dtpEndDate");

    selector.setEndDateCaption(u"Last day"_s);
    selector.resize(401, selector.height());
    centresAlign("lblEndDate", "dtpEndDate");
}

TEST_F(DateSelectorTest, TabGoesThroughBothDatesToTheLockAndTheArrowsUnderThem) {
    const QStringList order{u"dtpStartDate"_s, u"dtpEndDate"_s, u"chkLockDate"_s, u"updDateDown"_s,
                            u"updDateUp"_s};
    QStringList visited;
    QWidget* w = child<QWidget>("dtpStartDate");
    for (int i = 0; i < 50 && visited.size() < order.size(); ++i, w = w->nextInFocusChain()) {
        if (order.contains(w->objectName()) && !visited.contains(w->objectName()) &&
            (w->focusPolicy() & Qt::TabFocus))
            visited << w->objectName();
    }
    EXPECT_EQ(visited, order);
}

TEST_F(DateSelectorTest, PeriodMenuOffersEveryKindAndAChoiceIsAUserChange) {
    QMenu* options = selector.optionsMenu();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->title(), u"Options"_s);
    auto* period = child<QMenu>("mnuPeriod");
    EXPECT_EQ(period->title(), u"Period"_s);
    const QStringList captions{u"Year"_s,    u"Quarter"_s, u"Month"_s, u"Day of Year"_s, u"Day"_s,
                               u"Weekday"_s, u"Week"_s,    u"Hour"_s,  u"Minute"_s,      u"Second"_s};
    const QList<QAction*> items = period->actions();
    ASSERT_EQ(items.size(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(items[i]->text(), captions[i]);
        EXPECT_TRUE(items[i]->isEnabled()) << i;
    }
    // Periods shorter than a day give the day they fall on, never a range that ends before it starts.
    for (int i : {3, 5, 7, 8, 9}) {
        items[i]->trigger();
        EXPECT_EQ(selector.StartDate(), selector.EndDate()) << i;
    }
    changes.clear();
    marks.clear();

    items[6]->trigger();
    EXPECT_EQ(selector.Period(), 6);
    EXPECT_EQ(selector.StartDate(), d(2004, 6, 7)); // the locale's weeks start on Monday
    EXPECT_EQ(selector.EndDate(), d(2004, 6, 13));
    EXPECT_EQ(markedNames(), QStringList{u"Period"_s});
    EXPECT_EQ(changes.count(), 1) << "the host must learn of the new range";

    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), selector.mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(&selector, &click);
    EXPECT_TRUE(options->isVisible());
    EXPECT_TRUE(items[6]->isChecked()) << "the range's period is marked";
    EXPECT_FALSE(items[2]->isChecked());
    options->hide();
}

// The keyboard reaches the period menu from every date control: Shift+F10, and the Menu key's
// context menu event; a locked range offers none.
TEST_F(DateSelectorTest, ShiftF10AndTheMenuKeyOpenThePeriodMenuOnTheDateControls) {
    QMenu* options = selector.optionsMenu();
    for (const char* name : {"dtpStartDate", "dtpEndDate", "chkLockDate", "updDateDown", "updDateUp"}) {
        SCOPED_TRACE(name);
        auto* control = child<QWidget>(name);
        QWidget* focused = control->focusProxy() ? control->focusProxy() : control;
        QTest::keyClick(focused, Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_TRUE(options->isVisible());
        options->hide();
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(1, 1), focused->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(focused, &key);
        EXPECT_TRUE(options->isVisible());
        options->hide();
    }
    child<QCheckBox>("chkLockDate")->setChecked(true);
    QTest::keyClick(child<QWidget>("chkLockDate"), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_FALSE(options->isVisible());
}

// One Tab leaves a date field (not one per day, month and year), and each field is named by its
// label.
TEST_F(DateSelectorTest, OneTabPerDateFieldAndLabelsNameTheirFields) {
    selector.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&selector));
    QApplication::setActiveWindow(&selector);
    auto* start = child<QDateEdit>("dtpStartDate");
    start->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), child<QDateEdit>("dtpEndDate"));
    EXPECT_EQ(child<QLabel>("lblStartDate")->buddy(), start);

    // A click on the year selects it: typing a year replaces it at once.
    QLineEdit* text = start->findChild<QLineEdit*>();
    ASSERT_NE(text, nullptr);
    const QDate before = start->date();
    const int yearAt = text->text().lastIndexOf(QString::number(before.year()));
    ASSERT_GE(yearAt, 0);
    const int x = text->contentsRect().left() + 2 +
                  text->fontMetrics().horizontalAdvance(text->text().left(yearAt + 2));
    QTest::mouseClick(text, Qt::LeftButton, {}, QPoint(std::max(2, x), text->height() / 2));
    QTest::qWait(20);
    QTest::keyClicks(text, u"2011"_s);
    EXPECT_EQ(start->date().year(), 2011) << text->text().toStdString();
    EXPECT_EQ(child<QLabel>("lblEndDate")->buddy(), child<QDateEdit>("dtpEndDate"));
}

// A date typed in whole, with spaces and a month name, sets that date and nothing else: the
// spaces neither leave the field nor reach the arrows beside it.
TEST_F(DateSelectorTest, ATypedDateSetsThatDateOnly) {
    selector.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&selector));
    QApplication::setActiveWindow(&selector);
    auto* start = child<QDateEdit>("dtpStartDate");
    const QDate end = selector.EndDate();
    for (const QString& typed : {u"1 Dec 2026"_s, u"2/11/2025"_s, u"march 3 2024"_s}) {
        SCOPED_TRACE(typed.toStdString());
        start->setFocus();
        QTest::keyClick(start, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), typed);
        EXPECT_EQ(QApplication::focusWidget(), start);
        QTest::keyClick(start, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), child<QDateEdit>("dtpEndDate"));
    }
    EXPECT_EQ(selector.StartDate(), d(2024, 3, 3));
    EXPECT_EQ(start->text(), u"03/03/2024"_s) << "shown in the locale's format once left";
    EXPECT_EQ(selector.EndDate(), end) << "no step of the range";
    EXPECT_EQ(selector.Period(), 2);
}

TEST_F(DateSelectorTest, F4AndAltDownOpenTheCalendar) {
    selector.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&selector));
    auto* start = child<QDateEdit>("dtpStartDate");
    const QDate before = start->date();
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_F4, Qt::NoModifier}, {Qt::Key_Down, Qt::AltModifier}}) {
        start->setFocus();
        QTest::keyClick(start, key, modifiers);
        auto* calendar = start->findChild<QCalendarWidget*>();
        ASSERT_NE(calendar, nullptr);
        EXPECT_TRUE(calendar->isVisible());
        calendar->window()->hide();
    }
    EXPECT_EQ(start->date(), before);
}

TEST_F(DateSelectorTest, LockedDatesOfferNoPeriodMenuAndKeepTheirRange) {
    selector.setDateLocked(true);
    const QDate start = selector.StartDate();
    const QDate end = selector.EndDate();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), selector.mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(&selector, &click);
    EXPECT_FALSE(selector.optionsMenu()->isVisible());

    child<QAction>("miPeriod_0")->trigger(); // a menu left open from before the lock
    EXPECT_EQ(selector.StartDate(), start);
    EXPECT_EQ(selector.EndDate(), end);
    EXPECT_EQ(selector.Period(), 2);
    EXPECT_EQ(changes.count(), 0);

    selector.setDateLocked(false);
    QApplication::sendEvent(&selector, &click);
    EXPECT_TRUE(selector.optionsMenu()->isVisible());
    selector.optionsMenu()->hide();
}

TEST_F(DateSelectorTest, PropertiesRoundTripThroughTheHostStore) {
    Store store;
    selector.WriteProperties(store.writer());
    EXPECT_TRUE(store.values.isEmpty());
    for (const QString& key : store.written)
        EXPECT_EQ(key, key.toLower());
    EXPECT_EQ(store.written.size(), 8);

    selector.setPeriod(6);
    selector.setPeriodCount(2);
    selector.setStartDateOffset(0);
    selector.setPeriodStartDate(d(2000, 1, 2));
    selector.setShowEndDate(false);
    selector.setStartDateCaption(u"From"_s);
    selector.WriteProperties(store.writer());
    EXPECT_EQ(store.values.value(u"period"_s).toInt(), 6);
    EXPECT_EQ(store.values.size(), 6);

    DateSelector loaded([this] { return today; }, QLocale(QLocale::English, QLocale::UnitedKingdom));
    QSignalSpy loadMarks(&loaded, &DateSelector::propertyChanged);
    loaded.ReadProperties(store.reader());
    EXPECT_EQ(loaded.Period(), 6);
    EXPECT_EQ(loaded.PeriodCount(), 2);
    EXPECT_EQ(loaded.StartDateOffset(), 0);
    EXPECT_EQ(loaded.PeriodStartDate(), d(2000, 1, 2));
    EXPECT_FALSE(loaded.ShowEndDate());
    EXPECT_EQ(loaded.StartDateCaption(), u"From"_s);
    EXPECT_EQ(loaded.findChild<QLabel*>(u"lblStartDate"_s)->text(), u"From"_s);
    EXPECT_EQ(loaded.StartDate(), selector.StartDate());
    EXPECT_EQ(loaded.EndDate(), selector.EndDate());
    EXPECT_EQ(loaded.StartDate(), d(2004, 6, 7));
    EXPECT_EQ(loaded.EndDate(), d(2004, 6, 20));
    // Only the "ShowEndDate" setter marks; the period settings load silently.
    EXPECT_EQ(loadMarks.count(), 1);
}

TEST_F(DateSelectorTest, LoadingAStoredWeekCalculatesOnceWithTheLoadedSettings) {
    Store store;
    store.values.insert(u"period"_s, 6);
    store.values.insert(u"periodcount"_s, 2.0);

    todayCalls = 0;
    selector.ReadProperties(store.reader());
    const int loadCalls = todayCalls;
    EXPECT_EQ(selector.Period(), 6);
    EXPECT_EQ(selector.StartDate(), d(2004, 5, 24));
    EXPECT_EQ(selector.EndDate(), d(2004, 6, 6));
    EXPECT_TRUE(marks.isEmpty());

    todayCalls = 0;
    selector.CalculateDates();
    EXPECT_EQ(loadCalls, todayCalls);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
