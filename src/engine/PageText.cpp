#include "engine/PageText.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tallyrow::engine {

namespace {

QString chartKindName(int code) {
    const QString name = chartTypeName(code);
    return name.isEmpty() ? QStringLiteral("Chart") : name;
}

QString shortNumber(double value) {
    const double rounded = std::round(value * 10.0) / 10.0;
    return QString::number(rounded, 'f', rounded == std::floor(rounded) ? 0 : 1);
}

// A piece of the page with where it starts, for putting the page in reading order.
struct Piece {
    QRectF rect;
    QString text;
};

} // namespace

QString describeChart(const ChartDefinition& chart) {
    const QString measured = chart.axes[AxisId::Value].title.trimmed();
    const QString over = chart.axes[AxisId::Category].title.trimmed();
    QString sentence = chartKindName(chart.chartType) + QStringLiteral(" chart");
    if (!measured.isEmpty())
        sentence += QStringLiteral(" of ") + measured;
    if (!over.isEmpty())
        sentence += QStringLiteral(" by ") + over;
    sentence += QStringLiteral(", %1 series").arg(chart.series.size());
    double best = 0;
    QString where;
    bool any = false;
    for (const ChartSeries& series : chart.series) {
        for (qsizetype i = 0; i < series.values.size(); ++i) {
            const double v = series.values[i];
            if (std::isfinite(v) && (!any || v > best)) {
                best = v;
                any = true;
                where = series.name + QStringLiteral(", ") + chart.categories.value(i);
            }
        }
    }
    if (!any)
        return sentence + QStringLiteral("; it has no values.");
    if (best <= 0)
        return sentence + QStringLiteral("; every value is 0.");
    return sentence + QStringLiteral("; the largest is %1 (%2).").arg(shortNumber(best), where);
}

QString pageReadingText(const PageCollection& pages, int index) {
    if (index < 0 || index >= pages.pages.size())
        return {};
    std::vector<Piece> pieces;
    for (const PageItem& item : pages.pages[index].items) {
        if (const auto* text = std::get_if<TextItem>(&item)) {
            if (!text->text.trimmed().isEmpty())
                pieces.push_back({text->rect, text->text.simplified()});
        } else if (const auto* chart = std::get_if<ChartItem>(&item)) {
            pieces.push_back({chart->rect, describeChart(chart->chart)});
        }
    }
    // Pieces whose vertical middles lie within half a line of each other share a line.
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const Piece& a, const Piece& b) { return a.rect.top() < b.rect.top(); });
    QStringList lines;
    std::vector<Piece> line;
    const auto flush = [&] {
        std::sort(line.begin(), line.end(),
                  [](const Piece& a, const Piece& b) { return a.rect.left() < b.rect.left(); });
        QStringList cells;
        for (const Piece& p : line)
            cells << p.text;
        if (!cells.isEmpty())
            lines << cells.join(QStringLiteral(", "));
        line.clear();
    };
    for (const Piece& p : pieces) {
        if (!line.empty() && std::abs(p.rect.center().y() - line.front().rect.center().y()) >
                                 std::max(60.0, line.front().rect.height() / 2))
            flush();
        line.push_back(p);
    }
    flush();
    return lines.join(QLatin1Char('\n'));
}

} // namespace tallyrow::engine
