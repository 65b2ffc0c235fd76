#pragma once

#include "engine/PageCollection.h"

#include <QColor>
#include <QRectF>
#include <QString>

namespace tallyrow::engine {

/// A control of a section. Positions are twips within the section.
class Control {
public:
    virtual ~Control();
    QString name;
    QRectF rect;
    FontStyle font;
    QColor color = Qt::black;
    QColor backColor; ///< fills the control's rectangle under its text; invalid leaves it clear
    bool visible = true;
    int alignment = 0x0001 | 0x0080; // Qt::AlignLeft | Qt::AlignTop
};

} // namespace tallyrow::engine
