#include "shell/ui/ReportOptionsPanel.h"

#include "shell/ui/DayOptionsPanel.h"
#include "shell/ui/TotalsOptionsPanel.h"
#include "shell/ui/UsersOptionsPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace tallyrow {

ReportOptionsPanel* ReportOptionsPanel::make(const ReportDescriptor& report, QWidget* parent) {
    if (report.name == u"day"_s)
        return new DayOptionsPanel(parent);
    if (report.name == u"totals"_s)
        return new TotalsOptionsPanel(parent);
    if (report.name == u"users"_s)
        return new UsersOptionsPanel(parent);
    return new ReportOptionsPanel(parent);
}

ReportOptionsPanel::ReportOptionsPanel(QWidget* parent) : QWidget(parent) {}

std::optional<PreviewProblem> ReportOptionsPanel::fill(ReportSettings&) const {
    return std::nullopt;
}

QWidget* ReportOptionsPanel::controlOf(PreviewOption option) const {
    return option == PreviewOption::Days ? firstEnabledDay() : nullptr;
}

void ReportOptionsPanel::showAvailableDays(const WeekdaySet& available) {
    for (std::size_t i = 0; i < 7; ++i) {
        if (m_dayBoxes[i])
            m_dayBoxes[i]->setEnabled(available.contains(Qt::DayOfWeek(i + 1)));
    }
}

void ReportOptionsPanel::restoreState(const QVariant&) {}

void ReportOptionsPanel::showPeriod(const QString&) {}

void ReportOptionsPanel::takeWeekdayBoxes(const std::array<QCheckBox*, 7>& boxes) {
    m_dayBoxes = boxes;
}

void ReportOptionsPanel::watch(QWidget* control) {
    if (auto* list = qobject_cast<QComboBox*>(control))
        connect(list, &QComboBox::currentIndexChanged, this, &ReportOptionsPanel::changed);
    else if (auto* box = qobject_cast<QCheckBox*>(control))
        connect(box, &QCheckBox::toggled, this, &ReportOptionsPanel::changed);
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        connect(edit, &QLineEdit::textChanged, this, &ReportOptionsPanel::changed);
}

WeekdaySet ReportOptionsPanel::tickedDays() const {
    WeekdaySet days;
    for (std::size_t i = 0; i < 7; ++i) {
        if (m_dayBoxes[i])
            days.set(Qt::DayOfWeek(i + 1), m_dayBoxes[i]->isChecked() && m_dayBoxes[i]->isEnabled());
    }
    return days;
}

QWidget* ReportOptionsPanel::firstEnabledDay() const {
    for (QCheckBox* box : m_dayBoxes) {
        if (box && box->isEnabled())
            return box;
    }
    return nullptr;
}

} // namespace tallyrow
