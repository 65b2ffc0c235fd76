#pragma once

#include "reports/PreviewCheck.h"
#include "reports/ReportDescriptor.h"
#include "reports/ReportSettings.h"

#include <QLocale>
#include <QString>

#include <cstdint>
#include <memory>
#include <variant>

namespace tallyrow {

/// The units typed in the window's box: a number in `locale`, rounded to a whole one; the problem
/// to show, naming the box by its label, when the text is no number or does not fit a 32-bit
/// integer.
std::variant<std::int32_t, PreviewProblem> typedUnits(const QString& text, const QLocale& locale);

/// The report `report` makes of `settings`, as the window's Preview and the tool ask for it: the
/// report's own check first, then the report that reads `source`; the problem when refused.
PreparedReport previewRequest(const ReportDescriptor& report, const ReportSettings& settings,
                              std::shared_ptr<ActivitySource> source);

} // namespace tallyrow
