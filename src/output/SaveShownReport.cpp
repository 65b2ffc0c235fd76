#include "output/SaveShownReport.h"

#include "engine/Report.h"
#include "output/SaveReport.h"
#include "reports/ReportCsv.h"
#include "reports/TableReport.h"
#include "support/Error.h"

namespace tallyrow {

bool SaveShownReport(const engine::Report* report, const QString& path, ReportFormat format) {
    if (!report)
        return false;
    if (!reportFormatInfo(format).writesPages) {
        // The table, not the pages: the figures a spreadsheet user wants, one row per line.
        const TableReport* table = asTableReport(report);
        if (!table)
            return false;
        try {
            writeReportCsv(*table, path);
            return true;
        } catch (const Error&) {
            return false;
        }
    }
    return SaveReport(report->pages(), path, format);
}

} // namespace tallyrow
