#pragma once

#include "activity/WeekdaySet.h"
#include "reports/PreviewCheck.h"
#include "reports/ReportDescriptor.h"
#include "reports/ReportSettings.h"

#include <QVariant>
#include <QWidget>

#include <array>
#include <optional>

class QCheckBox;

namespace tallyrow {

/// The options page of one report in the main window: the controls of the settings only that
/// report takes. The window makes one for each report of the catalogue (see make()) and reads
/// the settings of the report it previews from that report's panel.
class ReportOptionsPanel : public QWidget {
    Q_OBJECT
public:
    /// The panel of `report`; a report with no options of its own gets an empty one.
    static ReportOptionsPanel* make(const ReportDescriptor& report, QWidget* parent);

    explicit ReportOptionsPanel(QWidget* parent = nullptr);

    /// Puts the settings the panel's controls hold into `settings`; the problem of a typed value
    /// that cannot be read.
    virtual std::optional<PreviewProblem> fill(ReportSettings& settings) const;
    /// The control of `option` to bring into focus; null when the panel has none.
    virtual QWidget* controlOf(PreviewOption option) const;
    /// Enables the weekday boxes of the days the range holds.
    virtual void showAvailableDays(const WeekdaySet& available);
    /// The choices the window starts with.
    virtual void reset() {}
    /// What going back to an earlier report restores, and restoring it.
    virtual QVariant state() const { return {}; }
    virtual void restoreState(const QVariant& state);
    /// Shows periods of one `period` each (an entry of the period list); "" changes nothing.
    virtual void showPeriod(const QString& period);

Q_SIGNALS:
    /// A control changed: a report shown no longer matches the options.
    void changed();

protected:
    /// Wires the weekday boxes `boxes` to changed() and to the weekday helpers.
    void takeWeekdayBoxes(const std::array<QCheckBox*, 7>& boxes);
    /// The weekdays ticked among the enabled boxes.
    WeekdaySet tickedDays() const;
    /// The first enabled weekday box; null when there is none.
    QWidget* firstEnabledDay() const;
    /// Makes changes of `list` (a combo box), `box` (a check box) or `edit` (a line edit) emit changed().
    void watch(QWidget* control);

private:
    std::array<QCheckBox*, 7> m_dayBoxes{};
};

} // namespace tallyrow
