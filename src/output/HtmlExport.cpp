#include "output/DeviceWrite.h"
#include "output/ExportFilters.h"
#include "output/PageGrid.h"

#include "engine/PagePainter.h"
#include "engine/PageText.h"
#include "support/Error.h"
#include "support/Printable.h"

#include <QBuffer>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyrow {

using engine::ChartItem;
using engine::LineItem;
using engine::TextItem;

namespace {

// A band of several texts at most this far below the one before (about a line of 12-point text)
// is a row of the same table when one of its texts lines up with one of the row above; a page
// footer that happens to follow closely makes a table of its own.
constexpr double kTableRowGap = 360.0;
// Text edges closer than this share a column edge of their table.
constexpr double kColumnTolerance = 60.0;
// A rule this close above a table's first row is drawn as that row's top border.
constexpr double kRuleReach = 200.0;
// The faces that stand in when a reader's computer lacks the report's own.
constexpr auto kFallbackFaces = "'DejaVu Sans', Verdana, Arial, sans-serif"_L1;

// A length for CSS: twips as points, at most two decimals, never negative.
QString pt(double twips) {
    QString s = QString::number(std::isfinite(twips) ? std::max(0.0, twips) / 20.0 : 0.0, 'f', 2);
    while (s.endsWith(u'0'))
        s.chop(1);
    if (s.endsWith(u'.'))
        s.chop(1);
    return s + u"pt"_s;
}

// Text for an element or an attribute value: markup characters as references, a line break as
// <br/> inside an element (a blank in an attribute), other control characters, unpaired
// surrogates and the two non-characters as visible escapes (neither HTML nor XML has a place
// for them).
QString escaped(const QString& text, bool inElement = true) {
    const QString shown = printable(text, LineBreaks::Kept);
    QString out;
    out.reserve(shown.size());
    for (const QChar ch : shown) {
        switch (ch.unicode()) {
        case u'&':
            out += u"&amp;"_s;
            break;
        case u'<':
            out += u"&lt;"_s;
            break;
        case u'>':
            out += u"&gt;"_s;
            break;
        case u'"':
            out += u"&quot;"_s;
            break;
        case u'\'':
            out += u"&#39;"_s;
            break;
        case u'\n':
            out += inElement ? u"<br/>"_s : u" "_s;
            break;
        case u'\t':
            out += u' ';
            break;
        case u'\r':
            break;
        default:
            out += ch;
        }
    }
    return out;
}

// The font family list for CSS: the report's face first, then the faces that stand in for it.
// The face comes from the report (a report document can say anything), so it keeps only the
// characters a family name has and cannot close the style it stands in.
QString fontFamily(const QString& face) {
    QString name;
    for (const QChar ch : face)
        if (ch.isLetterOrNumber() || ch == u' ' || ch == u'-' || ch == u'_' || ch == u'.')
            name += ch;
    name = name.simplified();
    return name.isEmpty() ? QString(kFallbackFaces) : u"'"_s + name + u"', "_s + kFallbackFaces;
}

QString colorName(const QColor& color) {
    return color.isValid() ? color.name(QColor::HexRgb) : u"#000000"_s;
}

QString horizontalAlignment(int alignment) {
    if (alignment & Qt::AlignRight)
        return u"right"_s;
    if (alignment & Qt::AlignHCenter)
        return u"center"_s;
    if (alignment & Qt::AlignJustify)
        return u"justify"_s;
    return u"left"_s;
}

QString verticalAlignment(int alignment) {
    if (alignment & Qt::AlignBottom)
        return u"bottom"_s;
    if (alignment & Qt::AlignVCenter)
        return u"middle"_s;
    return u"top"_s;
}

// Face, size, weight, slant, colour and alignment of a text as CSS declarations.
QString textStyle(const TextItem& t) {
    QString s = u"font-family:"_s + fontFamily(t.font.face) + u";font-size:"_s + pt(t.font.pointSize * 20.0) +
                u";color:"_s + colorName(t.color) + u";text-align:"_s + horizontalAlignment(t.alignment);
    s += t.font.bold ? u";font-weight:bold"_s : u";font-weight:normal"_s;
    s += t.font.italic ? u";font-style:italic"_s : u";font-style:normal"_s;
    return s;
}

// The chart as an inline <svg> element drawn by the chart renderer itself, in twips of the
// chart's own layout; its size on the page is the chart's size on paper. Empty for a chart
// without area.
QString chartSvg(const ChartItem& item) {
    const QSizeF size = item.rect.size();
    if (!(size.width() > 0 && size.height() > 0 && std::isfinite(size.width()) &&
          std::isfinite(size.height())))
        return {};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setResolution(int(engine::kTwipsPerInch));
    generator.setSize(
        QSize(int(std::ceil(std::min(size.width(), 1e7))), int(std::ceil(std::min(size.height(), 1e7)))));
    generator.setViewBox(QRectF(QPointF(0, 0), size));
    QPainter painter;
    if (!painter.begin(&generator))
        throw Error(ErrNo::Unexpected, u"The chart could not be drawn for the web page."_s,
                    u"webPageExport"_s);
    engine::paintChartScaled(painter, QRectF(QPointF(0, 0), size), item.chart, 1.0);
    painter.end();

    // The generator writes a document of its own; the page keeps what it draws and gives it an
    // <svg> element that names the chart in words, for readers who cannot see it.
    QString drawing = QString::fromUtf8(buffer.data());
    const qsizetype open = drawing.indexOf(u"<svg"_s);
    const qsizetype start = open < 0 ? -1 : drawing.indexOf(u'>', open);
    const qsizetype end = drawing.lastIndexOf(u"</svg>"_s);
    if (start < 0 || end < start)
        return {};
    // The generator writes texts (names on the axis, say) with their control characters.
    drawing = printable(QStringView(drawing).mid(start + 1, end - start - 1), LineBreaks::Kept);
    static const QRegularExpression generatorText(u"<(title|desc)>.*?</\\1>"_s,
                                                  QRegularExpression::DotMatchesEverythingOption);
    drawing.remove(generatorText);
    // Text in the drawing asks for the report's face; the faces that stand in for it follow.
    static const QRegularExpression face(u"font-family=\"([^\"]*)\""_s);
    QString withFallbacks;
    qsizetype last = 0;
    for (auto it = face.globalMatch(drawing); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        withFallbacks += QStringView(drawing).mid(last, m.capturedStart() - last);
        withFallbacks += u"font-family=\""_s + fontFamily(m.captured(1)) + u'"';
        last = m.capturedEnd();
    }
    withFallbacks += QStringView(drawing).mid(last);

    const QString sentence = escaped(engine::describeChart(item.chart), false);
    return u"<svg width=\""_s + pt(size.width()) + u"\" height=\""_s + pt(size.height()) +
           u"\" viewBox=\"0 0 "_s + QString::number(size.width()) + u' ' + QString::number(size.height()) +
           u"\" role=\"img\" aria-label=\""_s + sentence + u"\" style=\"display:block\"><title>"_s +
           sentence + u"</title>"_s + withFallbacks + u"</svg>"_s;
}

// A horizontal rule of the page.
struct Rule {
    double y;
    double left;
    double right;
    double width; ///< twips
    QColor color;
};

QString border(const Rule& rule) {
    // 15 twips make a pixel on a 96-dpi screen; a hairline still shows.
    return QString::number(std::max(1L, std::lround(rule.width / 15.0))) + u"px solid "_s +
           colorName(rule.color);
}

// One block of the page as it flows: a paragraph, a table, a chart or a rule.
struct Block {
    enum class Kind { Paragraph, Table, Chart, Rule } kind;
    double top = 0;
    double bottom = 0;
    QVector<const PageBand*> rows; ///< a paragraph's band or a table's rows
    const ChartItem* chart = nullptr;
    Rule rule{};
    QVector<Rule> rowRules; ///< rules drawn as the borders of a table's rows
};

class WebPageWriter {
public:
    explicit WebPageWriter(const engine::PageCollection& pages) : m_pages(pages) {}

    QByteArray document() {
        const QRectF area = m_pages.printableRect.isEmpty() ? QRectF(0, 0, 12240 - 2880, 15840 - 1440)
                                                            : m_pages.printableRect;
        m_out += u"<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"_s
                 u"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"_s
                 u"<meta name=\"generator\" content=\"Tallyrow Reports\"/>\n<title>"_s +
                 escaped(m_pages.title, false) + u"</title>\n</head>\n"_s +
                 u"<body style=\"margin:0;padding:16px;background:#ffffff;color:#000000;font-family:"_s +
                 fontFamily(u"Tahoma"_s) + u"\">\n"_s;
        for (qsizetype p = 0; p < m_pages.pages.size(); ++p) {
            // Each page of the report starts a new sheet when the page is printed; on screen a
            // line parts them.
            m_out += u"<div style=\"width:"_s + pt(area.width()) + u";margin:0 auto"_s;
            if (p > 0)
                m_out += u";margin-top:24pt;padding-top:24pt;border-top:1px solid #c0c0c0;"_s
                         u"page-break-before:always;break-before:page"_s;
            m_out += u"\">\n"_s;
            page(m_pages.pages[p]);
            m_out += u"</div>\n"_s;
        }
        m_out += u"</body>\n</html>\n"_s;
        return m_out.toUtf8();
    }

private:
    // Whether a text of `band` starts or ends where one of the row above does.
    static bool sharesAColumn(const PageBand& above, const PageBand& band) {
        auto near = [](double a, double b) { return std::fabs(a - b) < kColumnTolerance; };
        for (const TextItem* a : above.texts)
            for (const TextItem* b : band.texts)
                if (near(a->rect.left(), b->rect.left()) || near(a->rect.right(), b->rect.right()))
                    return true;
        return false;
    }

    static bool isBlank(const PageBand& band) {
        return std::all_of(band.texts.cbegin(), band.texts.cend(),
                           [](const TextItem* t) { return t->text.trimmed().isEmpty(); });
    }

    QVector<Block> blocks(const engine::Page& page, const QVector<PageBand>& bands) {
        QVector<Block> out;
        for (const PageBand& band : bands) {
            if (band.chart) {
                out.push_back({Block::Kind::Chart, band.top, band.bottom, {}, band.chart, {}, {}});
                continue;
            }
            if (isBlank(band))
                continue;
            const bool row = band.texts.size() > 1;
            if (row && !out.isEmpty() && out.back().kind == Block::Kind::Table &&
                band.top - out.back().bottom <= kTableRowGap &&
                sharesAColumn(*out.back().rows.last(), band)) {
                out.back().rows.push_back(&band);
                out.back().bottom = std::max(out.back().bottom, band.bottom);
                continue;
            }
            out.push_back({row ? Block::Kind::Table : Block::Kind::Paragraph,
                           band.top,
                           band.bottom,
                           {&band},
                           nullptr,
                           {},
                           {}});
        }
        // Rules across a table's rows become borders of its rows; the others are blocks of
        // their own. Slanted and upright rules (the frame of a heading) have no place in the flow.
        for (const engine::PageItem& item : page.items) {
            const auto* line = std::get_if<LineItem>(&item);
            if (!line || std::fabs(line->from.y() - line->to.y()) >= 1.0 || line->from.x() == line->to.x())
                continue;
            const Rule rule{line->from.y(), std::min(line->from.x(), line->to.x()),
                            std::max(line->from.x(), line->to.x()), line->width, line->color};
            const auto table = std::find_if(out.begin(), out.end(), [&](const Block& b) {
                return b.kind == Block::Kind::Table && rule.y >= b.top - kRuleReach &&
                       rule.y <= b.bottom + kRuleReach;
            });
            if (table != out.end())
                table->rowRules.push_back(rule);
            else
                out.push_back({Block::Kind::Rule, rule.y, rule.y, {}, nullptr, rule, {}});
        }
        std::stable_sort(out.begin(), out.end(),
                         [](const Block& a, const Block& b) { return a.top < b.top; });
        return out;
    }

    void page(const engine::Page& page) {
        const QVector<PageBand> bands = pageBands(page, true);
        double previousBottom = 0;
        for (const Block& block : blocks(page, bands)) {
            const double gap = block.top - previousBottom;
            switch (block.kind) {
            case Block::Kind::Paragraph:
                paragraph(*block.rows.first()->texts.first(), gap);
                break;
            case Block::Kind::Table:
                table(block, gap);
                break;
            case Block::Kind::Chart:
                chart(*block.chart, gap);
                break;
            case Block::Kind::Rule:
                m_out += u"<div style=\"margin:"_s + pt(gap) + u" 0 0 "_s + pt(block.rule.left) +
                         u";width:"_s + pt(block.rule.right - block.rule.left) + u";height:0;border-top:"_s +
                         border(block.rule) + u"\"></div>\n"_s;
                break;
            }
            previousBottom = std::max(previousBottom, block.bottom);
        }
    }

    // The first paragraph in the report's largest type is its heading.
    void paragraph(const TextItem& t, double gap) {
        const QString tag = m_headingDone || t.font.pointSize < largestFont() ? u"p"_s : u"h1"_s;
        m_headingDone = m_headingDone || tag == u"h1"_s;
        m_out += u'<' + tag + u" style=\"margin:"_s + pt(gap) + u" 0 0 "_s + pt(t.rect.left()) +
                 u";min-height:"_s + pt(t.rect.height()) + u';' + textStyle(t);
        // Right-aligned and centred text keeps its box, so it ends or centres where it did.
        if (t.alignment & (Qt::AlignRight | Qt::AlignHCenter))
            m_out += u";width:"_s + pt(t.rect.width());
        m_out += u"\">"_s + escaped(t.text.trimmed()) + u"</"_s + tag + u">\n"_s;
    }

    double largestFont() {
        if (m_largestFont < 0) {
            m_largestFont = 0;
            for (const engine::Page& page : m_pages.pages)
                for (const engine::PageItem& item : page.items)
                    if (const auto* t = std::get_if<TextItem>(&item); t && !t->text.trimmed().isEmpty())
                        m_largestFont = std::max(m_largestFont, t->font.pointSize);
        }
        return m_largestFont;
    }

    void chart(const ChartItem& item, double gap) {
        const QString svg = chartSvg(item);
        if (svg.isEmpty())
            return;
        m_out += u"<div style=\"margin:"_s + pt(gap) + u" 0 0 "_s + pt(item.rect.left()) + u"\">"_s + svg +
                 u"</div>\n"_s;
    }

    // The table's columns are the edges of its texts, gathered over all its rows, so a figure
    // stands under its heading however many cells a row leaves empty. A text covers the columns
    // between its edges; a text that would overlap its left neighbour starts after it, so no
    // text is ever hidden.
    void table(const Block& block, double gap) {
        QVector<double> edges;
        for (const PageBand* row : block.rows)
            for (const TextItem* t : row->texts) {
                edges.push_back(t->rect.left());
                edges.push_back(std::max(t->rect.right(), t->rect.left() + 1));
            }
        QVector<double> columns = clusterPositions(edges, kColumnTolerance);
        columns.push_back(columns.last() + kColumnTolerance); // room for a text starting at the last edge
        const int count = int(columns.size()) - 1;

        m_out += u"<table style=\"border-collapse:collapse;margin:"_s + pt(gap) + u" 0 0 "_s +
                 pt(columns.first()) + u"\">\n<colgroup>"_s;
        for (int c = 0; c < count; ++c)
            m_out += u"<col style=\"width:"_s + pt(columns[c + 1] - columns[c]) + u"\"/>"_s;
        m_out += u"</colgroup>\n"_s;
        for (qsizetype r = 0; r < block.rows.size(); ++r) {
            const PageBand& band = *block.rows[r];
            const double next = r + 1 < block.rows.size() ? block.rows[r + 1]->top : band.bottom;
            // Every rule of the table finds its row: those above the first row go to its top,
            // those below the last to its bottom.
            const double ruleTop = r == 0 ? -HUGE_VAL : band.top;
            const double ruleBottom = r + 1 < block.rows.size() ? next : HUGE_VAL;
            QVector<Rule> above, below;
            for (const Rule& rule : block.rowRules) {
                if (rule.y >= ruleTop && rule.y < band.top + (band.bottom - band.top) / 2)
                    above.push_back(rule);
                else if (rule.y >= band.top + (band.bottom - band.top) / 2 && rule.y < ruleBottom)
                    below.push_back(rule);
            }
            // A row is as high as it is from one row to the next. Its texts keep to their own
            // height at its top, as on the page, with the rest of the row below them.
            const double pitch = std::max(next, band.bottom) - band.top;
            m_out += u"<tr style=\"height:"_s + pt(pitch) + u"\">"_s;
            const QString padding = u"padding:0 1pt "_s + pt(pitch - (band.bottom - band.top)) + u" 1pt"_s;
            int column = 0;
            auto cell = [&](int from, int to, const TextItem* t, const QColor& fill) {
                QString style = padding + u";white-space:nowrap"_s;
                if (t)
                    style += u';' + textStyle(*t) + u";vertical-align:"_s + verticalAlignment(t->alignment);
                if (fill.isValid())
                    style += u";background-color:"_s + colorName(fill);
                for (const auto& [rules, side] :
                     {std::pair{&above, u"top"_s}, std::pair{&below, u"bottom"_s}})
                    for (const Rule& rule : *rules)
                        if (rule.left < columns[to] && rule.right > columns[from])
                            style += u";border-"_s + side + u':' + border(rule);
                m_out += u"<td"_s;
                if (to - from > 1)
                    m_out += u" colspan=\""_s + QString::number(to - from) + u'"';
                m_out += u" style=\""_s + style + u"\">"_s + (t ? escaped(t->text.trimmed()) : QString()) +
                         u"</td>"_s;
            };
            for (qsizetype k = 0; k < band.texts.size(); ++k) {
                const TextItem* t = band.texts[k];
                const int from = std::max(columnIndex(columns, t->rect.left()), column);
                if (from >= count) {
                    // No column is left for it: it joins the last cell (only texts piled on one
                    // another get here).
                    m_out.insert(m_out.lastIndexOf(u"</td>"_s), u' ' + escaped(t->text.trimmed()));
                    continue;
                }
                const int to = std::clamp(columnIndex(columns, std::max(t->rect.right(), t->rect.left() + 1)),
                                          from + 1, count);
                if (from > column)
                    cell(column, from, nullptr, {});
                cell(from, to, t, band.fills.value(k));
                column = to;
            }
            if (column < count)
                cell(column, count, nullptr, {});
            m_out += u"</tr>\n"_s;
        }
        m_out += u"</table>\n"_s;
    }

    const engine::PageCollection& m_pages;
    QString m_out;
    double m_largestFont = -1;
    bool m_headingDone = false;
};

} // namespace

QByteArray webPageExport(const engine::PageCollection& pages) {
    engine::registerReportFonts();
    return WebPageWriter(pages).document();
}

void writeWebPage(const engine::PageCollection& pages, QIODevice& device) {
    writeWholeData(device, webPageExport(pages), u"web page"_s, u"writeWebPage"_s);
}

} // namespace tallyrow
