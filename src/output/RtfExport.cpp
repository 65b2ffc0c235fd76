#include "output/DeviceWrite.h"
#include "output/ExportFilters.h"
#include "output/PageGrid.h"

#include "engine/PagePainter.h"
#include "support/Error.h"

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QIODevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallyrow {

using engine::TextItem;

namespace {

// Charts are embedded as pictures at this resolution: sharp in print, a few hundred KB at most.
constexpr double kChartDpi = 150.0;
// A cell narrower than this cannot hold a character; neighbours that close get pushed apart.
constexpr int kMinCellWidth = 60;

int twips(double v) { return int(std::lround(v)); }

// Texts go out as 7-bit RTF: RTF's own characters escaped, everything beyond ASCII as \uN with
// "?" for readers that cannot show it. Line breaks inside a text become \line.
void appendText(QByteArray& out, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += char(c);
        } else if (c == u'\n') {
            out += "\\line ";
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c < 0x20) {
            // other control characters carry nothing printable
        } else if (c < 0x80) {
            out += char(c);
        } else {
            out += "\\u" + QByteArray::number(qint16(c)) + '?';
        }
    }
}

class RtfWriter {
public:
    explicit RtfWriter(const engine::PageCollection& pages) : m_pages(pages) {
        for (const engine::Page& page : pages.pages)
            for (const engine::PageItem& item : page.items)
                if (const auto* t = std::get_if<TextItem>(&item)) {
                    fontIndex(t->font.face);
                    colorIndex(t->color);
                }
    }

    QByteArray document() {
        QByteArray out;
        out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
        for (qsizetype i = 0; i < m_fonts.size(); ++i) {
            out += "{\\f" + QByteArray::number(i) + "\\fswiss\\fcharset0 ";
            appendText(out, m_fonts[i]);
            out += ";}";
        }
        out += "}\n{\\colortbl;";
        for (QRgb rgb : m_colors)
            out += "\\red" + QByteArray::number(qRed(rgb)) + "\\green" + QByteArray::number(qGreen(rgb)) +
                   "\\blue" + QByteArray::number(qBlue(rgb)) + ';';
        out += "}\n{\\info{\\title ";
        appendText(out, m_pages.title);
        out += "}}\n";
        const QSizeF paper = m_pages.paperSize.isEmpty() ? QSizeF(12240, 15840) : m_pages.paperSize;
        const QRectF area = m_pages.printableRect.isEmpty() ? QRectF(QPointF(0, 0), paper) : m_pages.printableRect;
        m_width = area.width();
        out += "\\paperw" + QByteArray::number(twips(paper.width())) + "\\paperh" +
               QByteArray::number(twips(paper.height())) + "\\margl" + QByteArray::number(twips(area.left())) +
               "\\margr" + QByteArray::number(std::max(0, twips(paper.width() - area.right()))) + "\\margt" +
               QByteArray::number(twips(area.top())) + "\\margb" +
               QByteArray::number(std::max(0, twips(paper.height() - area.bottom()))) + "\\widowctrl0\n";
        for (qsizetype p = 0; p < m_pages.pages.size(); ++p)
            page(out, m_pages.pages[p], p > 0);
        // Writers end a document that ends in a table with an empty paragraph of the default
        // size, which would push past a page footer onto a page of its own; this one is 1 point.
        out += "\\pard\\plain\\sl-20\\slmult0\\fs2\\par}\n";
        return out;
    }

private:
    int fontIndex(const QString& face) {
        const auto it = m_fontIndex.constFind(face);
        if (it != m_fontIndex.cend())
            return it.value();
        m_fonts.push_back(face);
        return m_fontIndex[face] = int(m_fonts.size()) - 1;
    }

    int colorIndex(const QColor& color) {
        const QRgb rgb = color.isValid() ? color.rgb() : qRgb(0, 0, 0);
        const auto it = m_colorIndex.constFind(rgb);
        if (it != m_colorIndex.cend())
            return it.value();
        m_colors.push_back(rgb);
        return m_colorIndex[rgb] = int(m_colors.size()); // 0 is the automatic colour
    }

    QByteArray alignment(const TextItem& t) {
        if (t.alignment & Qt::AlignRight)
            return "\\qr";
        if (t.alignment & Qt::AlignHCenter)
            return "\\qc";
        if (t.alignment & Qt::AlignJustify)
            return "\\qj";
        return "\\ql";
    }

    void run(QByteArray& out, const TextItem& t) {
        out += "{\\f" + QByteArray::number(fontIndex(t.font.face)) + "\\fs" +
               QByteArray::number(std::max(1, int(std::lround(t.font.pointSize * 2)))) + "\\cf" +
               QByteArray::number(colorIndex(t.color));
        if (t.font.bold)
            out += "\\b";
        if (t.font.italic)
            out += "\\i";
        out += ' ';
        appendText(out, t.text.trimmed());
        out += '}';
    }

    static QVector<int> cellLefts(const PageBand& band) {
        QVector<int> lefts;
        for (const TextItem* t : band.texts)
            lefts.push_back(std::max(0, twips(t->rect.left())));
        for (qsizetype i = 1; i < lefts.size(); ++i)
            lefts[i] = std::max(lefts[i], lefts[i - 1] + kMinCellWidth);
        return lefts;
    }

    static bool isTableRow(const PageBand& band) { return !band.chart && band.texts.size() > 1; }

    // Each band is given the height up to the next band ("at least", so nothing is clipped);
    // the bands then stack on the RTF page as on the report page. Readers join adjacent table
    // rows into one table, so a row followed by a row of other cells ends at its own height and
    // an exact-height empty paragraph takes the gap and keeps the two tables apart.
    void page(QByteArray& out, const engine::Page& page, bool breakBefore) {
        const QVector<PageBand> bands = pageBands(page, true);
        if (breakBefore && (bands.isEmpty() || bands.first().texts.size() > 1)) {
            // A table row cannot carry the page break; an empty one-point paragraph does.
            out += "\\pard\\plain\\pagebb\\sl-20\\slmult0\\fs2\\par\n";
            breakBefore = false;
        }
        for (qsizetype i = 0; i < bands.size(); ++i) {
            const PageBand& band = bands[i];
            double next = i + 1 < bands.size() ? bands[i + 1].top : band.bottom;
            const bool tableEnds = isTableRow(band) && i + 1 < bands.size() && isTableRow(bands[i + 1]) &&
                                   cellLefts(band) != cellLefts(bands[i + 1]);
            if (tableEnds)
                next = std::min(next, band.bottom);
            const int height = std::max(20, twips(std::max(next, band.top) - band.top));
            if (i == 0 && band.top > 20) { // room above the first band
                out += "\\pard\\plain" + QByteArray(breakBefore ? "\\pagebb" : "") + "\\sl-" +
                       QByteArray::number(twips(band.top)) + "\\slmult0\\fs2\\par\n";
                breakBefore = false;
            }
            if (band.chart)
                chart(out, *band.chart, height, breakBefore);
            else if (band.texts.size() == 1)
                paragraph(out, *band.texts.first(), height, breakBefore);
            else
                tableRow(out, band, height);
            breakBefore = false;
            if (tableEnds)
                out += "\\pard\\plain\\sl-" + QByteArray::number(std::max(20, twips(bands[i + 1].top - band.top) - height)) +
                       "\\slmult0\\fs2\\par\n";
        }
    }

    void paragraph(QByteArray& out, const TextItem& t, int height, bool breakBefore) {
        out += "\\pard\\plain";
        if (breakBefore)
            out += "\\pagebb";
        const int left = std::max(0, twips(t.rect.left()));
        const int right = std::max(0, twips(m_width - t.rect.right()));
        out += alignment(t) + "\\li" + QByteArray::number(left) + "\\ri" + QByteArray::number(right) + "\\sl" +
               QByteArray::number(height) + "\\slmult0 ";
        run(out, t);
        out += "\\par\n";
    }

    void tableRow(QByteArray& out, const PageBand& band, int height) {
        // Each text's cell reaches to the next text's left edge, so every text starts where it
        // stood on the page.
        const QVector<int> lefts = cellLefts(band);
        out += "\\trowd\\trgaph0\\trleft" + QByteArray::number(lefts.first()) + "\\trrh" +
               QByteArray::number(height) + "\\trpaddl0\\trpaddr0\\trpaddt0\\trpaddb0\\trpaddfl3\\trpaddfr3"
               "\\trpaddft3\\trpaddfb3";
        for (qsizetype i = 0; i < lefts.size(); ++i) {
            const int right = i + 1 < lefts.size()
                                  ? lefts[i + 1]
                                  : std::max(lefts[i] + kMinCellWidth, twips(band.texts[i]->rect.right()));
            out += "\\clvertalt\\cellx" + QByteArray::number(right);
        }
        out += '\n';
        for (const TextItem* t : band.texts) {
            out += "\\pard\\plain\\intbl" + alignment(*t) + ' ';
            run(out, *t);
            out += "\\cell\n";
        }
        out += "\\row\n";
    }

    void chart(QByteArray& out, const engine::ChartItem& item, int height, bool breakBefore) {
        const QSizeF inches = item.rect.size() / engine::kTwipsPerInch;
        const QSize pixels(std::clamp(int(std::lround(inches.width() * kChartDpi)), 1, 4000),
                           std::clamp(int(std::lround(inches.height() * kChartDpi)), 1, 4000));
        QImage image(pixels, QImage::Format_RGB32);
        image.fill(Qt::white);
        image.setDotsPerMeterX(int(std::lround(kChartDpi / 0.0254)));
        image.setDotsPerMeterY(int(std::lround(kChartDpi / 0.0254)));
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            engine::paintChart(painter, QRectF(QPointF(0, 0), QSizeF(pixels)), item.chart);
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            throw Error(ErrNo::Unexpected, QStringLiteral("The chart could not be turned into a picture."),
                        QStringLiteral("richTextExport"));
        out += "\\pard\\plain";
        if (breakBefore)
            out += "\\pagebb";
        out += "\\li" + QByteArray::number(std::max(0, twips(item.rect.left()))) + "\\sl" +
               QByteArray::number(height) + "\\slmult0 {\\pict\\pngblip\\picw" + QByteArray::number(pixels.width()) +
               "\\pich" + QByteArray::number(pixels.height()) + "\\picwgoal" +
               QByteArray::number(twips(item.rect.width())) + "\\pichgoal" +
               QByteArray::number(twips(item.rect.height())) + '\n';
        const QByteArray hex = png.toHex();
        for (qsizetype i = 0; i < hex.size(); i += 128) {
            out += hex.mid(i, 128);
            out += '\n';
        }
        out += "}\\par\n";
    }

    const engine::PageCollection& m_pages;
    QVector<QString> m_fonts;
    QHash<QString, int> m_fontIndex;
    QVector<QRgb> m_colors;
    QHash<QRgb, int> m_colorIndex;
    double m_width = 0;
};

} // namespace

QByteArray richTextExport(const engine::PageCollection& pages) {
    engine::registerReportFonts();
    return RtfWriter(pages).document();
}

void writeRichText(const engine::PageCollection& pages, QIODevice& device) {
    writeWholeData(device, richTextExport(pages), QStringLiteral("rich-text file"), QStringLiteral("writeRichText"));
}

} // namespace tallyrow
