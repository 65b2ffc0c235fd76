#include "output/PageGrid.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tallyrow {

using engine::ChartItem;
using engine::TextItem;

namespace {

// The colour of the topmost fill under the middle of `text`; invalid when there is none.
QColor fillBehind(const QVector<const engine::FillItem*>& fills, const TextItem& text) {
    const QPointF middle = text.rect.center();
    for (qsizetype i = fills.size() - 1; i >= 0; --i)
        if (fills[i]->rect.contains(middle))
            return fills[i]->color;
    return {};
}

struct PlacedItem {
    double top;
    double left;
    const TextItem* text;
    const ChartItem* chart;
    QColor fill;
};

// The page's texts (blank ones only when kept) and charts, top to bottom and left to right, each
// text with the fill drawn behind it.
QVector<PlacedItem> placedItems(const engine::Page& page, bool keepBlank) {
    QVector<PlacedItem> entries;
    entries.reserve(page.items.size());
    QVector<const engine::FillItem*> fills; // drawn so far, the latest on top
    for (const engine::PageItem& item : page.items) {
        if (const auto* text = std::get_if<TextItem>(&item)) {
            if (keepBlank || !text->text.trimmed().isEmpty())
                entries.push_back(
                    {text->rect.top(), text->rect.left(), text, nullptr, fillBehind(fills, *text)});
        } else if (const auto* chart = std::get_if<ChartItem>(&item)) {
            entries.push_back({chart->rect.top(), chart->rect.left(), nullptr, chart, {}});
        } else if (const auto* fill = std::get_if<engine::FillItem>(&item)) {
            fills.push_back(fill);
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const PlacedItem& a, const PlacedItem& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    return entries;
}

// Puts a band's texts (and their fills with them) in order from left to right.
void sortLeftToRight(PageBand& band) {
    QVector<int> order(band.texts.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return band.texts.at(a)->rect.left() < band.texts.at(b)->rect.left();
    });
    PageBand sorted = band;
    for (int i = 0; i < order.size(); ++i) {
        sorted.texts[i] = band.texts.at(order.at(i));
        sorted.fills[i] = band.fills.at(order.at(i));
    }
    band = sorted;
}

} // namespace

QVector<PageBand> pageBands(const engine::Page& page, bool keepBlank) {
    const QVector<PlacedItem> entries = placedItems(page, keepBlank);
    QVector<PageBand> bands;
    double bandLineHeight = 0;
    for (const PlacedItem& e : entries) {
        if (e.chart) {
            PageBand band;
            band.top = e.top;
            band.bottom = e.chart->rect.bottom();
            band.chart = e.chart;
            bands.push_back(band);
            continue;
        }
        const double height = std::max(0.0, e.text->rect.height());
        if (!bands.isEmpty() && !bands.back().chart) {
            PageBand& last = bands.back();
            // Half the smaller line height (at least a point) keeps a 283-twip field and a
            // 495-twip label of one row together, while rows 330 twips apart stay apart.
            const double tolerance = std::max(20.0, std::min(bandLineHeight, height) / 2.0);
            if (e.top - last.top <= tolerance) {
                last.texts.push_back(e.text);
                last.fills.push_back(e.fill);
                last.bottom = std::max(last.bottom, e.text->rect.bottom());
                continue;
            }
        }
        PageBand band;
        band.top = e.top;
        band.bottom = e.text->rect.bottom();
        band.texts.push_back(e.text);
        band.fills.push_back(e.fill);
        bands.push_back(band);
        bandLineHeight = height;
    }
    for (PageBand& band : bands)
        sortLeftToRight(band);
    return bands;
}

double columnAnchor(const TextItem& item) {
    if (item.alignment & Qt::AlignRight)
        return item.rect.right();
    if (item.alignment & Qt::AlignHCenter)
        return item.rect.center().x();
    return item.rect.left();
}

QVector<double> clusterPositions(QVector<double> positions, double tolerance) {
    std::sort(positions.begin(), positions.end());
    QVector<double> columns;
    double previous = 0;
    for (double p : positions) {
        if (columns.isEmpty() || p - previous >= tolerance)
            columns.push_back(p);
        previous = p;
    }
    return columns;
}

int columnIndex(const QVector<double>& columns, double position) {
    // The last column starting at or before the position (positions come from the same set,
    // so a position always lies at or after its column's start).
    const auto it = std::upper_bound(columns.begin(), columns.end(), position);
    return it == columns.begin() ? 0 : int(it - columns.begin()) - 1;
}

bool isPlainNumber(const QString& text, double* value) {
    static const QRegularExpression plain(QStringLiteral("^\\s*[+-]?(\\d+(\\.\\d*)?|\\.\\d+)\\s*$"));
    if (!plain.match(text).hasMatch())
        return false;
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok); // QString::toDouble uses the C locale
    if (!ok || !std::isfinite(v))
        return false;
    if (value)
        *value = v;
    return true;
}

} // namespace tallyrow
