#include "engine/ChartLayout.h"

#include <QPainterPath>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

using namespace tallyrow::engine;
using namespace Qt::StringLiterals;

namespace {

const int kAllTypes[] = {ChartType::Bar3D,          ChartType::Bar2D,  ChartType::Line3D,
                         ChartType::Line2D,         ChartType::Area3D, ChartType::Area2D,
                         ChartType::Step3D,         ChartType::Step2D, ChartType::Combination3D,
                         ChartType::Combination2D,  ChartType::Pie2D,  ChartType::XY2D,
                         ChartType::HorizontalBar2D};
const int kCategoryCounts[] = {0, 1, 24, 500};

double valueOf(int series, int category) {
    return ((category * 7 + series * 3) % 11 + 1) * (series + 1) * 2.5;
}

/// A chart the size of the reports' chart control, with `seriesCount` series over `n` categories
/// labelled like the Totals report's period starts.
ChartDefinition sample(int type, int n, int seriesCount) {
    ChartDefinition c;
    c.chartType = type;
    c.axes[AxisId::Value].title = u"Active minutes per hour"_s;
    for (int i = 0; i < n; ++i)
        c.categories << u"%1/%2/2004"_s.arg(i % 12 + 1).arg(i % 28 + 1);
    for (int s = 0; s < seriesCount; ++s) {
        ChartSeries series;
        series.name = s == seriesCount - 1 ? u"All Days"_s : u"Day %1"_s.arg(s + 1);
        for (int i = 0; i < n; ++i)
            series.values << valueOf(s, i);
        c.series << series;
    }
    return c;
}

const QRectF kBounds(0, 0, 8925, 6795);

bool inside(const QRectF& r, const QRectF& bounds) {
    return bounds.adjusted(-0.5, -0.5, 0.5, 0.5).contains(r);
}

/// What every chart type must satisfy whatever its data.
void expectReadable(const ChartLayout& l, const ChartDefinition& definition) {
    EXPECT_EQ(l.legend.size(), definition.series.size()) << "one legend entry per series";
    for (int i = 0; i < l.legend.size(); ++i) {
        EXPECT_EQ(l.legend.at(i).text, definition.series.at(i).name);
        EXPECT_TRUE(inside(l.legend.at(i).textRect, l.bounds));
        EXPECT_GT(l.legend.at(i).swatch.top(), l.plotRect.bottom()) << "legend at the bottom";
        for (int j = 0; j < i; ++j)
            EXPECT_NE(l.legend.at(i).color, l.legend.at(j).color) << "series colours are distinct";
    }
    // Category labels run along the bottom, or down the left beside horizontal bars.
    std::vector<ChartLayout::TextBox> labels(l.categoryLabels.begin(), l.categoryLabels.end());
    const auto start = [&](const QRectF& r) { return l.horizontal ? r.top() : r.left(); };
    const auto end = [&](const QRectF& r) { return l.horizontal ? r.bottom() : r.right(); };
    std::sort(labels.begin(), labels.end(), [&](auto& a, auto& b) { return start(a.rect) < start(b.rect); });
    for (size_t i = 0; i < labels.size(); ++i) {
        EXPECT_TRUE(inside(labels[i].rect, l.bounds)) << labels[i].text.toStdString() << " is clipped";
        if (i > 0) {
            EXPECT_LE(end(labels[i - 1].rect), start(labels[i].rect) + 0.5) << "category labels overlap";
        }
    }
    for (const auto& v : l.valueLabels)
        EXPECT_TRUE(inside(v.rect, l.bounds));
    for (int i = 1; i < l.valueLabels.size(); ++i)
        EXPECT_FALSE(l.valueLabels.at(i).rect.intersects(l.valueLabels.at(i - 1).rect))
            << "value labels overlap";
}

} // namespace

TEST(ChartLayout, EveryTypeIsReadableAndCoversItsDataFromNoneToFiveHundredCategories) {
    for (int type : kAllTypes) {
        for (int n : kCategoryCounts) {
            for (int seriesCount : {1, 3}) {
                SCOPED_TRACE(testing::Message()
                             << "type " << type << ", " << n << " categories, " << seriesCount << " series");
                const ChartDefinition definition = sample(type, n, seriesCount);
                const ChartLayout l = layoutChart(definition, kBounds);
                expectReadable(l, definition);
                EXPECT_TRUE(inside(l.plotRect, kBounds));
                EXPECT_GT(l.plotRect.width(), kBounds.width() / 2) << "the plot keeps most of the room";
                if (l.kind == ChartLayout::Kind::Pie)
                    continue;
                for (const auto& s : definition.series) {
                    for (double v : s.values) {
                        EXPECT_LE(l.axisMin, v);
                        EXPECT_GE(l.axisMax, v);
                    }
                }
                EXPECT_EQ(l.axisMin, 0) << "no negative room for data that has no negative values";
                EXPECT_GE(l.valueTicks.size(), 2);
                EXPECT_DOUBLE_EQ(l.valueTicks.first(), l.axisMin);
                EXPECT_DOUBLE_EQ(l.valueTicks.last(), l.axisMax);
                if (n > 0 && l.kind != ChartLayout::Kind::XY) {
                    EXPECT_FALSE(l.categoryLabels.isEmpty());
                }
            }
        }
    }
}

TEST(ChartLayout, BarHeightsAreProportionalToTheValues) {
    for (int type :
         {ChartType::Bar2D, ChartType::Bar3D, ChartType::Combination2D, ChartType::Combination3D}) {
        for (int n : {1, 24, 500}) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << n << " categories");
            const ChartDefinition definition = sample(type, n, 2);
            const ChartLayout l = layoutChart(definition, kBounds);
            const bool combination = l.kind == ChartLayout::Kind::Combination;
            ASSERT_EQ(l.bars.size(), n * (combination ? 1 : 2))
                << "combination: bars for the first series only";
            const double perUnit = l.plotRect.height() / (l.axisMax - l.axisMin);
            for (const auto& bar : l.bars) {
                EXPECT_NEAR(bar.rect.height(), valueOf(bar.series, bar.category) * perUnit, 0.01);
                EXPECT_NEAR(bar.rect.bottom(), l.baselineY, 0.01);
                EXPECT_GE(bar.rect.left(), l.plotRect.left());
                EXPECT_LE(bar.rect.right(), l.plotRect.right() + 0.01);
                // In 3D the box stays between the front plane and the back wall.
                EXPECT_LE((bar.offset + bar.depth).x(), l.depth.x() + 0.01);
                EXPECT_GE((bar.offset + bar.depth).y(), l.depth.y() - 0.01);
            }
            EXPECT_EQ(l.lines.size(), combination ? 1 : 0) << "combination: lines for the other series";
        }
    }
}

// Horizontal bars read top down: the first category in the top row, each bar reaching from the
// zero line as far right as its value, the names at the left and the values along the bottom.
TEST(ChartLayout, HorizontalBarsRunDownTheCategoriesAndAlongTheValues) {
    for (int n : {1, 11, 500}) {
        SCOPED_TRACE(testing::Message() << n << " categories");
        ChartDefinition definition = sample(ChartType::HorizontalBar2D, n, 2);
        definition.axes[AxisId::Category].title = u"User"_s;
        const ChartLayout l = layoutChart(definition, kBounds);
        ASSERT_TRUE(l.horizontal);
        ASSERT_EQ(l.bars.size(), 2 * n);
        const double perUnit = l.plotRect.width() / (l.axisMax - l.axisMin);
        const double row = l.plotRect.height() / n;
        for (const auto& bar : l.bars) {
            EXPECT_NEAR(bar.rect.width(), valueOf(bar.series, bar.category) * perUnit, 0.01);
            EXPECT_NEAR(bar.rect.left(), l.baselineX, 0.01);
            EXPECT_EQ(categoryAt(l, bar.rect.center()), bar.category) << "a bar lies in its own row";
            EXPECT_GE(bar.rect.top(), l.plotRect.top() + row * bar.category);
            EXPECT_LE(bar.rect.bottom(), l.plotRect.top() + row * (bar.category + 1));
        }
        EXPECT_NEAR(l.baselineX, l.plotRect.left(), 0.01);
        EXPECT_LT(l.bars.at(0).rect.top(), l.bars.at(1).rect.top()) << "the first series above the second";
        EXPECT_LT(l.categoryLabels.first().rect.right(), l.plotRect.left());
        EXPECT_EQ(l.categoryLabels.first().text, definition.categories.first());
        EXPECT_GT(l.valueLabels.first().rect.top(), l.plotRect.bottom());
        EXPECT_LT(l.valueLabels.first().rect.center().x(), l.valueLabels.last().rect.center().x());
        for (const QLineF& grid : l.valueGridLines)
            EXPECT_EQ(grid.x1(), grid.x2()) << "value grid lines stand upright";
        EXPECT_TRUE(l.categoryTitle.vertical);
        EXPECT_LT(l.categoryTitle.rect.right(), l.plotRect.left());
        EXPECT_FALSE(l.valueTitle.vertical);
        EXPECT_GT(l.valueTitle.rect.top(), l.plotRect.bottom());
    }
    // Below the plot, beside it or with no slots at all: no category.
    const ChartLayout l = layoutChart(sample(ChartType::HorizontalBar2D, 3, 1), kBounds);
    EXPECT_EQ(categoryAt(l, l.plotRect.bottomLeft() + QPointF(10, 10)), -1);
    EXPECT_EQ(categoryAt(l, l.plotRect.topLeft() - QPointF(10, -10)), -1);
    EXPECT_EQ(categoryAt(layoutChart(sample(ChartType::Pie2D, 3, 1), kBounds), l.plotRect.center()), -1);
}

TEST(ChartLayout, LinePointsAreProportionalToTheValues) {
    for (int type : {ChartType::Line2D, ChartType::Line3D, ChartType::Area2D, ChartType::Area3D,
                     ChartType::Step2D, ChartType::Step3D, ChartType::XY2D}) {
        for (int n : {1, 24, 500}) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << n << " categories");
            const ChartDefinition definition = sample(type, n, 2);
            const ChartLayout l = layoutChart(definition, kBounds);
            ASSERT_EQ(l.lines.size(), 2);
            EXPECT_TRUE(l.bars.isEmpty());
            const bool step = l.kind == ChartLayout::Kind::Step;
            const double perUnit = l.plotRect.height() / (l.axisMax - l.axisMin);
            for (const auto& line : l.lines) {
                ASSERT_EQ(line.points.size(), step ? 2 * n : n);
                for (int k = 0; k < line.points.size(); ++k) {
                    const int category = step ? k / 2 : k;
                    EXPECT_NEAR(l.baselineY - line.points.at(k).y(), valueOf(line.series, category) * perUnit,
                                0.01);
                    EXPECT_GE(line.points.at(k).x(), l.plotRect.left() - 0.01);
                    EXPECT_LE(line.points.at(k).x(), l.plotRect.right() + 0.01);
                }
                for (int k = 1; k < line.points.size(); ++k)
                    EXPECT_GE(line.points.at(k).x(), line.points.at(k - 1).x()) << "points run left to right";
            }
        }
    }
}

TEST(ChartLayout, PieSlicesAreProportionalToTheirShare) {
    for (int seriesCount : {1, 3}) {
        for (int n : {1, 24, 500}) {
            SCOPED_TRACE(testing::Message() << seriesCount << " series, " << n << " categories");
            const ChartDefinition definition = sample(ChartType::Pie2D, n, seriesCount);
            const ChartLayout l = layoutChart(definition, kBounds);
            // One series: a slice per category; several: a slice per series, sized by its total.
            QVector<double> shares;
            if (seriesCount == 1) {
                shares = definition.series.first().values;
            } else {
                for (const auto& s : definition.series)
                    shares << std::accumulate(s.values.begin(), s.values.end(), 0.0);
            }
            const double total = std::accumulate(shares.begin(), shares.end(), 0.0);
            ASSERT_EQ(l.slices.size(), shares.size());
            double sweep = 0;
            for (const auto& slice : l.slices) {
                EXPECT_NEAR(-slice.spanAngle, shares.at(slice.index) / total * 360.0, 1e-6);
                sweep += slice.spanAngle;
                EXPECT_TRUE(inside(slice.label.rect, kBounds) || slice.label.text.isEmpty());
            }
            EXPECT_NEAR(sweep, -360, 1e-6);
            for (int a = 0; a < l.slices.size(); ++a) {
                for (int b = a + 1; b < l.slices.size(); ++b) {
                    if (!l.slices.at(a).label.text.isEmpty() && !l.slices.at(b).label.text.isEmpty()) {
                        ASSERT_FALSE(l.slices.at(a).label.rect.intersects(l.slices.at(b).label.rect));
                    }
                }
            }
            EXPECT_NEAR(l.pieRect.width(), l.pieRect.height(), 0.01);
        }
    }
    EXPECT_TRUE(layoutChart(sample(ChartType::Pie2D, 0, 2), kBounds).slices.isEmpty());
}

TEST(ChartLayout, GridLinesAndTickMarksFollowEachAxisStyle) {
    for (int type : kAllTypes) {
        if (chartKind(type) == ChartLayout::Kind::Pie)
            continue;
        SCOPED_TRACE(type);
        ChartDefinition definition = sample(type, 24, 2);
        ChartLayout l = layoutChart(definition, kBounds);
        EXPECT_FALSE(l.valueGridLines.isEmpty());
        EXPECT_FALSE(l.categoryGridLines.isEmpty());
        EXPECT_FALSE(l.valueTickMarks.isEmpty());
        EXPECT_FALSE(l.categoryTickMarks.isEmpty());

        // What the reports do above 12 categories: no grid and no ticks on the category axis.
        definition.axes[AxisId::Category].majorGridStyle = 0;
        definition.axes[AxisId::Category].tickStyle = 0;
        l = layoutChart(definition, kBounds);
        EXPECT_TRUE(l.categoryGridLines.isEmpty());
        EXPECT_TRUE(l.categoryTickMarks.isEmpty());
        EXPECT_FALSE(l.valueGridLines.isEmpty()) << "the other axis keeps its own";
        EXPECT_FALSE(l.categoryLabels.isEmpty()) << "labels stay without ticks";

        definition.axes[AxisId::Value].majorGridStyle = 0;
        definition.axes[AxisId::Value].tickStyle = 0;
        l = layoutChart(definition, kBounds);
        EXPECT_TRUE(l.valueGridLines.isEmpty());
        EXPECT_TRUE(l.valueTickMarks.isEmpty());
    }
}

TEST(ChartLayout, CategoryLabelsThinOutAsCategoriesGrow) {
    const ChartLayout few = layoutChart(sample(ChartType::Bar2D, 6, 1), kBounds);
    const ChartLayout many = layoutChart(sample(ChartType::Bar2D, 500, 1), kBounds);
    EXPECT_EQ(few.categoryLabelStep, 1);
    EXPECT_GT(many.categoryLabelStep, 10);
    EXPECT_GE(many.categoryLabels.size(), 5) << "still enough labels to read the axis";
}

TEST(ChartLayout, NegativeValuesHangBelowTheZeroLine) {
    ChartDefinition definition = sample(ChartType::Bar2D, 2, 1);
    definition.series[0].values = {-40, 60};
    const ChartLayout l = layoutChart(definition, kBounds);
    EXPECT_LE(l.axisMin, -40);
    ASSERT_EQ(l.bars.size(), 2);
    EXPECT_NEAR(l.bars.at(0).rect.top(), l.baselineY, 0.01);
    EXPECT_NEAR(l.bars.at(1).rect.bottom(), l.baselineY, 0.01);
    EXPECT_NEAR(l.bars.at(1).rect.height() / l.bars.at(0).rect.height(), 1.5, 1e-6);
}

TEST(ChartLayout, AxisTitlesAndThreeDimensionalDepth) {
    ChartDefinition definition = sample(ChartType::Bar3D, 24, 1);
    definition.axes[AxisId::Category].title = u"Hour"_s;
    ChartLayout l = layoutChart(definition, kBounds);
    EXPECT_EQ(l.valueTitle.text, u"Active minutes per hour"_s);
    EXPECT_TRUE(l.valueTitle.vertical);
    EXPECT_LT(l.valueTitle.rect.right(), l.plotRect.left());
    EXPECT_EQ(l.categoryTitle.text, u"Hour"_s);
    EXPECT_GT(l.categoryTitle.rect.top(), l.plotRect.bottom());
    EXPECT_GT(l.depth.x(), 0);
    EXPECT_LT(l.depth.y(), 0) << "the back plane lies up and to the right";
    EXPECT_TRUE(inside(l.plotRect.translated(l.depth), kBounds));

    definition.chartType = ChartType::Bar2D;
    EXPECT_EQ(layoutChart(definition, kBounds).depth, QPointF());
}

TEST(ChartLayout, TinyOrEmptyRectanglesDoNotBreakTheLayout) {
    for (int type : kAllTypes) {
        SCOPED_TRACE(type);
        for (const QRectF& r : {QRectF(0, 0, 0, 0), QRectF(0, 0, 300, 200), QRectF(0, 0, 8925, 100)}) {
            const ChartLayout l = layoutChart(sample(type, 24, 2), r);
            for (const auto& bar : l.bars)
                EXPECT_FALSE(std::isnan(bar.rect.height()));
        }
    }
}

namespace {

/// What is left to see of each series' front face once the series painted after it are drawn:
/// the visible share of its area, by series.
QVector<double> visibleShares(const ChartLayout& l) {
    QVector<QPainterPath> faces(l.lines.size());
    for (int k = 0; k < l.lines.size(); ++k) {
        const auto& line = l.lines.at(k);
        QPolygonF poly;
        poly << QPointF(line.points.first().x(), l.baselineY) << line.points
             << QPointF(line.points.last().x(), l.baselineY);
        faces[k].addPolygon(poly.translated(line.offset));
        faces[k].closeSubpath();
    }
    QVector<double> shares(l.lines.size());
    auto area = [](const QPainterPath& p) {
        double sum = 0;
        for (const QPolygonF& poly : p.toFillPolygons()) {
            for (int i = 0; i < poly.size(); ++i) {
                const QPointF a = poly.at(i), b = poly.at((i + 1) % poly.size());
                sum += a.x() * b.y() - b.x() * a.y();
            }
        }
        return std::fabs(sum) / 2;
    };
    for (int p = 0; p < l.paintOrder.size(); ++p) {
        QPainterPath visible = faces.at(l.paintOrder.at(p));
        for (int q = p + 1; q < l.paintOrder.size(); ++q)
            visible = visible.subtracted(faces.at(l.paintOrder.at(q)));
        shares[l.lines.at(l.paintOrder.at(p)).series] = area(visible) / area(faces.at(l.paintOrder.at(p)));
    }
    return shares;
}

} // namespace

TEST(ChartLayout, NoAreaSeriesIsBuriedUnderAnother) {
    // The first series is the largest everywhere, the others each smaller than the one before:
    // drawn first-in-front, the first would cover them all.
    for (int type : {ChartType::Area2D, ChartType::Area3D}) {
        for (int seriesCount : {2, 3, 8}) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << seriesCount << " series");
            ChartDefinition definition = sample(type, 24, seriesCount);
            for (int s = 0; s < seriesCount; ++s)
                for (int i = 0; i < 24; ++i)
                    definition.series[s].values[i] = (30 + (i * 7) % 20) * (1.0 - 0.1 * s);
            const ChartLayout l = layoutChart(definition, kBounds);
            ASSERT_EQ(l.paintOrder.size(), seriesCount);
            for (double share : visibleShares(l))
                EXPECT_GT(share, 0.05);
            if (l.threeD) {
                const double lane = std::hypot(l.lines.at(0).offset.x() - l.lines.at(1).offset.x(),
                                               l.lines.at(0).offset.y() - l.lines.at(1).offset.y());
                EXPECT_GT(lane, 90) << "each lane is wide enough to see";
            }
        }
    }
}

TEST(ChartLayout, XYChartPlacesCategoriesAtTheirOwnPositions) {
    ChartDefinition day = sample(ChartType::XY2D, 24, 2);
    day.categories.clear();
    for (int h = 0; h < 24; ++h) {
        day.categories << u"%1:00 %2"_s.arg(h % 12 == 0 ? 12 : h % 12).arg(h < 12 ? u"AM"_s : u"PM"_s);
        day.categoryX << h;
    }
    ChartLayout l = layoutChart(day, kBounds);
    ASSERT_EQ(l.lines.size(), 2);
    const auto xOf = [&](double hour) {
        return l.plotRect.left() + (hour - l.xMin) / (l.xMax - l.xMin) * l.plotRect.width();
    };
    EXPECT_DOUBLE_EQ(l.xMin, 0) << "midnight is hour 0";
    for (int h = 0; h < 24; ++h)
        EXPECT_NEAR(l.lines.at(0).points.at(h).x(), xOf(h), 0.01);
    ASSERT_GE(l.categoryLabels.size(), 4);
    EXPECT_EQ(l.categoryLabels.first().text, u"12:00 AM"_s);
    for (int k = 0; k < l.categoryLabels.size(); ++k) {
        const int hour = day.categories.indexOf(l.categoryLabels.at(k).text);
        ASSERT_GE(hour, 0) << "labels are the hours' own texts";
        EXPECT_NEAR(l.categoryLabels.at(k).rect.center().x(), xOf(hour), 1) << "under the hour's point";
        EXPECT_DOUBLE_EQ(l.xTicks.at(k), hour);
    }

    // Periods of a month: unequal steps, as the calendar has them.
    ChartDefinition totals = sample(ChartType::XY2D, 3, 1);
    totals.categories = {u"1/1/2004"_s, u"1/2/2004"_s, u"1/3/2004"_s};
    totals.categoryX = {0, 31, 60};
    l = layoutChart(totals, kBounds);
    const QVector<QPointF>& pts = l.lines.at(0).points;
    EXPECT_NEAR((pts.at(1).x() - pts.at(0).x()) / (pts.at(2).x() - pts.at(1).x()), 31.0 / 29.0, 1e-6);
    EXPECT_EQ(l.categoryLabels.size(), 3);

    // Without positions, category texts that are not numbers stand 0, 1, 2, ... apart.
    totals.categoryX.clear();
    l = layoutChart(totals, kBounds);
    EXPECT_DOUBLE_EQ(l.xMin, 0);
    EXPECT_NEAR(l.lines.at(0).points.at(0).x(), l.plotRect.left(), 0.01);
    EXPECT_EQ(l.categoryLabels.first().text, u"1/1/2004"_s);
}

TEST(ChartLayout, ThreeDimensionalBarsLeaveEveryFrontFaceInSight) {
    // Bars are painted in layout order; no box painted later may cover an earlier front face,
    // so a low bar next to a tall one stays in sight.
    for (int seriesCount : {1, 2, 6}) {
        for (int n : {3, 24}) {
            SCOPED_TRACE(testing::Message() << seriesCount << " series, " << n << " categories");
            ChartDefinition definition = sample(ChartType::Bar3D, n, seriesCount);
            for (int s = 0; s < seriesCount; ++s)
                for (int i = 0; i < n; ++i)
                    definition.series[s].values[i] = s % 2 ? 2 : 50; // tall, low, tall, ...
            const ChartLayout l = layoutChart(definition, kBounds);
            ASSERT_EQ(l.bars.size(), n * seriesCount);
            for (int a = 0; a < l.bars.size(); ++a) {
                const auto& bar = l.bars.at(a);
                const QRectF front = bar.rect.translated(bar.offset);
                QPainterPath later;
                // Only the neighbours within reach: the rest of this category and the next one.
                for (int b = a + 1; b < l.bars.size() && b <= a + 2 * seriesCount; ++b) {
                    const auto& other = l.bars.at(b);
                    const QRectF r = other.rect.translated(other.offset);
                    QPainterPath box;
                    box.addPolygon(QPolygonF({r.bottomLeft(), r.topLeft(), r.topLeft() + other.depth,
                                              r.topRight() + other.depth, r.bottomRight() + other.depth,
                                              r.bottomRight(), r.bottomLeft()}));
                    later = later.united(box);
                }
                QPainterPath face;
                face.addRect(front.adjusted(0.5, 0.5, -0.5, -0.5));
                EXPECT_FALSE(later.intersects(face)) << "bar " << a << " is covered by a later one";
            }
        }
    }
}
