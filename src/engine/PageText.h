#pragma once

#include "engine/PageCollection.h"

#include <QString>

namespace tallyrow::engine {

/// One sentence that says what a chart shows, for a reader who cannot see it: its kind, what
/// is measured over what, and the largest value with where it is ("2D Bar chart of Active
/// minutes per hour by Time, 1 series; the largest is 47 (All Days, 10:00).").
QString describeChart(const ChartDefinition& chart);

/// The text of one page in reading order, top to bottom and left to right within a line: the
/// title, the range, the key figures, the table row by row, each chart as describeChart says
/// it. Lines are separated by "\n", the cells of a line by ", ".
QString pageReadingText(const PageCollection& pages, int index);

} // namespace tallyrow::engine
