#include "dateselector/ui/DateSelector.h"

#include "dateselector/Calendar.h"
#include "dateselector/TypedDate.h"
#include "dateselector/ui/StepArrows.h"
#include "support/Error.h"
#include "support/StepRunner.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

// Design geometry in twips (1/1440 inch); the three rows are 375 apart.
constexpr int kFieldLeft = 780;
constexpr int kFieldWidth = 4245;
constexpr int kFieldHeight = 315;
constexpr int kRowStep = 375;
constexpr int kLockWidth = 720;
constexpr int kArrowsWidth = 930;
constexpr int kArrowsHeight = 270;
constexpr int kGap = 60;
constexpr int kDesignWidth = kFieldLeft + kFieldWidth;
constexpr int kDesignHeight = 2 * kRowStep + kArrowsHeight;

const QString kDefaultStartCaption = u"Start date"_s;
const QString kDefaultEndCaption = u"End date"_s;
const QDate kDefaultAnchor(2000, 1, 1);

// Period kinds the menu offers; the others stay listed but disabled.
// The locale's short date format, with the year widened to four digits so that a typed year
// can never land in the wrong century.
QString shortDateFormat(const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(u"yyyy"_s))
        format.replace(u"yy"_s, u"yyyy"_s);
    return format;
}

} // namespace

// The date fields are the model's only store of the range. Programmatic writes are silent, so
// dateChanged reaches Change only for the user's own edits.
class DateSelector::Fields final : public DateFields {
public:
    Fields(QDateEdit* start, QDateEdit* end) : m_start(start), m_end(end) {}
    QDate startDate() const override { return m_start->date(); }
    void setStartDate(const QDate& date) override { write(m_start, date); }
    QDate endDate() const override { return m_end->date(); }
    void setEndDate(const QDate& date) override { write(m_end, date); }

private:
    static void write(QDateEdit* field, const QDate& date) {
        if (!date.isValid() || date < field->minimumDate() || date > field->maximumDate())
            throw Error(ErrNo::InvalidProcedureCall, u"Invalid property value"_s);
        const QSignalBlocker silence(field);
        field->setDate(date);
    }
    QDateEdit* m_start;
    QDateEdit* m_end;
};

DateSelector::DateSelector(std::function<QDate()> today, const QLocale& locale, QWidget* parent)
    : QWidget(parent), m_startDateCaption(kDefaultStartCaption), m_endDateCaption(kDefaultEndCaption) {
    build(locale);
    m_fields = std::make_unique<Fields>(m_startEdit, m_endEdit);
    m_model = std::make_unique<DateModel>(std::move(today), locale.firstDayOfWeek(), m_fields.get());
    m_model->setPropertyChangedHandler([this](const QString& name) { emit propertyChanged(name); });
    buildMenu();
    // The period menu opens from the keyboard on any of the date controls: Shift+F10 and the
    // Menu key (which arrives as a context menu event).
    const QList<QWidget*> controls{m_startEdit,
                                   m_startEdit->findChild<QLineEdit*>(),
                                   m_endEdit,
                                   m_endEdit->findChild<QLineEdit*>(),
                                   m_lockBox,
                                   m_stepArrows->downButton(),
                                   m_stepArrows->upButton()};
    for (QWidget* w : controls)
        if (w)
            w->installEventFilter(this);
}

DateSelector::~DateSelector() = default;

bool DateSelector::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return QWidget::eventFilter(watched, event);
    const QPoint under = widget->mapToGlobal(QPoint(0, widget->height()));
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)
            return showPeriodMenu(under);
    } else if (event->type() == QEvent::ContextMenu) {
        // A right-click on a date field keeps the field's own menu (copy, paste).
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        if (menu->reason() == QContextMenuEvent::Keyboard || qobject_cast<QAbstractButton*>(widget))
            return showPeriodMenu(menu->reason() == QContextMenuEvent::Keyboard ? under : menu->globalPos());
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

// A date field that Tab leaves as a whole (a plain date edit takes a Tab per part of the date:
// day, month, year); the parts are still reached with the arrow keys or by clicking. A click
// selects the part clicked, so typing replaces it (a year typed into an unselected year would
// only be refused). A whole date can be typed over the selected text, with month names, spaces or
// separators (readTypedDate); on a selected part a separator moves to the next part, never out of
// the field. F4 and Alt+Down open the calendar.
class DateField final : public QDateEdit {
public:
    DateField(const QLocale& locale, QWidget* parent) : QDateEdit(parent), m_locale(locale) {
        lineEdit()->installEventFilter(this);
    }

    QValidator::State validate(QString& input, int& pos) const override {
        if (!m_freeText)
            return QDateEdit::validate(input, pos);
        const TypedDate typed = readTypedDate(input, m_locale);
        switch (typed.state) {
        case TypedDate::State::Complete:
            return typed.date >= minimumDate() && typed.date <= maximumDate() ? QValidator::Acceptable
                                                                              : QValidator::Intermediate;
        case TypedDate::State::Partial:
            return QValidator::Intermediate;
        case TypedDate::State::Invalid:
            break;
        }
        return QValidator::Invalid;
    }

    void openCalendar() {
        if (!calendarPopup() || !isEnabled())
            return;
        // The date edit opens its calendar on a press on its arrow only; this is that press.
        QStyleOptionComboBox option;
        option.initFrom(this);
        option.editable = true;
        option.subControls = QStyle::SC_All;
        const QPoint arrow =
            style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this).center();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(arrow), QPointF(mapToGlobal(arrow)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QDateEdit::mousePressEvent(&press);
    }

protected:
    QDateTime dateTimeFromText(const QString& text) const override {
        const TypedDate typed = readTypedDate(text, m_locale);
        if (typed.state == TypedDate::State::Complete)
            return typed.date.startOfDay();
        return QDateEdit::dateTimeFromText(text);
    }

    void keyPressEvent(QKeyEvent* event) override {
        const bool altDown = event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier;
        if (event->key() == Qt::Key_F4 || altDown) {
            openCalendar();
            event->accept();
            return;
        }
        const bool typing = !event->text().isEmpty() && event->text().at(0).isPrint() &&
                            (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0;
        const bool allSelected =
            !lineEdit()->text().isEmpty() && lineEdit()->selectedText() == lineEdit()->text();
        if (typing && (m_freeText || allSelected || event->text().at(0).isLetter()))
            m_freeText = true;
        if (m_freeText && !endsFreeText(event->key())) {
            typeFreely(event);
            return;
        }
        if (m_freeText) {
            // Enter, Tab and the steps read the typed text first, as a whole date or not at all.
            QDateEdit::keyPressEvent(event);
            m_freeText = false;
            return;
        }
        if (typing && !event->text().at(0).isDigit()) {
            // A separator or space moves to the next part of the date, never out of the field.
            if (currentSectionIndex() + 1 < sectionCount()) {
                setCurrentSectionIndex(currentSectionIndex() + 1);
                setSelectedSection(currentSection());
            }
            event->accept();
            return;
        }
        QDateEdit::keyPressEvent(event);
    }

    void focusOutEvent(QFocusEvent* event) override {
        QDateEdit::focusOutEvent(event);
        m_freeText = false;
    }

    // Tabbing in selects the whole date, so what is typed replaces it.
    void focusInEvent(QFocusEvent* event) override {
        QDateEdit::focusInEvent(event);
        if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
            event->reason() == Qt::ShortcutFocusReason)
            selectAll();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease)
            QTimer::singleShot(0, this, [this] {
                if (hasFocus())
                    setSelectedSection(currentSection());
            });
        return QDateEdit::eventFilter(watched, event);
    }
    // Skips QDateTimeEdit's own step from part to part on purpose.
    bool focusNextPrevChild(bool next) override {
        return QWidget::focusNextPrevChild(next); // NOLINT(bugprone-parent-virtual-call)
    }

private:
    // Keys that leave free typing: the date edit reads the text (Enter, Tab) or steps the date.
    static bool endsFreeText(int key) {
        return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab ||
               key == Qt::Key_Backtab || key == Qt::Key_Escape || key == Qt::Key_Up || key == Qt::Key_Down ||
               key == Qt::Key_PageUp || key == Qt::Key_PageDown;
    }

    // The key edits the text as in a plain line edit: the date edit's own bookkeeping of parts would
    // put a half-typed date back to the last whole one. A whole date that ends in its year is taken
    // at once; any other is taken when the field is left or Enter is pressed.
    void typeFreely(QKeyEvent* event) {
        {
            const QSignalBlocker quiet(lineEdit());
            lineEdit()->event(event);
        }
        event->accept();
        const QString text = lineEdit()->text();
        const TypedDate typed = readTypedDate(text, m_locale);
        const bool endsInYear = text.size() >= 4 && text.right(4).toInt() == typed.date.year();
        if (typed.state == TypedDate::State::Complete && endsInYear && typed.date >= minimumDate() &&
            typed.date <= maximumDate()) {
            m_freeText = false;
            setDate(typed.date);
            lineEdit()->setText(textFromDateTime(typed.date.startOfDay()));
        }
    }

    QLocale m_locale;
    bool m_freeText = false;
};

} // namespace

void DateSelector::build(const QLocale& locale) {
    m_startLabel = new QLabel(kDefaultStartCaption, this);
    m_startEdit = new DateField(locale, this);
    m_endLabel = new QLabel(kDefaultEndCaption, this);
    m_endEdit = new DateField(locale, this);
    // The labels name their fields (for a screen reader, too).
    m_startLabel->setBuddy(m_startEdit);
    m_endLabel->setBuddy(m_endEdit);
    m_lockBox = new QCheckBox(this);
    m_stepArrows = new StepArrows(this);

    m_startLabel->setObjectName(u"lblStartDate"_s);
    m_startEdit->setObjectName(u"dtpStartDate"_s);
    m_endLabel->setObjectName(u"lblEndDate"_s);
    m_endEdit->setObjectName(u"dtpEndDate"_s);
    m_lockBox->setObjectName(u"chkLockDate"_s);
    m_stepArrows->setObjectName(u"updDate"_s);

    m_startEdit->setToolTip(u"Start date for the report"_s);
    m_endEdit->setToolTip(u"End date for the report"_s);
    m_lockBox->setToolTip(u"Hold these date settings"_s);
    // The box says what it does on the screen too, not only to a screen reader.
    m_lockBox->setText(u"Lock dates"_s);
    m_lockBox->setAccessibleName(u"Lock dates"_s);
    m_lockBox->setAccessibleDescription(u"Hold these date settings"_s);
    m_stepArrows->setToolTip(u"Move both dates back or forward"_s);

    const QString format = shortDateFormat(locale);
    for (QDateEdit* field : {m_startEdit, m_endEdit}) {
        field->setLocale(locale);
        field->setDisplayFormat(format);
        field->setCalendarPopup(true);
        field->setDateRange(earliestCalendarDate(), latestCalendarDate());
        connect(field, &QDateEdit::dateChanged, this, [this] { emit Change(); });
    }
    for (QLabel* label : {m_startLabel, m_endLabel})
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fitLabel(m_startLabel, 0);
    fitLabel(m_endLabel, kRowStep);

    // As the controls stand: the two dates, then the lock box and the arrows under them.
    setTabOrder(m_startEdit, m_endEdit);
    setTabOrder(m_endEdit, m_lockBox);
    setTabOrder(m_lockBox, m_stepArrows->downButton());
    setTabOrder(m_stepArrows->downButton(), m_stepArrows->upButton());

    connect(m_lockBox, &QCheckBox::stateChanged, this, [this] { applyLock(); });
    connect(m_stepArrows, &StepArrows::stepped, this, [this](int direction) {
        ignoringFailures([&] { m_model->step(direction); });
        emit Change();
    });

    resize(sizeHint());
    layoutRows();
}

void DateSelector::buildMenu() {
    m_options = new QMenu(u"Options"_s, this);
    m_options->setObjectName(u"mnuOptions"_s);
    QMenu* period = m_options->addMenu(u"Period"_s);
    period->setObjectName(u"mnuPeriod"_s);
    for (int i = 0; i <= 9; ++i) {
        QAction* item = period->addAction(periodCaption(i));
        item->setObjectName(u"miPeriod_%1"_s.arg(i));
        item->setData(i);
        item->setCheckable(true);
        // Choosing a period is the user's own change of the range, like a step: the host hears of
        // it. A locked range keeps its dates.
        connect(item, &QAction::triggered, this, [this, i] {
            if (DateLocked())
                return;
            ignoringFailures([&] { setPeriod(i); });
            emit Change();
        });
    }
}

QSize DateSelector::sizeHint() const {
    return {toPixels(kDesignWidth), toPixels(kDesignHeight)};
}

// A label is as wide as its caption and as high as the date field beside it, its text centred
// on the field's: a label only as high as its text would sit visibly above the field's text.
void DateSelector::fitLabel(QLabel* label, int rowTop) {
    label->adjustSize();
    label->setGeometry(0, toPixels(rowTop), label->width(), qMax(label->height(), toPixels(kFieldHeight)));
}

int DateSelector::toPixels(double twips) const {
    return static_cast<int>(std::lround(twips * logicalDpiX() / 1440.0));
}

double DateSelector::toTwips(int pixels) const {
    return pixels * 1440.0 / logicalDpiX();
}

void DateSelector::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ignoringFailures([&] { layoutRows(); });
}

// The fields start 60 twips right of the wider label and fill the rest of the width (never less
// than nothing); the arrows keep to the right edge. Hidden rows take part like shown ones.
void DateSelector::layoutRows() {
    const QVariant widest = GetMax({toTwips(m_startLabel->width()), toTwips(m_endLabel->width())});
    const double left = std::round(widest.toDouble() + kGap);
    const double width = GetMax({0.0, toTwips(this->width()) - left}).toDouble();
    m_startEdit->setGeometry(toPixels(left), 0, toPixels(width), toPixels(kFieldHeight));
    m_endEdit->setGeometry(toPixels(left), toPixels(kRowStep), toPixels(width), toPixels(kFieldHeight));
    const double arrowsLeft = toTwips(this->width()) - kArrowsWidth - kGap;
    m_stepArrows->setGeometry(toPixels(arrowsLeft), toPixels(2 * kRowStep), toPixels(kArrowsWidth),
                              toPixels(kArrowsHeight));
    // The lock box is as wide as its caption needs, short of the arrows.
    const int lockWidth = std::max(toPixels(kLockWidth), m_lockBox->sizeHint().width());
    m_lockBox->setGeometry(0, toPixels(2 * kRowStep), std::clamp(toPixels(arrowsLeft - kGap), 0, lockWidth),
                           toPixels(kArrowsHeight));
}

void DateSelector::contextMenuEvent(QContextMenuEvent* event) {
    event->setAccepted(showPeriodMenu(event->globalPos()));
}

// Opens the period menu at `globalPos`; a locked range offers none (false).
bool DateSelector::showPeriodMenu(QPoint globalPos) {
    if (DateLocked())
        return false;
    // The period the range was last set by is marked.
    const int current = Period();
    for (QAction* item : m_options->findChildren<QAction*>())
        if (item->objectName().startsWith(u"miPeriod_"_s))
            item->setChecked(item->data().toInt() == current);
    m_options->popup(globalPos);
    return true;
}

void DateSelector::applyLock() {
    // Read the box again for each control: the grey third state counts as not checked.
    for (QWidget* w : {static_cast<QWidget*>(m_startEdit), static_cast<QWidget*>(m_endEdit),
                       static_cast<QWidget*>(m_stepArrows)})
        ignoringFailures([&] { w->setEnabled(m_lockBox->checkState() != Qt::Checked); });
}

void DateSelector::applyVisibility() {
    m_startEdit->setVisible(m_model->ShowStartDate());
    m_startLabel->setVisible(m_model->ShowStartDate());
    m_endEdit->setVisible(m_model->ShowEndDate());
    m_endLabel->setVisible(m_model->ShowEndDate());
    m_stepArrows->setVisible(m_model->ShowStartDate() && m_model->ShowEndDate());
}

int DateSelector::Period() const {
    return m_model->Period();
}

void DateSelector::setPeriod(int value) {
    m_model->setPeriod(value);
}

double DateSelector::PeriodCount() const {
    return m_model->PeriodCount();
}

void DateSelector::setPeriodCount(double value) {
    m_model->setPeriodCount(value);
}

double DateSelector::StartDateOffset() const {
    return m_model->StartDateOffset();
}

void DateSelector::setStartDateOffset(double value) {
    m_model->setStartDateOffset(value);
}

QDate DateSelector::PeriodStartDate() const {
    return m_model->PeriodStartDate();
}

void DateSelector::setPeriodStartDate(const QDate& value) {
    m_model->setPeriodStartDate(value);
}

QDate DateSelector::StartDate() const {
    return m_model->StartDate();
}

void DateSelector::setStartDate(const QDate& value) {
    m_model->setStartDate(value);
}

QDate DateSelector::EndDate() const {
    return m_model->EndDate();
}

void DateSelector::setEndDate(const QDate& value) {
    m_model->setEndDate(value);
}

void DateSelector::SetDates(const QDate& newStartDate, int newPeriod, double newPeriodCount) {
    m_model->SetDates(newStartDate, newPeriod, newPeriodCount);
}

void DateSelector::GetReportDates(QDate& startDate, QDate& endDate) const {
    m_model->GetReportDates(startDate, endDate);
}

QDate DateSelector::FirstOf(const QString& period, const QDate& date, double offset) const {
    return m_model->FirstOf(period, date, offset);
}

void DateSelector::CalculateDates() {
    m_model->CalculateDates();
}

bool DateSelector::DateLocked() const {
    return m_lockBox->checkState() == Qt::Checked;
}

void DateSelector::setDateLocked(bool value) {
    withStep(u"locking the dates"_s, [&] { m_lockBox->setCheckState(value ? Qt::Checked : Qt::Unchecked); });
}

bool DateSelector::ShowStartDate() const {
    return m_model->ShowStartDate();
}

void DateSelector::setShowStartDate(bool value) {
    withStep(u"showing the start date"_s, [&] {
        m_model->setShowStartDate(value);
        applyVisibility();
    });
}

bool DateSelector::ShowEndDate() const {
    return m_model->ShowEndDate();
}

void DateSelector::setShowEndDate(bool value) {
    withStep(u"showing the end date"_s, [&] {
        m_model->setShowEndDate(value);
        applyVisibility();
    });
}

void DateSelector::setStartDateCaption(const QString& text) {
    withStep(u"labelling the start date"_s, [&] {
        if (text != m_startDateCaption) {
            m_startDateCaption = text;
            emit propertyChanged(u"StartDateCaption"_s);
        }
        m_startLabel->setText(m_startDateCaption);
        fitLabel(m_startLabel, 0);
    });
}

void DateSelector::setEndDateCaption(const QString& text) {
    withStep(u"labelling the end date"_s, [&] {
        if (text != m_endDateCaption) {
            m_endDateCaption = text;
            emit propertyChanged(u"EndDateCaption"_s);
        }
        m_endLabel->setText(m_endDateCaption);
        fitLabel(m_endLabel, kRowStep);
    });
}

void DateSelector::InitProperties() {
    // The constituent controls already show the design values; only the fields are set here.
    ignoringFailures([&] {
        m_model->setShowStartDate(true);
        m_model->setShowEndDate(true);
    });
    m_startDateCaption = kDefaultStartCaption;
    m_endDateCaption = kDefaultEndCaption;
    ignoringFailures(
        [&] { m_model->restoreSettings(static_cast<int>(DatePeriod::Month), 1, kDefaultAnchor, 1); });
    ignoringFailures([&] { m_model->CalculateDates(); });
}

void DateSelector::ReadProperties(const PropertyReader& read) {
    ignoringFailures([&] { setShowStartDate(read(u"showstartdate"_s, true).toBool()); });
    ignoringFailures([&] { setShowEndDate(read(u"showenddate"_s, true).toBool()); });
    ignoringFailures([&] {
        m_startDateCaption = read(u"startdatecaption"_s, kDefaultStartCaption).toString();
        m_startLabel->setText(m_startDateCaption);
        fitLabel(m_startLabel, 0);
    });
    ignoringFailures([&] {
        m_endDateCaption = read(u"enddatecaption"_s, kDefaultEndCaption).toString();
        m_endLabel->setText(m_endDateCaption);
        fitLabel(m_endLabel, kRowStep);
    });
    int period = m_model->Period();
    double count = m_model->PeriodCount();
    QDate anchor = m_model->PeriodStartDate();
    double offset = m_model->StartDateOffset();
    ignoringFailures([&] { period = read(u"period"_s, static_cast<int>(DatePeriod::Month)).toInt(); });
    ignoringFailures([&] { count = read(u"periodcount"_s, 1.0).toDouble(); });
    ignoringFailures([&] {
        const QDate stored = read(u"periodstartdate"_s, kDefaultAnchor).toDate();
        if (stored.isValid())
            anchor = stored;
    });
    ignoringFailures([&] { offset = read(u"startdateoffset"_s, 1.0).toDouble(); });
    m_model->restoreSettings(period, count, anchor, offset);
    ignoringFailures([&] { m_model->CalculateDates(); });
}

void DateSelector::WriteProperties(const PropertyWriter& write) const {
    ignoringFailures([&] { write(u"showstartdate"_s, ShowStartDate(), true); });
    ignoringFailures([&] { write(u"showenddate"_s, ShowEndDate(), true); });
    ignoringFailures([&] { write(u"startdatecaption"_s, m_startDateCaption, kDefaultStartCaption); });
    ignoringFailures([&] { write(u"enddatecaption"_s, m_endDateCaption, kDefaultEndCaption); });
    ignoringFailures([&] { write(u"period"_s, Period(), static_cast<int>(DatePeriod::Month)); });
    ignoringFailures([&] { write(u"periodcount"_s, PeriodCount(), 1.0); });
    ignoringFailures([&] { write(u"periodstartdate"_s, PeriodStartDate(), kDefaultAnchor); });
    ignoringFailures([&] { write(u"startdateoffset"_s, StartDateOffset(), 1.0); });
}

} // namespace tallyrow
