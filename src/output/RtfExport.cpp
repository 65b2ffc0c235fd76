#include "output/DeviceWrite.h"
#include "output/ExportFilters.h"
#include "output/PageGrid.h"

#include "engine/PagePainter.h"
#include "support/Error.h"
#include "support/Printable.h"

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
// No picture has more pixels than a letter page at that resolution: a chart laid out larger (a
// report document can say anything) is drawn at a lower resolution, not at any cost.
constexpr double kMaxChartPixels = 8.5 * 11.0 * kChartDpi * kChartDpi;
// A cell narrower than this cannot hold a character; neighbours that close get pushed apart.
constexpr int kMinCellWidth = 60;
// Twips a page's last band moves up to leave room for a word processor's taller lines.
constexpr int kPageSlack = 60;

int twips(double v) {
    return int(std::lround(v));
}

// Texts go out as 7-bit RTF: RTF's own characters escaped, everything beyond ASCII as \uN with
// "?" for readers that cannot show it. Line breaks inside a text become \line; other control
// characters are shown as their escapes (printable()).
void appendText(QByteArray& out, const QString& text) {
    for (const QChar ch : printable(text, LineBreaks::Kept)) {
        const char16_t c = ch.unicode();
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += char(c);
        } else if (c == u'\n') {
            out += "\\line ";
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c < 0x20) {
            // a carriage return: the line feed beside it is the break
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
                } else if (const auto* fill = std::get_if<engine::FillItem>(&item)) {
                    colorIndex(fill->color);
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
        const QRectF area =
            m_pages.printableRect.isEmpty() ? QRectF(QPointF(0, 0), paper) : m_pages.printableRect;
        m_width = area.width();
        m_rightMargin = std::max(0, twips(paper.width() - area.right()));
        out += "\\paperw" + QByteArray::number(twips(paper.width())) + "\\paperh" +
               QByteArray::number(twips(paper.height())) + "\\margl" +
               QByteArray::number(twips(area.left())) + "\\margr" +
               QByteArray::number(std::max(0, twips(paper.width() - area.right()))) + "\\margt" +
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

    static bool isLeftAligned(const TextItem& t) {
        return !(t.alignment & (Qt::AlignRight | Qt::AlignHCenter | Qt::AlignJustify));
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

    // The cells of a table row: where the row starts, and each cell's right edge with its text
    // (none for a filler).
    struct RowCells {
        int left = 0;
        QVector<int> rights;
        QVector<const TextItem*> texts;
        QVector<QColor> fills; ///< the shading of each cell; invalid for none
        bool operator==(const RowCells& other) const { return left == other.left && rights == other.rights; }
    };

    // A centred or right-aligned text keeps its own box: its cell ends at the text's right edge,
    // and a gap before the next text becomes an empty cell. A row that leaves columns out (the
    // totals of unselected weekdays) thus keeps every figure under its own heading; a cell
    // stretched over the gap would carry the figure into the next column. A left-aligned text
    // starts where it stood however wide its cell, so its cell reaches to the next text and
    // leaves room for a wider font.
    static RowCells rowCells(const PageBand& band) {
        RowCells row;
        int lastCellLeft = 0;
        for (qsizetype k = 0; k < band.texts.size(); ++k) {
            const TextItem* t = band.texts.at(k);
            const int left = std::max(0, twips(t->rect.left()));
            if (row.texts.isEmpty()) {
                row.left = left;
            } else if (left - row.rights.last() >= kMinCellWidth && !isLeftAligned(*row.texts.last())) {
                row.rights.push_back(left);
                row.texts.push_back(nullptr);
                row.fills.push_back(QColor());
            } else {
                // The cell before ends where this text starts (never narrower than a character).
                row.rights.last() = std::max(left, lastCellLeft + kMinCellWidth);
            }
            const int cellLeft = row.rights.isEmpty() ? row.left : row.rights.last();
            row.rights.push_back(std::max(cellLeft + kMinCellWidth, twips(t->rect.right())));
            row.texts.push_back(t);
            row.fills.push_back(band.fills.value(k));
            lastCellLeft = cellLeft;
        }
        return row;
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
                                   !(rowCells(band) == rowCells(bands[i + 1]));
            if (tableEnds)
                next = std::min(next, band.bottom);
            // Heights from rounded positions, so that rounding never adds up down the page. The
            // band before the last (the page footer, at the very bottom) gives up a little of
            // the space below it: a word processor's line is often a fraction taller than ours,
            // and a footer that no longer fits would start a page of its own.
            const int slack = i + 2 == bands.size() ? kPageSlack : 0;
            const int ownHeight = std::max(20, twips(band.bottom) - twips(band.top));
            const int available = twips(std::max(next, band.top)) - twips(band.top);
            const int height = tableEnds ? std::max(20, available) : std::max(ownHeight, available - slack);
            if (i == 0 && band.top > 20) { // room above the first band
                out += "\\pard\\plain" + QByteArray(breakBefore ? "\\pagebb" : "") + "\\sl-" +
                       QByteArray::number(twips(band.top)) + "\\slmult0\\fs2\\par\n";
                breakBefore = false;
            }
            // A paragraph closely followed by another (a block of lines such as the key figures)
            // stays on one page with it.
            const bool keepWithNext = band.texts.size() == 1 && i + 1 < bands.size() &&
                                      bands[i + 1].texts.size() == 1 &&
                                      bands[i + 1].top - band.bottom < band.bottom - band.top;
            if (band.chart)
                chart(out, *band.chart, height, breakBefore);
            else if (band.texts.size() == 1)
                paragraph(out, *band.texts.first(), ownHeight, height, breakBefore, keepWithNext);
            else
                tableRow(out, band, height);
            breakBefore = false;
            if (tableEnds)
                out += "\\pard\\plain\\sl-" +
                       QByteArray::number(
                           std::max(20, twips(bands[i + 1].top) - twips(band.top) - height - slack)) +
                       "\\slmult0\\fs2\\par\n";
        }
    }

    // The line is the text's own height and the rest of the band goes below it as space after:
    // a word processor sets the text at the foot of a taller line, so a line the height of a
    // wide gap would carry its text down to the next band.
    void paragraph(QByteArray& out, const TextItem& t, int ownHeight, int height, bool breakBefore,
                   bool keepWithNext) {
        out += "\\pard\\plain";
        if (breakBefore)
            out += "\\pagebb";
        if (keepWithNext)
            out += "\\keepn";
        const int left = std::max(0, twips(t.rect.left()));
        // A word processor without the report's font sets the text in a wider one; a line that
        // wrapped would push everything below it, and at last the page footer, onto another page.
        // Left-aligned text may therefore run on into the margin; other alignments keep their box.
        const int right = isLeftAligned(t) ? -m_rightMargin : std::max(0, twips(m_width - t.rect.right()));
        out += alignment(t) + "\\li" + QByteArray::number(left) + "\\ri" + QByteArray::number(right) +
               "\\sl" + QByteArray::number(std::min(ownHeight, height)) + "\\slmult0\\sa" +
               QByteArray::number(std::max(0, height - ownHeight)) + ' ';
        run(out, t);
        out += "\\par\n";
    }

    void tableRow(QByteArray& out, const PageBand& band, int height) {
        const RowCells cells = rowCells(band);
        out += "\\trowd\\trgaph0\\trleft" + QByteArray::number(cells.left) + "\\trrh" +
               QByteArray::number(height) +
               "\\trpaddl0\\trpaddr0\\trpaddt0\\trpaddb0\\trpaddfl3\\trpaddfr3"
               "\\trpaddft3\\trpaddfb3";
        for (qsizetype c = 0; c < cells.rights.size(); ++c) {
            // A shaded cell (the heat map, a legend swatch) carries its fill as cell shading.
            if (cells.fills.at(c).isValid())
                out += "\\clcbpat" + QByteArray::number(colorIndex(cells.fills.at(c)));
            out += "\\clvertalt\\cellx" + QByteArray::number(cells.rights.at(c));
        }
        out += '\n';
        for (const TextItem* t : cells.texts) {
            if (!t) {
                out += "\\pard\\plain\\intbl\\fs2\\cell\n";
                continue;
            }
            out += "\\pard\\plain\\intbl" + alignment(*t) + ' ';
            run(out, *t);
            out += "\\cell\n";
        }
        out += "\\row\n";
    }

    void chart(QByteArray& out, const engine::ChartItem& item, int height, bool breakBefore) {
        const QSizeF inches = item.rect.size() / engine::kTwipsPerInch;
        const double area = std::max(inches.width() * inches.height() * kChartDpi * kChartDpi, 1.0);
        const double dpi = kChartDpi * std::min(1.0, std::sqrt(kMaxChartPixels / area));
        const QSize pixels(std::clamp(int(std::lround(inches.width() * dpi)), 1, 4000),
                           std::clamp(int(std::lround(inches.height() * dpi)), 1, 4000));
        QImage image(pixels, QImage::Format_RGB32);
        image.fill(Qt::white);
        image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
        image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            // Drawn as for a screen: no more points than the picture has pixels to show them.
            engine::paintChart(painter, QRectF(QPointF(0, 0), QSizeF(pixels)), item.chart,
                               engine::PaintDetail::Screen);
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            throw Error(ErrNo::Unexpected, QStringLiteral("The chart could not be turned into a picture."),
                        QStringLiteral("richTextExport"));
        // A one-point font: the line is then as high as the picture, without a text descent.
        out += "\\pard\\plain\\fs2";
        if (breakBefore)
            out += "\\pagebb";
        // The picture sets the line's height itself; the rest of the band goes below it as space
        // after. A line spacing of the band's whole height would be added to the picture by
        // word processors and push the pages apart.
        const int pictureHeight = twips(item.rect.height());
        out += "\\li" + QByteArray::number(std::max(0, twips(item.rect.left()))) + "\\sl0\\sa" +
               QByteArray::number(std::max(0, height - pictureHeight)) + " {\\pict\\pngblip\\picw" +
               QByteArray::number(pixels.width()) + "\\pich" + QByteArray::number(pixels.height()) +
               "\\picwgoal" + QByteArray::number(twips(item.rect.width())) + "\\pichgoal" +
               QByteArray::number(pictureHeight) + '\n';
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
    int m_rightMargin = 0;
};

} // namespace

QByteArray richTextExport(const engine::PageCollection& pages) {
    engine::registerReportFonts();
    return RtfWriter(pages).document();
}

void writeRichText(const engine::PageCollection& pages, QIODevice& device) {
    writeWholeData(device, richTextExport(pages), QStringLiteral("rich-text file"),
                   QStringLiteral("writeRichText"));
}

} // namespace tallyrow
