#pragma once

#include "dateselector/DateModel.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QDateEdit;
class QLabel;
class QMenu;

namespace tallyrow {

class StepArrows;

/// Reads a persisted value of a host window: the stored value of `key`, or `def` when none is.
using PropertyReader = std::function<QVariant(const QString& key, const QVariant& def)>;
/// Writes a persisted value of a host window; a value equal to `def` is not stored.
using PropertyWriter = std::function<void(const QString& key, const QVariant& value, const QVariant& def)>;

/// A report's date range: two labelled date fields, a lock box and a pair of step arrows, over a
/// DateModel whose dates are the two fields themselves.
///
/// Children (objectNames): lblStartDate, dtpStartDate, lblEndDate, dtpEndDate, chkLockDate,
/// updDate (arrows updDateDown / updDateUp). The period menu (mnuOptions > mnuPeriod, items
/// miPeriod_0 … miPeriod_9) pops up on a right click outside the date fields, only while the
/// range is not locked.
///
/// Change is emitted only when the user altered the range: an edit in a date field, a step or a
/// period chosen in the menu. Whatever the program writes (SetDates, CalculateDates, the
/// setters) stays silent. propertyChanged(name) tells the host that a persisted property changed.
///
/// Lifecycle: construct, then either InitProperties() for a new instance or ReadProperties() to
/// load stored settings; each calculates the range once. Property setters throw tallyrow::Error
/// with the property's trail entry; the control's own event handlers never let a failure out.
class DateSelector final : public QWidget {
    Q_OBJECT
public:
    /// Uses the process services for today and the locale.
    explicit DateSelector(QWidget* parent = nullptr);
    /// `today` gives the current date; `locale` the short date format and first day of the week.
    DateSelector(std::function<QDate()> today, const QLocale& locale, QWidget* parent = nullptr);
    ~DateSelector() override;

    // Date model (see DateModel for the rules).
    int Period() const;
    void setPeriod(int value);
    double PeriodCount() const;
    void setPeriodCount(double value);
    double StartDateOffset() const;
    void setStartDateOffset(double value);
    QDate PeriodStartDate() const;
    void setPeriodStartDate(const QDate& value);
    QDate StartDate() const;
    void setStartDate(const QDate& value);
    QDate EndDate() const;
    void setEndDate(const QDate& value);
    void SetDates(const QDate& newStartDate, int newPeriod, double newPeriodCount);
    void GetReportDates(QDate& startDate, QDate& endDate) const;
    QDate FirstOf(const QString& period, const QDate& date, double offset = 0) const;
    void CalculateDates();

    /// The lock: while set, the user can neither edit the dates nor step; the program still can.
    /// Setting it acts exactly as a click on the lock box.
    bool DateLocked() const;
    void setDateLocked(bool value);

    /// Whether the start / end row shows; the step arrows show only while both do. Hiding a row
    /// does not move the other.
    bool ShowStartDate() const;
    void setShowStartDate(bool value);
    bool ShowEndDate() const;
    void setShowEndDate(bool value);

    /// Row captions. Setting one writes the label at once but leaves the layout to the next resize.
    QString StartDateCaption() const { return m_startDateCaption; }
    void setStartDateCaption(const QString& text);
    QString EndDateCaption() const { return m_endDateCaption; }
    void setEndDateCaption(const QString& text);

    /// A new instance: design defaults (Month, count 1, offset 1, anchor 1 January 2000, both rows
    /// shown, captions "Start date" / "End date") and the range they give today.
    void InitProperties();
    /// Loads the eight persisted properties (keys in lower case) and calculates the range once.
    void ReadProperties(const PropertyReader& read);
    /// Saves the eight persisted properties; values at their defaults are not stored.
    void WriteProperties(const PropertyWriter& write) const;

    /// The period menu ("Options" > "Period"); only Year, Quarter, Month, Day and Week are enabled.
    QMenu* optionsMenu() const { return m_options; }

    QSize sizeHint() const override;

signals:
    /// The user changed the range.
    void Change();
    /// A persisted property changed ("Period", "PeriodCount", "ShowStartDate", …).
    void propertyChanged(const QString& name);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Fields;

    void build(const QLocale& locale);
    void buildMenu();
    void applyLock();
    void applyVisibility();
    bool showPeriodMenu(QPoint globalPos);
    void layoutRows();
    void fitLabel(QLabel* label, int rowTop);
    int toPixels(double twips) const;
    double toTwips(int pixels) const;

    QLabel* m_startLabel;
    QDateEdit* m_startEdit;
    QLabel* m_endLabel;
    QDateEdit* m_endEdit;
    QCheckBox* m_lockBox;
    StepArrows* m_stepArrows;
    QMenu* m_options = nullptr;

    std::unique_ptr<Fields> m_fields;
    std::unique_ptr<DateModel> m_model;
    QString m_startDateCaption;
    QString m_endDateCaption;
};

} // namespace tallyrow
