#pragma once

#include "reports/TotalsQuery.h"
#include "reports/PreviewCheck.h"
#include "reports/ReportDescriptor.h"

namespace tallyrow {

/// The Totals report's entry in the report catalogue.
const ReportDescriptor& totalsReportDescriptor();

/// Checks the Totals report's inputs: the range must not end before it starts; the periods must
/// fit the calendar and a report.
PreviewRequest<TotalsReportInputs> totalsPreviewRequest(const TotalsReportInputs& inputs);

} // namespace tallyrow
