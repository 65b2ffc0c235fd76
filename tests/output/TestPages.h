#pragma once

#include "engine/PageCollection.h"

#include <QStringList>

namespace tallyrow::testpages {

/// A report laid out like the Day report: title block and chart on the first page, a table of
/// hour rows under weekday headings (some cells empty, some with fractions), a totals row after
/// the last hour, and "n of m" in every page footer. `rows` hour rows, `rowsPerPage` of them per
/// page (the first page holds the title block and chart, then its share of rows).
engine::PageCollection dayReport(int rows = 24, int rowsPerPage = 12);

/// The texts of page `index` in reading order (top to bottom, left to right), for comparisons.
QStringList pageTexts(const engine::PageCollection& pages, int index);

/// The hour label of row `row` ("12:00 AM", "1:00 AM", ... wrapping after 24 rows).
QString hourLabel(int row);

} // namespace tallyrow::testpages
