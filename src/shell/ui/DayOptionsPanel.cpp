#include "shell/ui/DayOptionsPanel.h"

#include "shell/ui/OptionControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyrow {

DayOptionsPanel::DayOptionsPanel(QWidget* parent) : ReportOptionsPanel(parent) {
    setObjectName(u"vseDayReport"_s);
    auto* day = new QVBoxLayout(this);
    day->setContentsMargins(0, 0, 0, 0);
    auto* totalTypeLabel = makeLabel(u"lblOverDataRange"_s, u"Over this date range show..."_s, this);
    m_totalTypeBox = makeList(u"cboTotalType"_s,
                              {u"average over date range"_s, u"total over date range"_s,
                               u"maximum in date range"_s, u"minimum in date range "_s},
                              this);
    totalTypeLabel->setBuddy(m_totalTypeBox);
    auto* showEachDayLabel = makeLabel(u"lblonGraph"_s, u"On the graph show..."_s, this);
    m_showEachDayBox = makeList(
        u"cboShowEachDay"_s,
        {u"average of selected days"_s, u"each day separately"_s, u"separate days & average"_s}, this);
    showEachDayLabel->setBuddy(m_showEachDayBox);
    auto* daysLabel = makeLabel(u"lblDayReportDaysToInclude"_s, u"Include data from these days"_s, this);
    day->addWidget(totalTypeLabel);
    day->addWidget(m_totalTypeBox);
    day->addSpacing(4);
    day->addWidget(showEachDayLabel);
    day->addWidget(m_showEachDayBox);
    day->addSpacing(4);
    day->addWidget(daysLabel);
    const WeekdayBoxes days = makeWeekdayBoxes(u"grpDays"_s, u"chkDate"_s, daysLabel->text(), this);
    day->addWidget(days.group);
    day->addSpacing(4);
    m_shadeTableBox = new QCheckBox(u"Shade the table"_s, this);
    m_shadeTableBox->setObjectName(u"chkShadeTable"_s);
    m_shadeTableBox->setToolTip(u"Shades each hour and day by its value (shown with the table)"_s);
    m_keyFiguresBox = new QCheckBox(u"Key figures"_s, this);
    m_keyFiguresBox->setObjectName(u"chkKeyFigures"_s);
    m_keyFiguresBox->setToolTip(
        u"Busiest hour and day, active hours and the change against the previous range"_s);
    day->addWidget(m_shadeTableBox);
    day->addWidget(m_keyFiguresBox);
    day->addStretch(1);
    takeWeekdayBoxes(days.boxes);
    for (QWidget* w : {static_cast<QWidget*>(m_showEachDayBox), static_cast<QWidget*>(m_totalTypeBox)})
        watch(w);
    for (QCheckBox* box : days.boxes)
        watch(box);
    for (QCheckBox* box : {m_shadeTableBox, m_keyFiguresBox})
        watch(box);
}

std::optional<PreviewProblem> DayOptionsPanel::fill(ReportSettings& settings) const {
    settings.days = tickedDays();
    settings.showEachDay = DayColumns(m_showEachDayBox->currentIndex());
    settings.totalType = DayFigure(m_totalTypeBox->currentIndex());
    settings.heatMap = m_shadeTableBox->isChecked();
    settings.keyFigures = m_keyFiguresBox->isChecked();
    return std::nullopt;
}

void DayOptionsPanel::reset() {
    m_showEachDayBox->setCurrentIndex(0);
    m_totalTypeBox->setCurrentIndex(0);
}

} // namespace tallyrow
