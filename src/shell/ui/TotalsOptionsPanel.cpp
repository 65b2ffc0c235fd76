#include "shell/ui/TotalsOptionsPanel.h"

#include "shell/PreviewRequest.h"
#include "shell/ui/OptionControls.h"
#include "support/Services.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyrow {

TotalsOptionsPanel::TotalsOptionsPanel(QWidget* parent) : ReportOptionsPanel(parent) {
    setObjectName(u"vseTotalsReport"_s);
    auto* totals = new QVBoxLayout(this);
    totals->setContentsMargins(0, 0, 0, 0);
    auto* timeScaleLabel = makeLabel(u"Label2"_s, u"Show time on graph as:"_s, this);
    m_timeScaleBox = makeList(u"cboTimeScale"_s, {u"seconds"_s, u"minutes"_s, u"hours"_s}, this);
    timeScaleLabel->setBuddy(m_timeScaleBox);
    auto* unitsLabel = makeLabel(u"lblTotalsReportUnits"_s, u"Show total activity in groups of:"_s, this);
    m_unitsEdit = new QLineEdit(u"1"_s, this);
    m_unitsEdit->setObjectName(u"txtTotalsReportUnits"_s);
    // Wide enough for any number a period can use, and it says what it takes.
    m_unitsEdit->setMaximumWidth(m_unitsEdit->fontMetrics().horizontalAdvance(u"0"_s) * 12 + 16);
    m_unitsEdit->setToolTip(u"How many days, weeks, months or years each row of the report covers: "
                            "a whole number, such as 2 with weeks for fortnights"_s);
    unitsLabel->setBuddy(m_unitsEdit);
    m_periodBox =
        makeList(u"cboTotalsReportPeriod"_s, {u"Days"_s, u"Weeks"_s, u"Months"_s, u"Years"_s}, this);
    m_periodBox->setAccessibleName(u"Period"_s); // no label of its own: the units' label is the field's
    totals->addWidget(timeScaleLabel);
    totals->addWidget(m_timeScaleBox);
    totals->addSpacing(4);
    totals->addWidget(unitsLabel);
    auto* units = new QHBoxLayout;
    units->addWidget(m_unitsEdit);
    units->addWidget(m_periodBox, 1);
    totals->addLayout(units);
    totals->addSpacing(4);
    m_compareBox = new QCheckBox(u"Compare with the previous range"_s, this);
    m_compareBox->setObjectName(u"chkCompare"_s);
    totals->addWidget(m_compareBox);
    totals->addStretch(1);
    for (QWidget* w : {static_cast<QWidget*>(m_timeScaleBox), static_cast<QWidget*>(m_periodBox),
                       static_cast<QWidget*>(m_compareBox), static_cast<QWidget*>(m_unitsEdit)})
        watch(w);
}

std::optional<PreviewProblem> TotalsOptionsPanel::fill(ReportSettings& settings) const {
    settings.period = periodNamed(m_periodBox->currentText()).value_or(TotalsPeriod::Days);
    settings.timeScale = timeScaleNamed(m_timeScaleBox->currentText()).value_or(TimeScale::Minutes);
    settings.compare = m_compareBox->isChecked();
    const auto units = typedUnits(m_unitsEdit->text(), services().locale());
    if (const auto* problem = std::get_if<PreviewProblem>(&units))
        return *problem;
    settings.units = std::get<std::int32_t>(units);
    return std::nullopt;
}

QWidget* TotalsOptionsPanel::controlOf(PreviewOption option) const {
    return option == PreviewOption::Units ? m_unitsEdit : nullptr;
}

void TotalsOptionsPanel::reset() {
    m_periodBox->setCurrentIndex(m_periodBox->findText(u"Days"_s));
    m_timeScaleBox->setCurrentIndex(m_timeScaleBox->findText(u"minutes"_s));
}

QVariant TotalsOptionsPanel::state() const {
    return QStringList{m_periodBox->currentText(), m_unitsEdit->text()};
}

void TotalsOptionsPanel::restoreState(const QVariant& state) {
    const QStringList parts = state.toStringList();
    m_periodBox->setCurrentIndex(m_periodBox->findText(parts.value(0)));
    m_unitsEdit->setText(parts.value(1));
}

void TotalsOptionsPanel::showPeriod(const QString& period) {
    if (period.isEmpty())
        return;
    m_periodBox->setCurrentIndex(m_periodBox->findText(period));
    m_unitsEdit->setText(u"1"_s);
}

} // namespace tallyrow
