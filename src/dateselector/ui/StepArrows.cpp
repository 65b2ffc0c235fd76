#include "dateselector/ui/StepArrows.h"

#include <QResizeEvent>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace tallyrow {

StepArrows::StepArrows(QWidget* parent)
    : QWidget(parent), m_down(new QToolButton(this)), m_up(new QToolButton(this)) {
    m_down->setObjectName(u"updDateDown"_s);
    m_up->setObjectName(u"updDateUp"_s);
    m_down->setArrowType(Qt::LeftArrow);
    m_up->setArrowType(Qt::RightArrow);
    m_down->setAccessibleName(u"Earlier range"_s);
    m_up->setAccessibleName(u"Later range"_s);
    m_down->setToolTip(u"Move both dates back one range"_s);
    m_up->setToolTip(u"Move both dates forward one range"_s);
    for (QToolButton* b : {m_down, m_up}) {
        b->setAutoRepeat(true);
        b->setAutoRaise(false);
    }
    connect(m_down, &QToolButton::clicked, this, [this] { emit stepped(-1); });
    connect(m_up, &QToolButton::clicked, this, [this] { emit stepped(+1); });
}

void StepArrows::resizeEvent(QResizeEvent* event) {
    const int half = event->size().width() / 2;
    m_down->setGeometry(0, 0, half, event->size().height());
    m_up->setGeometry(half, 0, event->size().width() - half, event->size().height());
}

} // namespace tallyrow
