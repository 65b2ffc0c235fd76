#pragma once

#include "shell/ui/ReportOptionsPanel.h"

class QComboBox;
class QLineEdit;

namespace tallyrow {

/// The Totals report's options: the time scale, the periods and the comparison.
class TotalsOptionsPanel final : public ReportOptionsPanel {
    Q_OBJECT
public:
    explicit TotalsOptionsPanel(QWidget* parent = nullptr);

    std::optional<PreviewProblem> fill(ReportSettings& settings) const override;
    QWidget* controlOf(PreviewOption option) const override;
    void reset() override;
    /// The period list's entry and the units typed.
    QVariant state() const override;
    void restoreState(const QVariant& state) override;
    void showPeriod(const QString& period) override;

private:
    QComboBox* m_timeScaleBox = nullptr;
    QLineEdit* m_unitsEdit = nullptr;
    QComboBox* m_periodBox = nullptr;
    QCheckBox* m_compareBox = nullptr;
};

} // namespace tallyrow
