#pragma once

#include "reports/DayQuery.h"
#include "reports/PreviewCheck.h"
#include "reports/ReportDescriptor.h"

namespace tallyrow {

/// The Day report's entry in the report catalogue.
const ReportDescriptor& dayReportDescriptor();

/// Checks the Day report's inputs as the window or the tool set them: the range must not end
/// before it starts; at least one weekday must count.
PreviewRequest<DayReportInputs> dayPreviewRequest(const DayReportInputs& inputs);

} // namespace tallyrow
