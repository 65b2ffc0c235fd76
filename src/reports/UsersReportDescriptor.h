#pragma once

#include "reports/UsersReport.h"
#include "reports/PreviewCheck.h"
#include "reports/ReportDescriptor.h"

namespace tallyrow {

/// The Users report's entry in the report catalogue.
const ReportDescriptor& usersReportDescriptor();

/// Checks the Users report's inputs as the Day report's are checked (the range must not end
/// before it starts; at least one weekday must count).
PreviewRequest<UsersReportInputs> usersPreviewRequest(const UsersReportInputs& inputs);

} // namespace tallyrow
