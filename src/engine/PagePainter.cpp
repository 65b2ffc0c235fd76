#include "engine/PagePainter.h"

#include "engine/ChartPainter.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <mutex>

using namespace Qt::StringLiterals;

namespace tallyrow::engine {

void registerReportFonts() {
    static std::once_flag once;
    std::call_once(once, [] {
        // fonts-wine keeps Tahoma outside fontconfig's folders, so the layouts' face is only
        // found when registered by hand. Its tahomabd.ttf is left out on purpose: its outlines
        // are the regular weight on bold widths, so "bold" text came out thin and spaced out.
        // Bold text uses DejaVu Sans Bold instead (see reportFont).
        const QString tahoma = u"/usr/share/wine/fonts/tahoma.ttf"_s;
        if (QFile::exists(tahoma))
            QFontDatabase::addApplicationFont(tahoma);
        QFont::insertSubstitution(u"Tahoma"_s, u"DejaVu Sans"_s);
    });
}

QFont reportFont(const FontStyle& definition, double unitsPerPoint) {
    QString face = definition.face.isEmpty() ? u"Tahoma"_s : definition.face;
    if (definition.bold && face.compare(u"Tahoma"_s, Qt::CaseInsensitive) == 0)
        face = u"DejaVu Sans"_s;
    QFont font(face);
    font.setPixelSize(qMax(1, static_cast<int>(std::lround(definition.pointSize * unitsPerPoint))));
    font.setBold(definition.bold);
    font.setItalic(definition.italic);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void paintPage(QPainter& painter, const PageCollection& doc, int index, const QRectF& sheetRect,
               PaintDetail detail) {
    if (index < 0 || index >= doc.pages.size() || doc.paperSize.width() <= 0 || doc.paperSize.height() <= 0)
        return;
    registerReportFonts();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(sheetRect.topLeft());
    painter.scale(sheetRect.width() / doc.paperSize.width(), sheetRect.height() / doc.paperSize.height());
    painter.translate(doc.printableRect.topLeft());
    // From here one painter unit is one twip, so fonts are sized in twips (20 per point).
    for (const PageItem& item : doc.pages.at(index).items) {
        if (const auto* text = std::get_if<TextItem>(&item)) {
            if (text->text.isEmpty())
                continue;
            QFont font = reportFont(text->font, 20.0);
            // A single line wider than its box (a seven-digit total in a narrow day column) is
            // drawn smaller rather than over its neighbours; never below half its size.
            if (!text->text.contains(u'\n') && text->rect.width() > 0) {
                const double needed = QFontMetricsF(font).horizontalAdvance(text->text);
                if (needed > text->rect.width()) {
                    const double scale = qMax(0.5, text->rect.width() / needed);
                    font.setPixelSize(qMax(1, static_cast<int>(std::floor(font.pixelSize() * scale))));
                }
            }
            painter.setFont(font);
            painter.setPen(text->color);
            painter.drawText(text->rect, text->alignment | Qt::TextDontClip, text->text);
        } else if (const auto* line = std::get_if<LineItem>(&item)) {
            QPen pen(line->color, qMax(1.0, line->width));
            pen.setCapStyle(Qt::SquareCap);
            painter.setPen(pen);
            painter.drawLine(line->from, line->to);
        } else if (const auto* chart = std::get_if<ChartItem>(&item)) {
            paintChartScaled(painter, chart->rect, chart->chart, 1.0, detail);
        } else if (const auto* fill = std::get_if<FillItem>(&item)) {
            painter.fillRect(fill->rect, fill->color);
        }
    }
    painter.restore();
}

} // namespace tallyrow::engine
