#pragma once

#include "shell/ui/ReportOptionsPanel.h"

class QComboBox;
class QLineEdit;

namespace tallyrow {

/// The Day report's options: the figure over the range, what the graph shows, the weekdays, the
/// shading and the key figures.
class DayOptionsPanel final : public ReportOptionsPanel {
    Q_OBJECT
public:
    explicit DayOptionsPanel(QWidget* parent = nullptr);

    std::optional<PreviewProblem> fill(ReportSettings& settings) const override;
    void reset() override;

private:
    QComboBox* m_totalTypeBox = nullptr;
    QComboBox* m_showEachDayBox = nullptr;
    QCheckBox* m_shadeTableBox = nullptr;
    QCheckBox* m_keyFiguresBox = nullptr;
};

} // namespace tallyrow
