#include "shell/ui/OptionTabs.h"

#include "dateselector/ui/DateSelector.h"
#include "reports/ReportCatalogue.h"
#include "shell/ui/OptionControls.h"
#include "shell/ui/ReportOptionsPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyrow {

OptionTabs::OptionTabs(const std::function<QVariant(const QString&, const QVariant&)>& readProperty,
                       QWidget* parent)
    : QTabWidget(parent) {
    setObjectName(u"tabOptions"_s);
    setAccessibleName(u"Report options"_s);
    buildDatePage(readProperty);
    buildTimePage();
}

void OptionTabs::buildDatePage(const std::function<QVariant(const QString&, const QVariant&)>& readProperty) {
    auto* datePage = new QWidget(this);
    datePage->setObjectName(u"tabDate"_s);
    auto* dateLayout = new QVBoxLayout(datePage);
    m_dateSelector = new DateSelector(datePage);
    m_dateSelector->setObjectName(u"dtmDateReport"_s);
    m_dateSelector->ReadProperties(readProperty);
    dateLayout->addWidget(m_dateSelector);
    m_chartTypeLabel = makeLabel(u"lblDateChartType"_s, u"Chart type"_s, datePage);
    m_chartTypeBox = makeList(u"cboChartType"_s, {}, datePage);
    m_chartTypeLabel->setBuddy(m_chartTypeBox);
    dateLayout->addSpacing(6);
    dateLayout->addWidget(m_chartTypeLabel);
    dateLayout->addWidget(m_chartTypeBox);
    m_showDetailsBox = new QCheckBox(u"Show Details"_s, datePage);
    m_showDetailsBox->setObjectName(u"chkDateShowDetails"_s);
    dateLayout->addWidget(m_showDetailsBox);
    dateLayout->addStretch(1);
    addTab(datePage, u"Date"_s);
}

void OptionTabs::buildTimePage() {
    auto* timePage = new QWidget(this);
    timePage->setObjectName(u"tabTime"_s);
    auto* timeLayout = new QVBoxLayout(timePage);
    m_reportPanels = new QStackedWidget(timePage);
    m_reportPanels->setObjectName(u"reportPanels"_s);
    timeLayout->addWidget(m_reportPanels);

    for (const ReportDescriptor& report : ReportCatalogue::standard().reports()) {
        ReportOptionsPanel* panel = ReportOptionsPanel::make(report, m_reportPanels);
        m_reportPanels->addWidget(panel);
        m_panels.push_back(panel);
    }
    addTab(timePage, u"Time"_s);
}

void OptionTabs::scrollPages() {
    // The window then never needs more height than a small screen (or a large scale) offers.
    for (int i = 0; i < count(); ++i) {
        QWidget* page = widget(i);
        if (qobject_cast<QScrollArea*>(page))
            continue;
        const QString caption = tabText(i);
        removeTab(i);
        auto* area = new QScrollArea;
        area->setObjectName(page->objectName() + u"Scroll"_s);
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setFocusPolicy(Qt::NoFocus); // no extra Tab stop: the wheel and the bar scroll it
        area->setWidget(page);
        insertTab(i, area, caption);
    }
    setCurrentIndex(0);
}

void OptionTabs::reveal(QWidget* w) {
    for (int i = 0; i < count(); ++i) {
        if (widget(i)->isAncestorOf(w)) {
            setCurrentIndex(i);
            break;
        }
    }
}

} // namespace tallyrow
