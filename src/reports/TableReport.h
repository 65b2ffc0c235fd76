#pragma once

#include "activity/ActivitySource.h"
#include "engine/RowSet.h"
#include "reports/ReportTable.h"
#include "support/StepRunner.h"

#include <QByteArray>
#include <QVector>

#include <functional>
#include <utility>

namespace tallyrow {

/// Something a report run tells the user without asking anything back.
struct ReportNotice {
    QString text;
    QString title;
    bool warning = false; ///< shown with a warning sign (a fault in making the report)
};

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
    QByteArray tableCsv() const;
    /// The table of the last run as rows, whether or not the report shows it.
    virtual engine::RowSet tableRows() const = 0;
    /// The table of the last run with its headings, the kind of each column and what its chart
    /// shows: what every table format writes.
    virtual ReportTable table() const = 0;

    /// Who decides what follows a failed step of a run (the window asks the user, the tool
    /// leaves); without one a failed step leaves the run's part it belongs to.
    void setFailureHandler(FailureHandler handler) { m_onFailure = std::move(handler); }
    /// Who shows the run's notices; without one they are only kept.
    void setNoticeHandler(std::function<void(const ReportNotice&)> handler) {
        m_onNotice = std::move(handler);
    }
    /// What the last run met, in order, whatever the handlers made of it.
    const QVector<Failure>& failures() const { return m_failures; }
    const QVector<ReportNotice>& notices() const { return m_notices; }

protected:
    TableReport() = default;
    TableReport(const TableReport&) = default;
    TableReport& operator=(const TableReport&) = default;

    /// Forgets what an earlier run met; a run calls it first.
    void clearRunFeedback() {
        m_failures.clear();
        m_notices.clear();
    }
    /// The handler a run's steps use: keeps each failure, then lets the caller's handler answer.
    FailureHandler runFailureHandler() {
        return [this](const Failure& f) {
            m_failures.push_back(f);
            return m_onFailure ? m_onFailure(f) : StepAnswer::Leave;
        };
    }
    /// Opens `source` unless `run` was left. The source's own failure is put on its own, as
    /// opening the data file: leaving it leaves the opening only, and the run goes on without
    /// data. True when the source is open.
    bool openSource(ActivitySource* source, const StepRunner& run) {
        bool open = false;
        StepRunner(runFailureHandler(), QStringLiteral("opening the data file"), {}, false).step([&] {
            if (!run.left())
                open = source && source->connect();
        });
        return open;
    }
    void notify(const ReportNotice& notice) {
        m_notices.push_back(notice);
        if (m_onNotice)
            m_onNotice(notice);
    }

private:
    FailureHandler m_onFailure;
    std::function<void(const ReportNotice&)> m_onNotice;
    QVector<Failure> m_failures;
    QVector<ReportNotice> m_notices;
};

/// The table interface of `report` when it has one, else null.
template <typename R> const TableReport* asTableReport(const R* report) {
    return dynamic_cast<const TableReport*>(report);
}

} // namespace tallyrow
