#include "engine/ChartLayout.h"

#include "engine/ChartPainter.h"
#include "engine/PagePainter.h"
#include "engine/ValueText.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

using namespace Qt::StringLiterals;

namespace tallyrow::engine {

namespace {

// Sizes in twips.
constexpr double kPadding = 120;
constexpr double kGap = 80;
constexpr double kTickLength = 70;
constexpr double kSwatch = 130;
constexpr double kLegendSpacing = 260;
constexpr double kLabelPoints = 8;
constexpr double kTitlePoints = 9;

struct Metrics {
    QFontMetricsF label{reportFont(FontStyle{u"Tahoma"_s, kLabelPoints}, 20.0)};
    QFontMetricsF title{reportFont(FontStyle{u"Tahoma"_s, kTitlePoints, true}, 20.0)};
};

/// A step of 1, 2, 2.5 or 5 times a power of ten near `rough`.
double niceStep(double rough) {
    if (!(rough > 0) || !std::isfinite(rough))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double f = rough / power;
    const double nice = f <= 1 ? 1 : f <= 2 ? 2 : f <= 2.5 ? 2.5 : f <= 5 ? 5 : 10;
    return nice * power;
}

/// A range of whole steps that covers [lo, hi] with about `intervals` steps.
void niceRange(double lo, double hi, int intervals, double& outMin, double& outMax, double& outStep,
               QVector<double>& ticks) {
    if (!(hi > lo)) {
        if (lo == 0 && hi == 0) {
            hi = 10;
        } else {
            const double pad = std::fabs(lo) > 0 ? std::fabs(lo) * 0.1 : 1;
            lo -= lo < 0 ? pad : 0;
            hi += pad;
        }
    }
    outStep = niceStep((hi - lo) / qMax(1, intervals));
    outMin = std::floor(lo / outStep + 1e-9) * outStep;
    outMax = std::ceil(hi / outStep - 1e-9) * outStep;
    if (outMax < hi)
        outMax += outStep;
    if (outMax <= outMin)
        outMax = outMin + outStep;
    ticks.clear();
    const int count = static_cast<int>(std::lround((outMax - outMin) / outStep));
    for (int i = 0; i <= count; ++i) {
        double v = outMin + i * outStep;
        if (std::fabs(v) < outStep * 1e-9)
            v = 0;
        ticks.append(v);
    }
}

double clampTo(double v, double lo, double hi) {
    return std::max(lo, std::min(v, hi));
}

/// Moves `r` horizontally (and vertically) so it lies inside `bounds` where it can.
QRectF keepInside(QRectF r, const QRectF& bounds) {
    if (r.right() > bounds.right())
        r.moveRight(bounds.right());
    if (r.left() < bounds.left())
        r.moveLeft(bounds.left());
    if (r.bottom() > bounds.bottom())
        r.moveBottom(bounds.bottom());
    if (r.top() < bounds.top())
        r.moveTop(bounds.top());
    return r;
}

double valueAt(const ChartSeries& s, int i) {
    return i < s.values.size() && std::isfinite(s.values.at(i)) ? s.values.at(i) : 0.0;
}

struct LegendText {
    QString text;
    double width; ///< swatch, gap and text
};

ChartLayout::LegendEntry legendEntry(const ChartDefinition& chart, int series, const QString& text, double x,
                                     double y, double width, double lineHeight) {
    ChartLayout::LegendEntry le;
    le.text = text;
    le.color = seriesColor(chart, series);
    le.swatch = QRectF(x, y + (lineHeight - kSwatch) / 2, kSwatch, kSwatch);
    le.textRect = QRectF(x + kSwatch + kGap, y, width - kSwatch - kGap, lineHeight);
    return le;
}

// Left (3) or right (4) of the plot: one entry per line, the block centred upright.
void layoutSideLegend(ChartLayout& out, const ChartDefinition& chart, const QVector<LegendText>& entries,
                      double lineHeight, QRectF& area) {
    const bool left = chart.legendLocation == 3;
    double widest = 0;
    for (const auto& e : entries)
        widest = std::max(widest, e.width);
    widest = std::min(widest, area.width() / 3);
    const double x = left ? area.left() : area.right() - widest;
    double y = std::max(area.center().y() - entries.size() * lineHeight / 2, area.top());
    for (int i = 0; i < entries.size(); ++i, y += lineHeight)
        out.legend.append(legendEntry(chart, i, entries.at(i).text, x, y, widest, lineHeight));
    if (left)
        area.setLeft(area.left() + widest + kLegendSpacing);
    else
        area.setRight(area.right() - widest - kLegendSpacing);
}

// Top or bottom: entries flow in centred rows.
void layoutFlowLegend(ChartLayout& out, const ChartDefinition& chart, const QVector<LegendText>& entries,
                      double lineHeight, QRectF& area) {
    QVector<QVector<int>> rows(1);
    double rowWidth = 0;
    for (int i = 0; i < entries.size(); ++i) {
        const double w = entries.at(i).width + (rows.last().isEmpty() ? 0 : kLegendSpacing);
        if (!rows.last().isEmpty() && rowWidth + w > area.width()) {
            rows.append(QVector<int>());
            rowWidth = 0;
        }
        rowWidth += rows.last().isEmpty() ? entries.at(i).width : w;
        rows.last().append(i);
    }
    const double height = rows.size() * lineHeight;
    const bool top = chart.legendLocation >= 0 && chart.legendLocation <= 2;
    double y = top ? area.top() : area.bottom() - height;
    for (const auto& row : rows) {
        double width = 0;
        for (int i : row)
            width += entries.at(i).width;
        width += (row.size() - 1) * kLegendSpacing;
        double x = area.center().x() - width / 2;
        for (int i : row) {
            out.legend.append(
                legendEntry(chart, i, entries.at(i).text, x, y, entries.at(i).width, lineHeight));
            x += entries.at(i).width + kLegendSpacing;
        }
        y += lineHeight;
    }
    if (top)
        area.setTop(area.top() + height + kGap * 2);
    else
        area.setBottom(area.bottom() - height - kGap * 2);
}

void layoutLegend(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm, QRectF& area) {
    if (!chart.showLegend || chart.series.isEmpty())
        return;
    QVector<LegendText> entries;
    for (const auto& s : chart.series)
        entries.append({s.name, kSwatch + kGap + std::min(fm.horizontalAdvance(s.name), area.width() / 2)});
    out.legend.reserve(entries.size());
    if (chart.legendLocation == 3 || chart.legendLocation == 4)
        layoutSideLegend(out, chart, entries, fm.height(), area);
    else
        layoutFlowLegend(out, chart, entries, fm.height(), area);
}

// The pie's slices: with several series one per series, sized by its total; with one series
// one per category.
void pieValues(const ChartDefinition& chart, int categoryCount, QVector<double>& values, QStringList& names) {
    if (chart.series.size() > 1) {
        for (const auto& s : chart.series) {
            double sum = 0;
            for (int i = 0; i < categoryCount; ++i)
                sum += std::fabs(valueAt(s, i));
            values.append(sum);
            names.append(s.name);
        }
    } else if (chart.series.size() == 1) {
        for (int i = 0; i < categoryCount; ++i) {
            values.append(std::fabs(valueAt(chart.series.first(), i)));
            names.append(i < chart.categories.size() ? chart.categories.at(i) : QString());
        }
    }
}

void layoutPie(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm, const QRectF& area) {
    QVector<double> values;
    QStringList names;
    pieValues(chart, out.categoryCount, values, names);
    const double labelRoom = fm.height() * 1.6 + kGap;
    const double diameter =
        std::max(0.0, std::min(area.width() - 2 * labelRoom - 2 * fm.averageCharWidth() * 8,
                               area.height() - 2 * labelRoom));
    out.pieRect =
        QRectF(area.center().x() - diameter / 2, area.center().y() - diameter / 2, diameter, diameter);
    out.plotRect = out.pieRect;
    double total = 0;
    for (double v : values)
        total += v;
    if (!(total > 0))
        return;
    double angle = 90;
    const double radius = diameter / 2;
    QVector<QRectF> placed; // labels already placed: a label that would touch one is left out
    for (int i = 0; i < values.size(); ++i) {
        if (values.at(i) <= 0)
            continue;
        ChartLayout::Slice slice;
        slice.index = i;
        slice.startAngle = angle;
        slice.spanAngle = -values.at(i) / total * 360.0;
        slice.color = seriesColor(i);
        const double mid = angle + slice.spanAngle / 2;
        const QString pct = plainNumber(std::round(values.at(i) / total * 1000.0) / 10.0) + u"%"_s;
        const QString text = chart.series.size() > 1 ? pct : names.at(i);
        const double rad = mid * M_PI / 180.0;
        const QPointF anchor(out.pieRect.center().x() + std::cos(rad) * (radius + kGap * 2),
                             out.pieRect.center().y() - std::sin(rad) * (radius + kGap * 2));
        const double w = fm.horizontalAdvance(text) + 20;
        const double h = fm.height();
        QRectF r(0, 0, w, h);
        r.moveCenter(QPointF(anchor.x() + std::cos(rad) * w / 2, anchor.y() - std::sin(rad) * h / 2));
        r = keepInside(r, out.bounds);
        const bool crowded = std::any_of(placed.begin(), placed.end(), [&](const QRectF& p) {
            return p.adjusted(-kGap / 2, 0, kGap / 2, 0).intersects(r);
        });
        if (!text.isEmpty() && !crowded) {
            slice.label = {r, text, Qt::AlignCenter, false};
            placed.append(r);
        }
        out.slices.append(slice);
        angle += slice.spanAngle;
    }
}

} // namespace

QColor seriesColor(int index) {
    static const QColor palette[] = {QColor(0x1f, 0x5f, 0xb4), QColor(0xe8, 0x7a, 0x10),
                                     QColor(0x2c, 0x9a, 0x3c), QColor(0xc8, 0x28, 0x2a),
                                     QColor(0x84, 0x5c, 0xb8), QColor(0x8c, 0x56, 0x4b),
                                     QColor(0xd6, 0x5f, 0xb0), QColor(0x60, 0x60, 0x60),
                                     QColor(0xa8, 0xa8, 0x20), QColor(0x17, 0xa8, 0xb8)};
    return palette[(index < 0 ? 0 : index) % 10];
}

QColor seriesColor(const ChartDefinition& chart, int index) {
    if (index < 0 || index >= chart.series.size() || !chart.series.at(index).lighter)
        return seriesColor(index);
    // Halfway and more towards white: still the same hue, clearly behind the full colour.
    const QColor full = seriesColor(0);
    constexpr double kTint = 0.6;
    auto towardsWhite = [&](int c) { return static_cast<int>(std::lround(c + (255 - c) * kTint)); };
    return QColor(towardsWhite(full.red()), towardsWhite(full.green()), towardsWhite(full.blue()));
}

ChartLayout::Kind chartKind(int chartType) {
    switch (chartType) {
    case ChartType::Bar3D:
    case ChartType::Bar2D:
    case ChartType::HorizontalBar2D:
        return ChartLayout::Kind::Bar;
    case ChartType::Line3D:
    case ChartType::Line2D:
        return ChartLayout::Kind::Line;
    case ChartType::Area3D:
    case ChartType::Area2D:
        return ChartLayout::Kind::Area;
    case ChartType::Step3D:
    case ChartType::Step2D:
        return ChartLayout::Kind::Step;
    case ChartType::Combination3D:
    case ChartType::Combination2D:
        return ChartLayout::Kind::Combination;
    case ChartType::Pie2D:
        return ChartLayout::Kind::Pie;
    case ChartType::XY2D:
        return ChartLayout::Kind::XY;
    default:
        // Codes the program doesn't offer are drawn as the chart control's default, 2D bars.
        return ChartLayout::Kind::Bar;
    }
}

bool isThreeD(int chartType) {
    switch (chartType) {
    case ChartType::Bar3D:
    case ChartType::Line3D:
    case ChartType::Area3D:
    case ChartType::Step3D:
    case ChartType::Combination3D:
        return true;
    default:
        return false;
    }
}

double ChartLayout::yFor(double value) const {
    const double span = axisMax - axisMin;
    if (!(span > 0))
        return plotRect.bottom();
    return plotRect.bottom() - (value - axisMin) / span * plotRect.height();
}

double ChartLayout::xFor(double value) const {
    const double span = axisMax - axisMin;
    if (!(span > 0))
        return plotRect.left();
    return plotRect.left() + (value - axisMin) / span * plotRect.width();
}

int categoryAt(const ChartLayout& layout, QPointF point) {
    if (layout.kind == ChartLayout::Kind::Pie || layout.kind == ChartLayout::Kind::XY ||
        layout.categoryCount <= 0 || !layout.plotRect.contains(point))
        return -1;
    const double along =
        layout.horizontal ? point.y() - layout.plotRect.top() : point.x() - layout.plotRect.left();
    const double length = layout.horizontal ? layout.plotRect.height() : layout.plotRect.width();
    return std::clamp(static_cast<int>(along / (length / layout.categoryCount)), 0, layout.categoryCount - 1);
}

namespace {

/// Tick marks reach into the plot, across the axis or out of it: how far inside and outside.
struct TickReach {
    double inside;
    double outside;
};

TickReach tickReach(int tickStyle) {
    const double inside = tickStyle == 2 ? kTickLength : tickStyle == 1 ? kTickLength / 2 : 0;
    const double outside = tickStyle == 2 ? 0 : tickStyle == 1 ? kTickLength / 2 : kTickLength;
    return {inside, outside};
}

/// The parts of the layout that depend only on the chart's settings and data shape.
ChartLayout layoutFrame(const ChartDefinition& chart, const QRectF& bounds) {
    ChartLayout out;
    out.kind = chartKind(chart.chartType);
    out.threeD = isThreeD(chart.chartType);
    out.horizontal = chart.chartType == ChartType::HorizontalBar2D;
    out.bounds = bounds;
    for (int i = 0; i < chart.series.size(); ++i)
        out.seriesColors.append(seriesColor(chart, i));
    out.categoryCount = static_cast<int>(chart.categories.size());
    for (const auto& s : chart.series)
        out.categoryCount = std::max(out.categoryCount, static_cast<int>(s.values.size()));
    out.valueGridStyle = chart.axes[AxisId::Value].majorGridStyle;
    out.categoryGridStyle = chart.axes[AxisId::Category].majorGridStyle;
    return out;
}

/// The axis drawn at the left of the plot: the value axis, or the categories of horizontal bars.
int leftAxis(const ChartLayout& out) {
    return out.horizontal ? AxisId::Category : AxisId::Value;
}

/// Axis titles take a line at the bottom and a turned line at the left of `area`. The bottom
/// axis's title is placed at once; the left one's column is returned, its height follows the plot.
QRectF reserveAxisTitles(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& tm,
                         QRectF& area) {
    const int bottomAxis = leftAxis(out) == AxisId::Value ? AxisId::Category : AxisId::Value;
    const QString& bottomTitle = chart.axes[bottomAxis].title;
    if (!bottomTitle.isEmpty()) {
        const double h = tm.height();
        ChartLayout::TextBox& box = bottomAxis == AxisId::Category ? out.categoryTitle : out.valueTitle;
        box = {QRectF(area.left(), area.bottom() - h, area.width(), h), bottomTitle, Qt::AlignCenter, false};
        area.setBottom(area.bottom() - h - kGap);
    }
    QRectF leftTitleRect;
    if (!chart.axes[leftAxis(out)].title.isEmpty()) {
        const double h = tm.height();
        leftTitleRect = QRectF(area.left(), area.top(), h, area.height());
        area.setLeft(area.left() + h + kGap);
    }
    return leftTitleRect;
}

/// The left axis's title, turned, beside the plot in the column reserveAxisTitles kept for it.
void placeLeftTitle(ChartLayout& out, const ChartDefinition& chart, const QRectF& column) {
    const QString& title = chart.axes[leftAxis(out)].title;
    if (title.isEmpty())
        return;
    ChartLayout::TextBox& box = out.horizontal ? out.categoryTitle : out.valueTitle;
    box = {QRectF(column.left(), out.plotRect.top(), column.width(), out.plotRect.height()), title,
           Qt::AlignCenter, true};
}

/// Value range from the data, always including zero, in whole steps about two label heights
/// apart; returns the label texts of the ticks.
QStringList layoutValueRange(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm,
                             const QRectF& area) {
    double lo = 0, hi = 0;
    for (const auto& s : chart.series) {
        for (int i = 0; i < out.categoryCount; ++i) {
            lo = std::min(lo, valueAt(s, i));
            hi = std::max(hi, valueAt(s, i));
        }
    }
    const double labelHeight = fm.height();
    const double catLabelBand = labelHeight + kTickLength + kGap;
    const double estimatedPlotHeight = std::max(1.0, area.height() - catLabelBand - labelHeight);
    int intervals = static_cast<int>(clampTo(estimatedPlotHeight / (labelHeight * 2.2), 1, 10));
    if (out.horizontal) {
        // Labels side by side along the bottom: as far apart as the widest is wide, and then some.
        const double widest =
            std::max(fm.horizontalAdvance(plainNumber(lo)), fm.horizontalAdvance(plainNumber(hi)));
        intervals = static_cast<int>(clampTo(area.width() * 0.7 / (widest + 4 * kGap + 400), 1, 10));
    }
    niceRange(lo, hi, intervals, out.axisMin, out.axisMax, out.axisStep, out.valueTicks);

    QStringList texts;
    for (double v : out.valueTicks)
        texts.append(plainNumber(v));
    return texts;
}

/// The plot's front plane inside `area`, leaving room for the axis labels at its left (as wide as
/// `leftLabelWidth`), at its bottom and at its right for the last bottom label's overhang of
/// `rightOverhang` (and the depth in 3D). False when nothing is left to plot in; the layout then
/// keeps a 1-twip plot and no more.
bool placePlot(ChartLayout& out, const QFontMetricsF& fm, const QRectF& area, double leftLabelWidth,
               double rightOverhang) {
    const double labelHeight = fm.height();
    QRectF plot = area;
    plot.setLeft(area.left() + leftLabelWidth + kGap + kTickLength);
    plot.setBottom(area.bottom() - (labelHeight + kTickLength + kGap));
    plot.setTop(area.top() + labelHeight / 2);
    plot.setRight(area.right() - rightOverhang);
    if (out.threeD) {
        // Series in lanes of their own get more depth, so each lane stays wide enough to see.
        const int lanes = out.kind == ChartLayout::Kind::Bar ? 1 : std::max(1, int(out.seriesColors.size()));
        const double shortSide = std::min(plot.width(), plot.height());
        const double d = clampTo(shortSide * 0.07 * (1 + 0.25 * (lanes - 1)), 0,
                                 std::min(520.0 + 90.0 * (lanes - 1), shortSide * 0.2));
        out.depth = QPointF(d, -d * 0.75);
        plot.setRight(plot.right() - d);
        plot.setTop(plot.top() - out.depth.y());
    }
    if (plot.width() < 1 || plot.height() < 1) {
        out.plotRect =
            QRectF(plot.topLeft(), QSizeF(std::max(1.0, plot.width()), std::max(1.0, plot.height())));
        return false;
    }
    out.plotRect = plot;
    out.baselineY = out.yFor(clampTo(0, out.axisMin, out.axisMax));
    out.baselineX = out.xFor(clampTo(0, out.axisMin, out.axisMax));
    return true;
}

/// Value axis labels at the left of `area`, grid lines on the back plane, tick marks on the axis.
void layoutValueAxis(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm,
                     const QRectF& area, const QStringList& texts, double labelWidth) {
    const QRectF& plot = out.plotRect;
    const double labelHeight = fm.height();
    const int tickStyle = chart.axes[AxisId::Value].tickStyle;
    const TickReach reach = tickReach(tickStyle);
    for (int i = 0; i < out.valueTicks.size(); ++i) {
        const double y = out.yFor(out.valueTicks.at(i));
        QRectF r(area.left(), y - labelHeight / 2, labelWidth, labelHeight);
        out.valueLabels.append(
            {keepInside(r, out.bounds), texts.at(i), Qt::AlignRight | Qt::AlignVCenter, false});
        if (out.valueGridStyle != 0)
            out.valueGridLines.append(QLineF(plot.left() + out.depth.x(), y + out.depth.y(),
                                             plot.right() + out.depth.x(), y + out.depth.y()));
        if (tickStyle != 0)
            out.valueTickMarks.append(QLineF(plot.left() - reach.outside, y, plot.left() + reach.inside, y));
    }
}

/// A tick mark at `x` on the axis along the plot's bottom.
QLineF bottomTickMark(const ChartLayout& out, int tickStyle, double x) {
    const TickReach reach = tickReach(tickStyle);
    return QLineF(x, out.plotRect.bottom() - reach.inside, x, out.plotRect.bottom() + reach.outside);
}

QLineF verticalGridLine(const ChartLayout& out, double x) {
    return QLineF(x + out.depth.x(), out.plotRect.top() + out.depth.y(), x + out.depth.x(),
                  out.plotRect.bottom() + out.depth.y());
}

/// A label centred under `x` just below the plot's bottom axis, kept inside the chart.
ChartLayout::TextBox bottomLabel(const ChartLayout& out, const QFontMetricsF& fm, const QString& text,
                                 double x) {
    const double labelTop = out.plotRect.bottom() + kTickLength + kGap / 2;
    QRectF r(0, labelTop, fm.horizontalAdvance(text) + 20, fm.height());
    r.moveCenter(QPointF(x, r.center().y()));
    return {keepInside(r, out.bounds), text, Qt::AlignCenter, false};
}

/// Where the categories of an XY chart lie: the chart's own positions when it has one for every
/// category, else the category texts when they all are numbers (`numeric`), else 0, 1, 2, ...
QVector<double> xyPositions(const ChartDefinition& chart, int n, bool& numeric) {
    QVector<double> xs(n);
    numeric = false;
    if (chart.categoryX.size() >= n && std::all_of(chart.categoryX.begin(), chart.categoryX.begin() + n,
                                                   [](double x) { return std::isfinite(x); })) {
        std::copy(chart.categoryX.begin(), chart.categoryX.begin() + n, xs.begin());
        return xs;
    }
    numeric = n > 0;
    for (int i = 0; i < n && numeric; ++i) {
        bool ok = false;
        xs[i] = i < chart.categories.size() ? chart.categories.at(i).trimmed().toDouble(&ok) : 0.0;
        numeric = ok && std::isfinite(xs[i]);
    }
    if (!numeric) {
        for (int i = 0; i < n; ++i)
            xs[i] = i;
    }
    return xs;
}

/// A tick, grid line and label at `x` on the horizontal axis of an XY chart.
void addXTick(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm, double x, double px,
              const QString& text) {
    const int tickStyle = chart.axes[AxisId::Category].tickStyle;
    out.xTicks.append(x);
    out.categoryLabels.append(bottomLabel(out, fm, text, px));
    if (out.categoryGridStyle != 0)
        out.categoryGridLines.append(verticalGridLine(out, px));
    if (tickStyle != 0)
        out.categoryTickMarks.append(bottomTickMark(out, tickStyle, px));
}

/// XY charts whose categories are not numbers: each category's text labels its own position,
/// left out where it would touch the label before it.
void layoutXYCategoryLabels(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm,
                            const QVector<double>& xs, const std::function<double(double)>& xFor) {
    double lastRight = -std::numeric_limits<double>::infinity();
    for (int i = 0; i < xs.size(); ++i) {
        const QString text = i < chart.categories.size() ? chart.categories.at(i) : QString();
        if (text.isEmpty())
            continue;
        const ChartLayout::TextBox box = bottomLabel(out, fm, text, xFor(xs.at(i)));
        if (box.rect.left() < lastRight + kGap)
            continue;
        addXTick(out, chart, fm, xs.at(i), xFor(xs.at(i)), text);
        lastRight = box.rect.right();
    }
}

/// XY charts: a horizontal axis of numbers (or of the categories' own texts at their positions)
/// and one line of points per series.
void layoutXY(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm) {
    const int n = out.categoryCount;
    const QRectF& plot = out.plotRect;
    bool numericX = false;
    const QVector<double> xs = xyPositions(chart, n, numericX);
    double xlo = 0, xhi = 0;
    if (n > 0) {
        xlo = *std::min_element(xs.begin(), xs.end());
        xhi = *std::max_element(xs.begin(), xs.end());
    }
    QVector<double> ticks;
    if (numericX) {
        double widest = 0;
        for (double x : {xlo, xhi})
            widest = std::max(widest, fm.horizontalAdvance(plainNumber(x)));
        const int xIntervals = static_cast<int>(clampTo(plot.width() / (widest + 4 * kGap + 400), 1, 10));
        niceRange(xlo, xhi, xIntervals, out.xMin, out.xMax, out.xStep, ticks);
    } else {
        // The axis spans the categories; a lone one stands in the middle.
        out.xMin = xhi > xlo ? xlo : xlo - 1;
        out.xMax = xhi > xlo ? xhi : xhi + 1;
        out.xStep = 0;
    }
    const std::function<double(double)> xFor = [&](double x) {
        return plot.left() + (x - out.xMin) / (out.xMax - out.xMin) * plot.width();
    };
    if (numericX) {
        for (double x : ticks)
            addXTick(out, chart, fm, x, xFor(x), plainNumber(x));
    } else {
        layoutXYCategoryLabels(out, chart, fm, xs, xFor);
    }
    for (int s = 0; s < chart.series.size(); ++s) {
        ChartLayout::SeriesLine line{s, {}, n <= 31, {}, {}};
        line.points.reserve(n);
        for (int i = 0; i < n; ++i)
            line.points.append(QPointF(xFor(xs.at(i)), out.yFor(valueAt(chart.series.at(s), i))));
        out.lines.append(line);
    }
    for (int k = static_cast<int>(out.lines.size()) - 1; k >= 0; --k)
        out.paintOrder.append(k);
}

/// Category axis: slots of equal width (returned), labels thinned so they never overlap.
double layoutCategoryAxis(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm) {
    const int n = out.categoryCount;
    const QRectF& plot = out.plotRect;
    const int tickStyle = chart.axes[AxisId::Category].tickStyle;
    const double slot = n > 0 ? plot.width() / n : plot.width();
    double widestLabel = 0;
    for (int i = 0; i < n && i < chart.categories.size(); ++i)
        widestLabel = std::max(widestLabel, fm.horizontalAdvance(chart.categories.at(i)));
    out.categoryLabelStep =
        n > 0 ? std::max(1, static_cast<int>(std::ceil((widestLabel + kGap * 2) / slot))) : 1;
    for (int i = 0; i < n; i += out.categoryLabelStep) {
        if (i < chart.categories.size() && !chart.categories.at(i).isEmpty())
            out.categoryLabels.append(
                bottomLabel(out, fm, chart.categories.at(i), plot.left() + slot * (i + 0.5)));
        const double edge = plot.left() + slot * i;
        if (out.categoryGridStyle != 0 && i > 0)
            out.categoryGridLines.append(verticalGridLine(out, edge));
        if (tickStyle != 0)
            out.categoryTickMarks.append(bottomTickMark(out, tickStyle, edge));
    }
    if (tickStyle != 0 && n > 0)
        out.categoryTickMarks.append(bottomTickMark(out, tickStyle, plot.right()));
    return slot;
}

/// In 3D every series but plain bars gets a lane of the depth, the first series in front.
QPointF seriesLane(const ChartLayout& out, const ChartDefinition& chart) {
    return chart.series.isEmpty() ? out.depth : out.depth / static_cast<double>(chart.series.size());
}

/// How many series, from the first, are drawn as bars: all in a bar chart, the first in a combination.
int barSeriesCount(const ChartLayout& out, const ChartDefinition& chart) {
    if (out.kind == ChartLayout::Kind::Bar)
        return static_cast<int>(chart.series.size());
    if (out.kind == ChartLayout::Kind::Combination && !chart.series.isEmpty())
        return 1;
    return 0;
}

void layoutBars(ChartLayout& out, const ChartDefinition& chart, double slot) {
    const int n = out.categoryCount;
    const int barSeries = barSeriesCount(out, chart);
    if (barSeries == 0)
        return;
    const QPointF lane = seriesLane(out, chart);
    const double group = slot * 0.72;
    const double width = group / barSeries;
    out.bars.reserve(qsizetype(n) * barSeries);
    for (int i = 0; i < n; ++i) {
        const double left = out.plotRect.left() + slot * i + (slot - group) / 2;
        for (int s = 0; s < barSeries; ++s) {
            const double v = clampTo(valueAt(chart.series.at(s), i), out.axisMin, out.axisMax);
            const double y = out.yFor(v);
            QRectF rect(QPointF(left + s * width, std::min(y, out.baselineY)),
                        QPointF(left + (s + 1) * width, std::max(y, out.baselineY)));
            QPointF offset, depth;
            if (out.threeD && out.kind == ChartLayout::Kind::Bar) {
                // Boxes as deep as they are wide (up to the plot's depth), standing in the
                // middle of the floor.
                depth = out.depth * std::min(1.0, width / out.depth.x());
                offset = (out.depth - depth) / 2;
            } else if (out.threeD) {
                // Combination: the bars stand in the first series' lane.
                depth = lane * 0.7;
                offset = lane * 0.15;
            }
            out.bars.append({s, i, rect, offset, depth});
        }
    }
}

/// The order in which the series from `first` on are painted, back to front. Areas put the
/// largest series at the back so a smaller one is never buried under it; the others keep the
/// first series in front.
QVector<int> seriesPaintOrder(const ChartLayout& out, const ChartDefinition& chart, int first) {
    QVector<int> order;
    for (int s = static_cast<int>(chart.series.size()) - 1; s >= first; --s)
        order.append(s);
    if (out.kind != ChartLayout::Kind::Area)
        return order;
    QVector<double> totals(chart.series.size());
    for (int s = first; s < chart.series.size(); ++s)
        for (int i = 0; i < out.categoryCount; ++i)
            totals[s] += std::fabs(valueAt(chart.series.at(s), i));
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return totals.at(a) > totals.at(b); });
    return order;
}

/// The points of series `s` on the front plane: one per category, two per step.
QVector<QPointF> seriesPoints(const ChartLayout& out, const ChartSeries& series, double slot) {
    const int n = out.categoryCount;
    const double left = out.plotRect.left();
    QVector<QPointF> points;
    points.reserve(out.kind == ChartLayout::Kind::Step ? 2 * n : n);
    for (int i = 0; i < n; ++i) {
        const double y = out.yFor(clampTo(valueAt(series, i), out.axisMin, out.axisMax));
        if (out.kind == ChartLayout::Kind::Step) {
            points.append(QPointF(left + slot * i, y));
            points.append(QPointF(left + slot * (i + 1), y));
        } else {
            points.append(QPointF(left + slot * (i + 0.5), y));
        }
    }
    return points;
}

/// Lines, steps and area edges: every series after the bars, held inside the value range. In 3D
/// each series has a lane; the series painted last has the front one.
void layoutSeriesLines(ChartLayout& out, const ChartDefinition& chart, double slot) {
    if (out.kind == ChartLayout::Kind::Bar)
        return;
    const int first = barSeriesCount(out, chart);
    const bool markers =
        out.categoryCount <= 31 && out.kind != ChartLayout::Kind::Area && out.kind != ChartLayout::Kind::Step;
    const QPointF lane = seriesLane(out, chart);
    const QVector<int> order = seriesPaintOrder(out, chart, first);
    for (int s = first; s < chart.series.size(); ++s) {
        ChartLayout::SeriesLine line{s, seriesPoints(out, chart.series.at(s), slot), markers, {}, {}};
        if (out.threeD) {
            // Lanes count from the front; a combination's bars keep the front lane.
            const int fromFront = static_cast<int>(order.size() - 1 - order.indexOf(s)) + first;
            line.offset = lane * (fromFront + 0.15);
            line.depth = lane * 0.7;
        }
        out.lines.append(line);
    }
    for (int s : order)
        out.paintOrder.append(s - first);
}

/// Horizontal bars: the value labels centred under their values along the bottom, with the grid
/// lines standing up from them.
void layoutBottomValueAxis(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm,
                           const QStringList& texts) {
    const int tickStyle = chart.axes[AxisId::Value].tickStyle;
    for (int i = 0; i < out.valueTicks.size(); ++i) {
        const double x = out.xFor(out.valueTicks.at(i));
        out.valueLabels.append(bottomLabel(out, fm, texts.at(i), x));
        if (out.valueGridStyle != 0)
            out.valueGridLines.append(verticalGridLine(out, x));
        if (tickStyle != 0)
            out.valueTickMarks.append(bottomTickMark(out, tickStyle, x));
    }
}

/// Horizontal bars: the categories in rows of equal height (returned) down the left of the plot,
/// the first at the top, each labelled at the right of `area`'s first `labelWidth` twips; the
/// labels thin out so they never overlap.
double layoutLeftCategoryAxis(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm,
                              const QRectF& area, double labelWidth) {
    const int n = out.categoryCount;
    const QRectF& plot = out.plotRect;
    const int tickStyle = chart.axes[AxisId::Category].tickStyle;
    const TickReach reach = tickReach(tickStyle);
    const double slot = n > 0 ? plot.height() / n : plot.height();
    const double labelHeight = fm.height();
    out.categoryLabelStep =
        n > 0 ? std::max(1, static_cast<int>(std::ceil((labelHeight + kGap / 2) / slot))) : 1;
    const auto tickAt = [&](double y) {
        out.categoryTickMarks.append(QLineF(plot.left() - reach.outside, y, plot.left() + reach.inside, y));
    };
    for (int i = 0; i < n; i += out.categoryLabelStep) {
        const QString text = i < chart.categories.size() ? chart.categories.at(i) : QString();
        if (!text.isEmpty()) {
            const QRectF r(area.left(), plot.top() + slot * (i + 0.5) - labelHeight / 2, labelWidth,
                           labelHeight);
            out.categoryLabels.append({keepInside(r, out.bounds),
                                       fm.elidedText(text, Qt::ElideRight, labelWidth),
                                       Qt::AlignRight | Qt::AlignVCenter, false});
        }
        const double edge = plot.top() + slot * i;
        if (out.categoryGridStyle != 0 && i > 0)
            out.categoryGridLines.append(QLineF(plot.left(), edge, plot.right(), edge));
        if (tickStyle != 0)
            tickAt(edge);
    }
    if (tickStyle != 0 && n > 0)
        tickAt(plot.bottom());
    return slot;
}

/// Horizontal bars from the zero line, one row per category, the series side by side in it
/// (the first on top).
void layoutHorizontalBars(ChartLayout& out, const ChartDefinition& chart, double slot) {
    const int barSeries = static_cast<int>(chart.series.size());
    if (barSeries == 0)
        return;
    const double group = slot * 0.72;
    const double thickness = group / barSeries;
    out.bars.reserve(qsizetype(out.categoryCount) * barSeries);
    for (int i = 0; i < out.categoryCount; ++i) {
        const double top = out.plotRect.top() + slot * i + (slot - group) / 2;
        for (int s = 0; s < barSeries; ++s) {
            const double x = out.xFor(clampTo(valueAt(chart.series.at(s), i), out.axisMin, out.axisMax));
            const QRectF rect(QPointF(std::min(x, out.baselineX), top + s * thickness),
                              QPointF(std::max(x, out.baselineX), top + (s + 1) * thickness));
            out.bars.append({s, i, rect, QPointF(), QPointF()});
        }
    }
}

/// Everything of a horizontal bar chart after the value range: the category labels take the
/// left of `area` (up to a third of it; longer names are shortened), the value labels the bottom.
void layoutHorizontalChart(ChartLayout& out, const ChartDefinition& chart, const QFontMetricsF& fm,
                           const QRectF& area, const QRectF& leftTitleColumn, const QStringList& valueTexts) {
    double categoryLabelWidth = 0;
    for (int i = 0; i < out.categoryCount && i < chart.categories.size(); ++i)
        categoryLabelWidth = std::max(categoryLabelWidth, fm.horizontalAdvance(chart.categories.at(i)));
    categoryLabelWidth = std::min(categoryLabelWidth, area.width() / 3);
    const double lastValueLabel = valueTexts.isEmpty() ? 0 : fm.horizontalAdvance(valueTexts.last()) + 20;
    if (!placePlot(out, fm, area, categoryLabelWidth, lastValueLabel / 2))
        return;
    placeLeftTitle(out, chart, leftTitleColumn);
    layoutBottomValueAxis(out, chart, fm, valueTexts);
    const double slot = layoutLeftCategoryAxis(out, chart, fm, area, categoryLabelWidth);
    layoutHorizontalBars(out, chart, slot);
}

} // namespace

ChartLayout layoutChart(const ChartDefinition& chart, const QRectF& bounds) {
    registerReportFonts();
    const Metrics metrics;
    const QFontMetricsF& fm = metrics.label;

    ChartLayout out = layoutFrame(chart, bounds);
    QRectF area = bounds.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    if (area.width() <= 0 || area.height() <= 0)
        return out;
    layoutLegend(out, chart, fm, area);
    if (out.kind == ChartLayout::Kind::Pie) {
        layoutPie(out, chart, fm, area);
        return out;
    }

    const QRectF leftTitleColumn = reserveAxisTitles(out, chart, metrics.title, area);
    const QStringList valueTexts = layoutValueRange(out, chart, fm, area);
    if (out.horizontal) {
        layoutHorizontalChart(out, chart, fm, area, leftTitleColumn, valueTexts);
        return out;
    }
    double valueLabelWidth = 0;
    for (const QString& text : valueTexts)
        valueLabelWidth = std::max(valueLabelWidth, fm.horizontalAdvance(text));
    // Room at the right for the last category label's overhang.
    if (!placePlot(out, fm, area, valueLabelWidth, std::min(area.width() / 8, fm.averageCharWidth() * 3)))
        return out;
    placeLeftTitle(out, chart, leftTitleColumn);
    layoutValueAxis(out, chart, fm, area, valueTexts, valueLabelWidth);

    if (out.kind == ChartLayout::Kind::XY) {
        layoutXY(out, chart, fm);
        return out;
    }
    const double slot = layoutCategoryAxis(out, chart, fm);
    layoutBars(out, chart, slot);
    layoutSeriesLines(out, chart, slot);
    return out;
}

} // namespace tallyrow::engine
