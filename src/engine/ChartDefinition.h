#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <optional>

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
/// Bars lying along the horizontal value axis, the first category at the top. Our own code, well
/// clear of the classic control's: the chart list doesn't offer it (a report that ranks its lines
/// draws it), and programs that don't know it draw its documents as 2D bars.
inline constexpr int HorizontalBar2D = 100;
} // namespace ChartType

/// A chart type as the program offers it: its code, its name in the main window's chart list
/// and the name `tallyrow-export --chart` takes (in any letter case).
struct ChartTypeName {
    int code;
    QLatin1String windowName;
    QLatin1String commandLineName;
};

/// Every chart type the program offers, in the order of the main window's list.
const std::array<ChartTypeName, 12>& chartTypeNames();

/// The name a chart of type `code` goes by in words ("2D Bar", "2D Horizontal Bar"), also for
/// the types the list doesn't offer; "" for a code no chart type has.
QString chartTypeName(int code);

/// The code of the chart type the command line calls `name` (any letter case); nothing for a
/// name no chart type has.
std::optional<int> chartTypeFromCommandLine(const QString& name);

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
    /// Drawn in a light tint of the first series' colour: figures shown for comparison, such
    /// as the same periods of an earlier range.
    bool lighter = false;
};

/// Everything needed to draw a chart: settings plus the data taken from its row set (category
/// labels from the first column, one series per further column, in column order).
struct ChartDefinition {
    int chartType = ChartType::Bar2D;
    std::array<ChartAxis, 2> axes;
    int legendLocation = 6; ///< 6 = bottom
    bool showLegend = true;
    QStringList categories;
    /// XY charts: where each category lies on the horizontal axis (an hour of the day, a day
    /// number), labelled with the category's text. Empty: numeric category texts are their own
    /// positions, other texts are placed one apart from 0.
    QVector<double> categoryX;
    QVector<ChartSeries> series;
};

} // namespace tallyrow::engine
