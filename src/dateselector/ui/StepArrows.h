#pragma once

#include <QWidget>

class QToolButton;

namespace tallyrow {

/// A pair of arrows that step something back (left arrow, "updDateDown") or forward (right arrow,
/// "updDateUp"). Holding an arrow repeats the step. Disabling the widget disables both arrows.
class StepArrows final : public QWidget {
    Q_OBJECT
public:
    explicit StepArrows(QWidget* parent = nullptr);

    QToolButton* downButton() const { return m_down; }
    QToolButton* upButton() const { return m_up; }

signals:
    /// -1 for the down (back) arrow, +1 for the up (forward) arrow.
    void stepped(int direction);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_down;
    QToolButton* m_up;
};

} // namespace tallyrow
