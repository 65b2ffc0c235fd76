#pragma once

#include "engine/Report.h"
#include "reports/ReportDescriptor.h"
#include "reports/TableReport.h"

namespace tallyrow::test {

/// A small report that lives only in the tests: the days of its range, one line each, with the
/// day of the month. It reads no data, so it shows what the catalogue alone gives a report.
class CalendarReport final : public engine::Report, public TableReport {
public:
    explicit CalendarReport(QObject* parent = nullptr);

    void setInputs(const ReportSettings& settings) { m_settings = settings; }
    void setSource(std::shared_ptr<ActivitySource>) {}

    bool hasTable() const override { return m_hasTable; }
    engine::RowSet tableRows() const override;
    ReportTable table() const override;

    /// Its catalogue entry: --report calendar, which takes --days besides the common options.
    static ReportDescriptor descriptor();

protected:
    void onReportStart() override;

private:
    ReportSettings m_settings;
    bool m_hasTable = false;
};

} // namespace tallyrow::test
