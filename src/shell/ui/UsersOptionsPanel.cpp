#include "shell/ui/UsersOptionsPanel.h"

#include "shell/ui/OptionControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyrow {

UsersOptionsPanel::UsersOptionsPanel(QWidget* parent) : ReportOptionsPanel(parent) {
    setObjectName(u"vseUsersReport"_s);
    auto* users = new QVBoxLayout(this);
    users->setContentsMargins(0, 0, 0, 0);
    auto* byLabel = makeLabel(u"lblGroupBy"_s, u"Show active time per:"_s, this);
    m_groupByBox = makeList(u"cboGroupBy"_s, {u"user"_s, u"computer"_s, u"user and computer"_s}, this);
    byLabel->setBuddy(m_groupByBox);
    auto* scaleLabel = makeLabel(u"lblUsersTimeScale"_s, u"Show time as:"_s, this);
    m_timeScaleBox = makeList(u"cboUsersTimeScale"_s, {u"seconds"_s, u"minutes"_s, u"hours"_s}, this);
    m_timeScaleBox->setCurrentIndex(1);
    scaleLabel->setBuddy(m_timeScaleBox);
    auto* daysLabel = makeLabel(u"lblUsersDays"_s, u"Include data from these days"_s, this);
    const WeekdayBoxes days = makeWeekdayBoxes(u"grpUsersDays"_s, u"chkUsers"_s, daysLabel->text(), this);
    for (QWidget* w : {static_cast<QWidget*>(byLabel), static_cast<QWidget*>(m_groupByBox),
                       static_cast<QWidget*>(scaleLabel), static_cast<QWidget*>(m_timeScaleBox),
                       static_cast<QWidget*>(daysLabel), days.group})
        users->addWidget(w);
    users->addStretch(1);
    takeWeekdayBoxes(days.boxes);
    watch(m_groupByBox);
    watch(m_timeScaleBox);
    for (QCheckBox* box : days.boxes)
        watch(box);
}

std::optional<PreviewProblem> UsersOptionsPanel::fill(ReportSettings& settings) const {
    settings.days = tickedDays();
    settings.by = PeopleGrouping(std::max(0, m_groupByBox->currentIndex()));
    settings.timeScale = TimeScale(std::max(0, m_timeScaleBox->currentIndex()));
    return std::nullopt;
}

} // namespace tallyrow
