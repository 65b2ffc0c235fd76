#pragma once

#include "engine/ChartDefinition.h"
#include "engine/Control.h"
#include "engine/RowSet.h"

#include <QStringList>

namespace tallyrow::engine {

/// A chart control; its data comes from `dataSource` when the run lays it out.
class Chart final : public Control {
public:
    ChartDefinition
        definition; ///< chart type, axes, legend; categories and series are filled from dataSource
    RowSet dataSource;
    /// Columns of the data source whose series are drawn lighter (see ChartSeries::lighter).
    QStringList lighterSeries;
    /// Axis operations under the classic chart control's names.
    ChartAxis& Axis(int id) { return definition.axes[id == AxisId::Value ? 1 : 0]; }
};

} // namespace tallyrow::engine
