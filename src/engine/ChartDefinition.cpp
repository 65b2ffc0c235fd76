#include "engine/ChartDefinition.h"

namespace tallyrow::engine {

const std::array<ChartTypeName, 12>& chartTypeNames() {
    static const std::array<ChartTypeName, 12> names = {{
        {ChartType::Bar3D, QLatin1String("3D Bar"), QLatin1String("3D Bar")},
        {ChartType::Bar2D, QLatin1String("2D Bar"), QLatin1String("2D Bar")},
        {ChartType::Line3D, QLatin1String("3D Line"), QLatin1String("3D Line")},
        {ChartType::Line2D, QLatin1String("2D Line"), QLatin1String("2D Line")},
        {ChartType::Area3D, QLatin1String("3D Area"), QLatin1String("3D Area")},
        {ChartType::Area2D, QLatin1String("2D Area"), QLatin1String("2D Area")},
        {ChartType::Step3D, QLatin1String("3D Step"), QLatin1String("3D Step")},
        {ChartType::Step2D, QLatin1String("2D Step"), QLatin1String("2D Step")},
        {ChartType::Combination3D, QLatin1String("3D Combination"), QLatin1String("3D Combination")},
        {ChartType::Combination2D, QLatin1String("2D Combination"), QLatin1String("2D Combination")},
        {ChartType::Pie2D, QLatin1String("2D Pie"), QLatin1String("2D Pie")},
        {ChartType::XY2D, QLatin1String("2D XY"), QLatin1String("2D XY")},
    }};
    return names;
}

QString chartTypeName(int code) {
    if (code == ChartType::HorizontalBar2D)
        return QStringLiteral("2D Horizontal Bar");
    for (const ChartTypeName& type : chartTypeNames()) {
        if (type.code == code)
            return type.windowName;
    }
    return {};
}

std::optional<int> chartTypeFromCommandLine(const QString& name) {
    for (const ChartTypeName& type : chartTypeNames()) {
        if (name.compare(type.commandLineName, Qt::CaseInsensitive) == 0)
            return type.code;
    }
    return std::nullopt;
}

} // namespace tallyrow::engine
