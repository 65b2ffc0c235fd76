#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace tallyrow::engine {

/// Chart-type codes offered by the program (the codes of the classic chart control).
namespace ChartType {
inline constexpr int Bar3D = 0;
inline constexpr int Bar2D = 1;
inline constexpr int Line3D = 2;
inline constexpr int Line2D = 3;
inline constexpr int Area3D = 4;
inline constexpr int Area2D = 5;
inline constexpr int Step3D = 6;
inline constexpr int Step2D = 7;
inline constexpr int Combination3D = 8;
inline constexpr int Combination2D = 9;
inline constexpr int Pie2D = 14;
inline constexpr int XY2D = 16;
} // namespace ChartType

/// Axis identifiers.
namespace AxisId {
inline constexpr int Category = 0;
inline constexpr int Value = 1;
} // namespace AxisId

struct ChartAxis {
    QString title;
    int majorGridStyle = 1; ///< pen style of the major grid; 0 = no grid lines
    int tickStyle = 1;      ///< tick mark style; 0 = no tick marks
};

struct ChartSeries {
    QString name;
    QVector<double> values; ///< one per category
};

/// Everything needed to draw a chart: settings plus the data taken from its row set (category
/// labels from the first column, one series per further column, in column order).
struct ChartDefinition {
    int chartType = ChartType::Bar2D;
    ChartAxis axes[2];
    int legendLocation = 6; ///< 6 = bottom
    bool showLegend = true;
    QStringList categories;
    QVector<ChartSeries> series;
};

} // namespace tallyrow::engine
