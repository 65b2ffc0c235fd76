#include "reports/LayoutHelpers.h"

#include "support/MessageBoxEx.h"

namespace tallyrow::layout {

namespace {

engine::FontStyle tahoma(double pointSize, bool bold) {
    engine::FontStyle font;
    font.face = QStringLiteral("Tahoma");
    font.pointSize = pointSize;
    font.bold = bold;
    return font;
}

} // namespace

engine::Label* addLabel(engine::Section& section, const QString& name, const QString& caption, QRectF rect,
                        double pointSize, bool bold, const QColor& color, int alignment) {
    auto* label = section.add<engine::Label>(name);
    label->caption = caption;
    label->rect = rect;
    label->font = tahoma(pointSize, bold);
    label->color = color;
    label->alignment = alignment;
    return label;
}

engine::Field* addField(engine::Section& section, const QString& name, const QString& dataField, QRectF rect,
                        double pointSize, bool bold, int alignment) {
    auto* field = section.add<engine::Field>(name);
    field->dataField = dataField;
    field->rect = rect;
    field->font = tahoma(pointSize, bold);
    field->alignment = alignment;
    return field;
}

engine::Line* addRule(engine::Section& section, const QString& name, QPointF from, QPointF to) {
    auto* line = section.add<engine::Line>(name);
    line->from = from;
    line->to = to;
    line->rect = QRectF(from, to).normalized();
    return line;
}

void addPageFooter(engine::Section& section, double top) {
    auto* number = addField(section, QStringLiteral("txtPageNumber"), {}, QRectF(7441, top, 567, 212), 8.5,
                            false, kAlignRight);
    number->kind = engine::FieldKind::PageNumber;
    addLabel(section, QStringLiteral("lblPage"), QStringLiteral("of"), QRectF(8079, top, 283, 212), 8.5,
             false, Qt::black, kAlignCenter);
    auto* count = addField(section, QStringLiteral("txtPageCount"), {}, QRectF(8362, top, 567, 212), 8.5);
    count->kind = engine::FieldKind::PageCount;
}

ReportNotice engineErrorNotice(const Error& error) {
    return {QStringLiteral("There was a problem building your report. \r\nDescription: ") +
                error.description(),
            QStringLiteral("Report error"), true};
}

} // namespace tallyrow::layout
