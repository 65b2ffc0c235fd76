#pragma once

#include "engine/Chart.h"
#include "engine/ChartDefinition.h"
#include "engine/Control.h"
#include "engine/Field.h"
#include "engine/Label.h"
#include "engine/Line.h"
#include "engine/PageCollection.h"
#include "engine/RowSet.h"
#include "engine/Section.h"
#include "support/Error.h"

#include <QColor>
#include <QObject>
#include <QPageSize>
#include <QRectF>
#include <QString>

#include <memory>
#include <vector>

namespace tallyrow::engine {

/// Page geometry of a run, twips. Defaults: the locale's paper (A4 or Letter), portrait.
struct PageSetup {
    QSizeF paperSize;
    QRectF printableRect;
    static PageSetup forLocaleDefault();
    /// `pageSize` in portrait, with margins that leave room for the layouts' 8,930-twip width
    /// (0.75 inch at the sides where the sheet allows, 0.5 inch at top and bottom).
    static PageSetup forPageSize(const QPageSize& pageSize);
};

/// The chart's settings with its categories and series taken from `rows`: category labels from
/// the first column, one series per further column named after it, in column order (null and
/// non-numeric values count 0).
ChartDefinition chartDefinitionWithData(const ChartDefinition& settings, const RowSet& rows);

/// A banded report definition with its run. Subclasses (the program's reports) build their
/// sections in the constructor and override the events. A run raises, in this order:
/// onReportStart once before any layout; onDetailFormat once per Detail row after the bound fields
/// hold the row's values; onReportFooterFormat once before the report footer is laid out;
/// Error whenever the engine meets a failure (including a failure thrown out of an event).
class Report : public QObject {
    Q_OBJECT
public:
    explicit Report(QObject* parent = nullptr);
    ~Report() override;

    Section& ReportHeader() { return *m_sections[0]; }
    Section& PageHeader() { return *m_sections[1]; }
    Section& Detail() { return *m_sections[2]; }
    Section& PageFooter() { return *m_sections[3]; }
    Section& ReportFooter() { return *m_sections[4]; }
    Section& section(SectionKind kind) { return *m_sections[static_cast<int>(kind)]; }

    /// Looks a control up by name in every section; nullptr when absent or of another kind.
    Label* label(const QString& name);
    Field* field(const QString& name);
    Chart* chart(const QString& name);
    Control* control(const QString& name);

    /// The data control (datReport): the row set the Detail section runs over.
    void setDataSource(RowSet rows) { m_data = std::move(rows); }
    const RowSet& dataSource() const { return m_data; }

    /// The page-setup value the reports set to 1 before each run (kept for the reports' sake).
    int pageSetupValue = 0;
    QString documentTitle;

    /// Runs the report and lays it out into pages. Returns false when the run was cancelled
    /// (the pages laid out so far are kept).
    bool Run(const PageSetup& setup = PageSetup::forLocaleDefault());
    /// Asks a run in progress to stop after the current event.
    void Cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }
    bool hasRun() const { return m_hasRun; }

    const PageCollection& pages() const { return m_pages; }
    /// The failures of the last run that the report's Error handler did not tell of itself.
    const QVector<tallyrow::Error>& untoldErrors() const { return m_untold; }

Q_SIGNALS:
    void progress(int pagesSoFar);

protected:
    virtual void onReportStart() {}
    virtual void onDetailFormat() {}
    virtual void onReportFooterFormat() {}
    /// Told of each failure of a run (its steps end in the event it happened in); true when the
    /// report tells of it itself, so that whoever shows the report need not.
    virtual bool Error(const tallyrow::Error& error);

    /// The row of the data control the Detail section is laid out for (in onDetailFormat).
    int detailRow() const { return m_detailRow; }

    /// Passes `error` to Error and keeps it when untold; a failure thrown by Error itself is
    /// swallowed.
    void raiseError(const tallyrow::Error& error);

private:
    bool fire(void (Report::*handler)(), const QString& name);

    std::unique_ptr<Section> m_sections[5];
    QVector<tallyrow::Error> m_untold;
    RowSet m_data;
    PageCollection m_pages;
    bool m_cancelled = false;
    bool m_hasRun = false;
    int m_detailRow = 0;
};

} // namespace tallyrow::engine
