#pragma once

#include "engine/RowSet.h"

#include <QByteArray>

namespace tallyrow {

/// A report whose figures form one table that can be written on its own, apart from the
/// report's pages. Callers that save or export a report reach the table through this interface
/// and need not know which report it is.
class TableReport {
public:
    virtual ~TableReport() = default;

    /// True once the last run has read its data (false before a run, and when no connection
    /// could be opened).
    virtual bool hasTable() const = 0;
    /// The table of the last run as comma-separated values (see ReportCsv.h); the header row
    /// only when the run did not read its data.
    virtual QByteArray tableCsv() const = 0;
    /// The table of the last run as rows, whether or not the report shows it.
    virtual engine::RowSet tableRows() const = 0;

protected:
    TableReport() = default;
    TableReport(const TableReport&) = default;
    TableReport& operator=(const TableReport&) = default;
};

/// The table interface of `report` when it has one, else null.
template <typename R> const TableReport* asTableReport(const R* report) {
    return dynamic_cast<const TableReport*>(report);
}

} // namespace tallyrow
