#pragma once

#include "reports/TableReport.h"

#include "engine/Report.h"

#include <QColor>
#include <QRectF>
#include <QString>

namespace tallyrow::layout {

// Colours of the report definitions.
inline const QColor kDarkBlue(0, 0, 128);
inline const QColor kVeryDarkBlue(0, 0, 64);
inline const QColor kGrey(127, 127, 127);

inline constexpr int kAlignLeft = 0x0001 | 0x0080;   // Qt::AlignLeft | Qt::AlignTop
inline constexpr int kAlignRight = 0x0002 | 0x0080;  // Qt::AlignRight | Qt::AlignTop
inline constexpr int kAlignCenter = 0x0004 | 0x0080; // Qt::AlignHCenter | Qt::AlignTop

/// A Tahoma label at left, top, width × height (twips within the section).
engine::Label* addLabel(engine::Section& section, const QString& name, const QString& caption, QRectF rect,
                        double pointSize, bool bold = false, const QColor& color = Qt::black,
                        int alignment = kAlignLeft);
/// A Tahoma field bound to `dataField` ("" = filled by code).
engine::Field* addField(engine::Section& section, const QString& name, const QString& dataField, QRectF rect,
                        double pointSize, bool bold = false, int alignment = kAlignLeft);
/// A rule from one point to another.
engine::Line* addRule(engine::Section& section, const QString& name, QPointF from, QPointF to);
/// The page-number footer: page number, "of", page count, 8.5 pt, at the given lefts and top.
void addPageFooter(engine::Section& section, double top);

/// The "Report error" notice a report hands on for a failure the engine met, in place of the
/// engine's own display.
ReportNotice engineErrorNotice(const Error& error);

} // namespace tallyrow::layout
