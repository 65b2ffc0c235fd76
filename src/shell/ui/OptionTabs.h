#pragma once

#include <QTabWidget>
#include <QVariant>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QStackedWidget;

namespace tallyrow {

class DateSelector;
class ReportOptionsPanel;

/// The report options' pages: "Date" (the range and how the result is drawn) and "Time" (how the
/// active time is counted, one panel per report of the catalogue, the current one in front).
class OptionTabs final : public QTabWidget {
    Q_OBJECT
public:
    /// The date selector reads its remembered settings through `readProperty`.
    OptionTabs(const std::function<QVariant(const QString&, const QVariant&)>& readProperty, QWidget* parent);

    DateSelector* dateSelector() const { return m_dateSelector; }
    QLabel* chartTypeLabel() const { return m_chartTypeLabel; }
    QComboBox* chartTypeBox() const { return m_chartTypeBox; }
    QCheckBox* showDetailsBox() const { return m_showDetailsBox; }
    QStackedWidget* reportPanels() const { return m_reportPanels; }
    /// One options panel per report of the catalogue, in its order.
    const std::vector<ReportOptionsPanel*>& panels() const { return m_panels; }

    /// Makes each page scroll when it is taller than the room it gets, and shows the first.
    void scrollPages();
    /// Brings the page that holds `w` to the front so it can take the focus.
    void reveal(QWidget* w);

private:
    void buildDatePage(const std::function<QVariant(const QString&, const QVariant&)>& readProperty);
    void buildTimePage();

    DateSelector* m_dateSelector = nullptr;
    QLabel* m_chartTypeLabel = nullptr;
    QComboBox* m_chartTypeBox = nullptr;
    QCheckBox* m_showDetailsBox = nullptr;
    QStackedWidget* m_reportPanels = nullptr;
    std::vector<ReportOptionsPanel*> m_panels;
};

} // namespace tallyrow
