#pragma once

#include "shell/ui/ReportOptionsPanel.h"

class QComboBox;
class QLineEdit;

namespace tallyrow {

/// The Users report's options: whom a line is for, the time scale and the weekdays.
class UsersOptionsPanel final : public ReportOptionsPanel {
    Q_OBJECT
public:
    explicit UsersOptionsPanel(QWidget* parent = nullptr);

    std::optional<PreviewProblem> fill(ReportSettings& settings) const override;

private:
    QComboBox* m_groupByBox = nullptr;
    QComboBox* m_timeScaleBox = nullptr;
};

} // namespace tallyrow
