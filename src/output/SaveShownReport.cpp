#include "output/SaveShownReport.h"

#include "engine/Report.h"
#include "output/SaveReport.h"
#include "reports/ReportCsv.h"
#include "reports/repDay.h"
#include "reports/repTotals.h"
#include "support/Error.h"

namespace tallyrow {

bool SaveShownReport(const engine::Report* report, const QString& path, int format) {
    if (!report)
        return false;
    if (format == kCsvFileFormat) {
        // The table, not the pages: the figures a spreadsheet user wants, one row per line.
        try {
            if (const auto* day = qobject_cast<const repDay*>(report))
                writeReportCsv(*day, path);
            else if (const auto* totals = qobject_cast<const repTotals*>(report))
                writeReportCsv(*totals, path);
            else
                return false;
            return true;
        } catch (const Error&) {
            return false;
        }
    }
    return SaveReport(report->pages(), path, format);
}

} // namespace tallyrow
