#pragma once

#include "dateselector/DateFields.h"

#include <QDate>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <Qt>

#include <functional>

namespace tallyrow {

/// The period kinds of a date range. Stored and persisted as a 32-bit integer; each kind is
/// held as the interval code the calendar functions take (see Calendar.h).
enum class DatePeriod : qint32 {
    Year = 0,      // "yyyy"
    Quarter = 1,   // "q"
    Month = 2,     // "m"
    DayOfYear = 3, // "y"
    Day = 4,       // "d"
    Weekday = 5,   // "w"
    Week = 6,      // "ww"
    Hour = 7,      // "h"
    Minute = 8,    // "n"
    Second = 9,    // "s"
};

/// The interval code of a period value; every value outside 0..9 counts as Month ("m").
QString periodInterval(int value);
/// The period value of an interval code, compared exactly (case-sensitive); anything that is not
/// one of the ten lower-case codes reads as 2 (Month).
int periodValue(const QString& interval);
/// The caption of a period kind in the period menu ("Year", …, "Day of Year", …), "" outside 0..9.
QString periodCaption(int value);

/// The largest numeric element of `values`, or an invalid QVariant when there is none.
/// Elements that are not numbers (text, booleans, dates, NaN) are skipped; on a tie the earlier
/// element stays, and the result keeps that element's own type.
QVariant GetMax(const QVariantList& values);

/// The date model of the date selector: four period settings that give a default range relative
/// to today, setters for a single date, and the step that moves the range by one period.
///
/// `today` is asked afresh at every comparison; `firstDayOfWeek` is the regional first day of the
/// week that week ranges start on. Dates live in `fields` (not owned, must outlive the model), or
/// in the model itself when none is given. Failures are tallyrow::Error with the operation's name
/// added as their outermost step; whatever was written before the failure stays written.
/// Nothing is calculated on construction: call CalculateDates once the settings are in place.
class DateModel final {
public:
    DateModel(std::function<QDate()> today, Qt::DayOfWeek firstDayOfWeek, DateFields* fields = nullptr);
    DateModel(const DateModel&) = delete;
    DateModel& operator=(const DateModel&) = delete;

    /// Called with a persisted property's name ("Period", "PeriodCount", "StartDateOffset",
    /// "PeriodStartDate", "ShowStartDate", "ShowEndDate") after every effective change, so the
    /// host knows its stored data is out of date.
    void setPropertyChangedHandler(std::function<void(const QString& name)> handler);

    /// The period as a DatePeriod value (0..9).
    int Period() const;
    /// Sets the period (values outside 0..9 mean Month), recalculates the range and marks
    /// "Period" changed, also when the value is the current one.
    void setPeriod(int value);
    /// Stores the interval code of `value` only: no recalculation, no mark. Loading uses it.
    void SetPeriod(int value);
    /// The interval code of the current period ("m" for Month).
    QString PeriodInterval() const { return m_periodInterval; }

    /// Number of periods in one range (default 1).
    double PeriodCount() const;
    /// How many ranges before the one containing today the default range lies (default 1).
    double StartDateOffset() const;
    /// The anchor ranges are counted from (default 1 January 2000).
    QDate PeriodStartDate() const;
    // The three setters do nothing when the value is the stored one; otherwise they store it,
    // recalculate the range and mark the property changed.
    void setPeriodCount(double value);
    void setStartDateOffset(double value);
    void setPeriodStartDate(const QDate& value);

    /// Stores the four settings as they were saved: SetPeriod for the period, the rest directly.
    /// No recalculation, no mark; the loader calls CalculateDates once afterwards.
    void restoreSettings(int period, double periodCount, const QDate& periodStartDate,
                         double startDateOffset);

    QDate StartDate() const;
    QDate EndDate() const;
    /// A start after the end (while the end is shown) first moves the end to the last day of the
    /// period PeriodCount periods after the new start's: 10 March 2004, Month, count 1 → 30 April.
    void setStartDate(const QDate& newDate);
    /// An end before the start (while the start is shown) is not stored: the start moves to the
    /// first day of the period PeriodCount periods after the new end's and the end keeps its value.
    /// Start 1 April 2004, Month, count 1, new end 10 March 2004: both dates stay as they were.
    void setEndDate(const QDate& newDate);

    /// Whether the start and end rows are shown; the two date setters read them. Setting a
    /// different value marks "ShowStartDate" / "ShowEndDate" changed.
    bool ShowStartDate() const { return m_showStartDate; }
    bool ShowEndDate() const { return m_showEndDate; }
    void setShowStartDate(bool value);
    void setShowEndDate(bool value);

    /// Sets the period through setPeriod, stores `newPeriodCount` without recalculating, and makes
    /// the range start on `newStartDate` and last `newPeriodCount` periods. Not aligned to period
    /// starts: SetDates(today − 7, Week, 1) gives today − 7 … today − 1.
    void SetDates(const QDate& newStartDate, int newPeriod, double newPeriodCount);
    /// The current range.
    void GetReportDates(QDate& startDate, QDate& endDate) const;

    /// First day of the period containing `date` moved by `offset` periods: the regional week
    /// start for "ww", the 1st for "m", 1 January for "yyyy", the moved date for "d". Any other
    /// code ("q", "y", "w", "h", "n", "s") gives `date` itself, whatever the offset; quarters
    /// follow the anchor only.
    QDate FirstOf(const QString& period, const QDate& date, double offset = 0) const;
    /// Last day of the period containing `date` moved by `offset` periods (see FirstOf).
    QDate LastOf(const QString& period, const QDate& date, double offset = 0) const;

    /// The default range: counted in steps of PeriodCount periods from FirstOf the anchor, the
    /// range StartDateOffset ranges before the one that holds today. A range counts as holding
    /// today only once today is past its first day, so on the first day of a range the result
    /// lies one range further back (1 June 2004, Month: April, not May). A count that moves the
    /// date by nothing or backwards (0, negative, under half an interval) leaves the range at
    /// FirstOf the anchor and ending the day before the next count.
    void CalculateDates();

    /// Moves the start back (direction < 0) or forward (> 0) by PeriodCount periods and rebuilds
    /// the end from the new start, so a hand-edited range becomes a standard one.
    void step(int direction);

    Qt::DayOfWeek firstDayOfWeek() const { return m_firstDayOfWeek; }

private:
    class HeldDates final : public DateFields {
    public:
        QDate startDate() const override { return m_start; }
        void setStartDate(const QDate& date) override { m_start = date; }
        QDate endDate() const override { return m_end; }
        void setEndDate(const QDate& date) override { m_end = date; }

    private:
        QDate m_start;
        QDate m_end;
    };

    QDate searchRange(const QDate& first) const;
    /// The last day of the range of PeriodCount periods that begins on `start`; a range of hours,
    /// minutes or seconds ends no earlier than it starts.
    QDate lastDayFrom(const QDate& start) const;
    void markChanged(const QString& name) const;

    std::function<QDate()> m_today;
    Qt::DayOfWeek m_firstDayOfWeek;
    HeldDates m_held;
    DateFields* m_fields;
    std::function<void(const QString&)> m_propertyChanged;

    QString m_periodInterval;
    double m_periodCount = 1;
    double m_startDateOffset = 1;
    QDate m_periodStartDate;
    bool m_showStartDate = true;
    bool m_showEndDate = true;
};

} // namespace tallyrow
