#include "reports/TotalsReport.h"

#include "activity/ActivitySource.h"
#include "datafile/DataPath.h"
#include "engine/ChartLayout.h"
#include "reports/LayoutHelpers.h"
#include "reports/ReportCsv.h"
#include "reports/ReportTexts.h"
#include "reports/DayNumbers.h"
#include "support/Error.h"
#include "support/Services.h"
#include "support/StepRunner.h"

#include <memory>

namespace tallyrow {

using namespace layout;

TotalsReport::TotalsReport(QObject* parent) : engine::Report(parent) {
    documentTitle = QStringLiteral("Total activity");
    buildDefinition();
}

TotalsReport::~TotalsReport() = default;

void TotalsReport::buildDefinition() {
    engine::Section& header = ReportHeader();
    header.height = 8640;
    addLabel(header, QStringLiteral("lblReportName"), QStringLiteral("Tallyrow Totals Report"),
             QRectF(71, 0, 3472, 496), 15, false, kDarkBlue);
    addLabel(header, QStringLiteral("lblDateRange"), {}, QRectF(71, 567, 6023, 354), 12, false,
             kVeryDarkBlue);
    addLabel(header, QStringLiteral("lblUserComputer"), {}, QRectF(71, 992, 8858, 284), 10, false,
             kVeryDarkBlue);
    addLabel(header, QStringLiteral("lblGroup"), {}, QRectF(71, 1346, 8858, 284), 10, false, kVeryDarkBlue);
    auto* chart = header.add<engine::Chart>(QStringLiteral("chrtReport"));
    chart->rect = QRectF(71, 1843, 8929, 6803);
    chart->definition.chartType = engine::ChartType::Line2D;
    chart->Axis(engine::AxisId::Category).title = QStringLiteral("Period");

    engine::Section& page = PageHeader();
    page.height = 645;
    addLabel(page, QStringLiteral("lblPeriod"), QStringLiteral("Period"), QRectF(142, 283, 1417, 283), 11,
             true);
    addLabel(page, QStringLiteral("lblTotal"), QStringLiteral("Total"), QRectF(1913, 283, 851, 283), 11, true,
             Qt::black, kAlignRight);
    addRule(page, QStringLiteral("linHeadingTop"), QPointF(71, 240), QPointF(2835, 240));
    addRule(page, QStringLiteral("linHeadingBottom"), QPointF(71, 600), QPointF(2835, 600));

    engine::Section& detail = Detail();
    detail.height = 330;
    addField(detail, QStringLiteral("txtPeriod"), QStringLiteral("Period"), QRectF(142, 0, 1417, 283), 11);
    addField(detail, QStringLiteral("txtTotal"), QStringLiteral("Total"), QRectF(1701, 0, 1063, 283), 11,
             false, kAlignRight);

    engine::Section& pageFooter = PageFooter();
    pageFooter.height = 420;
    addPageFooter(pageFooter, 142);

    engine::Section& footer = ReportFooter();
    footer.height = 660;
    addLabel(footer, QStringLiteral("lblGrandTotal"), QStringLiteral("Totals"), QRectF(142, 71, 1417, 283),
             11, true);
    auto* grand = addField(footer, QStringLiteral("txtGrandTotal"), QStringLiteral("Total"),
                           QRectF(1701, 71, 1063, 283), 11, false, kAlignRight);
    grand->summary = engine::SummaryType::GrandTotal;
    addRule(footer, QStringLiteral("linFooterTop"), QPointF(71, 30), QPointF(2835, 30));
    addRule(footer, QStringLiteral("linFooterBottom"), QPointF(71, 420), QPointF(2835, 420));
}

void TotalsReport::onReportStart() {
    clearRunFeedback();
    StepRunner run(runFailureHandler(), QStringLiteral("preparing the Totals report"));
    bool connected = false;
    int divisor = 1;
    QVector<PeriodTotal> totals;
    QVector<PeriodTotal> previous;
    m_totals.clear();
    m_previous.clear();
    m_periods.clear();
    m_hasTable = false;

    prepareRun(run, divisor);
    // No message when the data cannot be reached: the report simply has no rows.
    // Without a source nothing is read: which data the report reads is the shell's business.
    connected = openSource(m_source.get(), run);
    if (connected) {
        QVector<PeriodSpan> periods;
        run.step([&] {
            label(QStringLiteral("lblUserComputer"))->caption =
                userComputerText(m_in.userFilter, m_in.computerFilter);
        });
        run.step([&] {
            periods = totalsPeriods(m_in.range, periodCode(m_in.period), m_in.units);
            m_periods = periods;
            totals = totalsOf(periods, divisor);
        });
        if (m_in.compare) {
            run.step([&] {
                const QVector<PeriodSpan> earlier =
                    previousPeriods(periods, m_in.range, periodCode(m_in.period), m_in.units);
                previous = totalsOf(earlier, divisor);
            });
        }
        run.step([&] { m_source->disconnect(); });
        run.step([&] {
            m_totals = totals;
            m_previous = previous;
            fillRows();
            m_hasTable = true;
        });
    }
    if (m_in.compare)
        run.step([this] { addComparisonControls(); });
    if (lastPeriodRunsPast(m_periods, m_in.range))
        run.step([this] { addLastPeriodNote(); });
    bindResults(run);

    if (run.left()) {
        if (m_source)
            ignoringFailures([&] { m_source->disconnect(); });
        m_hasTable = false;
        Cancel();
    }
}

void TotalsReport::prepareRun(StepRunner& run, int& divisor) {
    run.step([&] {
        label(QStringLiteral("lblDateRange"))->caption = dateRangeText(m_in.range, services().locale());
    });
    run.step([&] { label(QStringLiteral("lblGroup"))->caption = groupText(m_in.units, m_in.period); });
    run.step([&] {
        if (m_in.units < 1)
            m_in.units = 1;
    });
    run.step([&] {
        divisor = timeScaleDivisor(m_in.timeScale);
        chart(QStringLiteral("chrtReport"))->Axis(engine::AxisId::Value).title =
            timeScaleAxisTitle(m_in.timeScale);
    });
    run.step([&] {
        m_rows = engine::RowSet();
        m_rows.appendColumn(QStringLiteral("Period"), engine::RowSet::Type::Text, 250);
        // Whole units, held as a double: a year of seconds for a large office passes the 32-bit
        // range (about 68 years of one person's seconds), and a clamped total would be wrong.
        m_rows.appendColumn(QStringLiteral("Total"), engine::RowSet::Type::Double);
        if (m_in.compare)
            m_rows.appendColumn(QStringLiteral("Previous"), engine::RowSet::Type::Double);
    });
}

QVector<TotalsReport::PeriodTotal> TotalsReport::totalsOf(const QVector<PeriodSpan>& periods, int divisor) {
    const std::vector<std::int64_t> seconds =
        m_source->answer(totalsQuery(periods, m_in.userFilter, m_in.computerFilter)).seconds;
    QVector<PeriodTotal> totals;
    totals.reserve(periods.size());
    for (qsizetype i = 0; i < periods.size(); ++i) {
        PeriodTotal t;
        t.start = periods[i].start;
        // Whole seconds add up exactly; dividing once keeps an exact half unit exact for rounding.
        t.total = static_cast<double>(seconds.at(std::size_t(i))) / divisor;
        t.shown = static_cast<qint64>(roundHalfEven(t.total));
        totals.append(t);
    }
    return totals;
}

void TotalsReport::fillRows() {
    const QLocale locale = services().locale();
    for (qsizetype i = 0; i < m_totals.size(); ++i) {
        const PeriodTotal& t = m_totals[i];
        // The last period may run past the end date; its row then says where it really ends.
        const bool spanned = i == m_totals.size() - 1 && lastPeriodRunsPast(m_periods, m_in.range);
        QVector<QVariant> row{i < m_periods.size() ? periodLabel(m_periods[i], spanned, locale)
                                                   : reportDate(t.start, locale),
                              static_cast<double>(t.shown)};
        if (m_in.compare)
            row << (i < m_previous.size() ? QVariant(static_cast<double>(m_previous[i].shown)) : QVariant());
        m_rows.appendRow(row);
    }
}

void TotalsReport::addComparisonControls() {
    // Once per report, even when a failing step is retried.
    if (label(QStringLiteral("lblPrevious")))
        return;
    // A column as wide as "Total", a little apart from it so the two headings read as two.
    constexpr double kLeft = 2977;
    constexpr double kRight = kLeft + 1063;
    addLabel(PageHeader(), QStringLiteral("lblPrevious"), QStringLiteral("Previous"),
             QRectF(kLeft, 283, 1063, 283), 11, true, Qt::black, kAlignRight);
    addField(Detail(), QStringLiteral("txtPrevious"), QStringLiteral("Previous"), QRectF(kLeft, 0, 1063, 283),
             11, false, kAlignRight);
    auto* grand = addField(ReportFooter(), QStringLiteral("txtGrandPrevious"), QStringLiteral("Previous"),
                           QRectF(kLeft, 71, 1063, 283), 11, false, kAlignRight);
    grand->summary = engine::SummaryType::GrandTotal;
    addLabel(ReportFooter(), QStringLiteral("lblChange"), {}, QRectF(kRight + 213, 71, 1417, 283), 11);
    // The rules run under the new column too.
    for (const char* name : {"linHeadingTop", "linHeadingBottom", "linFooterTop", "linFooterBottom"}) {
        if (auto* rule = dynamic_cast<engine::Line*>(control(QLatin1String(name))))
            rule->to.setX(kRight + 71);
    }
    label(QStringLiteral("lblGroup"))->caption += previousRangeText();
    showChange();
}

void TotalsReport::addLastPeriodNote() {
    // Once per report, even when a failing step is retried.
    if (label(QStringLiteral("lblLastPeriod")))
        return;
    // The last row names a span of two dates: the period column grows by its own width and
    // everything right of it moves along.
    constexpr double kWider = 1417;
    for (engine::Section* section : {&PageHeader(), &Detail(), &ReportFooter()}) {
        for (const auto& c : section->controls) {
            if (auto* rule = dynamic_cast<engine::Line*>(c.get()))
                rule->to.setX(rule->to.x() + kWider);
            else if (c->name == u"lblPeriod" || c->name == u"txtPeriod" || c->name == u"lblGrandTotal")
                c->rect.setWidth(c->rect.width() + kWider);
            else
                c->rect.translate(kWider, 0);
        }
    }
    engine::Section& footer = ReportFooter();
    addLabel(footer, QStringLiteral("lblLastPeriod"),
             lastPeriodNote(m_periods, m_in.range, m_in.units, m_in.period, services().locale()),
             QRectF(142, footer.height, 8787, 283), 10, false, kVeryDarkBlue);
    footer.height += 340;
}

QString TotalsReport::previousRangeText() const {
    const QLocale locale = services().locale();
    const QDate first = previousRangeStart(m_in.range);
    return QStringLiteral(", compared with ") + reportDate(first, locale) + QStringLiteral(" to ") +
           reportDate(m_in.range.start.addDays(-1), locale);
}

void TotalsReport::showChange() {
    // From the whole units the table shows, so a reader can check it against the two totals.
    double current = 0;
    double previous = 0;
    for (const PeriodTotal& t : m_totals)
        current += static_cast<double>(t.shown);
    for (const PeriodTotal& t : m_previous)
        previous += static_cast<double>(t.shown);
    label(QStringLiteral("lblChange"))->caption = changeText(current, previous, services().locale());
}

void TotalsReport::bindResults(StepRunner& run) {
    run.step([this] {
        m_rows.toFirst();
        m_rows.commit();
        setDataSource(m_rows.clone());
    });
    run.step([this] {
        Detail().visible = m_in.showDetails;
        PageHeader().visible = m_in.showDetails;
        ReportFooter().visible = m_in.showDetails;
    });
    run.step([this] { pageSetupValue = 1; });
    run.step([this] {
        engine::Chart* c = chart(QStringLiteral("chrtReport"));
        c->definition.chartType = m_in.chartType;
        c->definition.legendLocation = 6;
        if (m_rows.rowCount() > 12) {
            c->Axis(engine::AxisId::Category).majorGridStyle = 0;
            c->Axis(engine::AxisId::Category).tickStyle = 0;
        }
        c->dataSource = m_rows.clone();
        if (m_in.compare && engine::chartKind(m_in.chartType) == engine::ChartLayout::Kind::Pie) {
            // A pie shows one range's share per period; two ranges in one pie would read as
            // shares of a common whole. The table still lists the previous range.
            c->dataSource = engine::RowSet();
            c->dataSource.appendColumn(QStringLiteral("Period"), engine::RowSet::Type::Text, 250);
            c->dataSource.appendColumn(QStringLiteral("Total"), engine::RowSet::Type::Double);
            for (int r = 0; r < m_rows.rowCount(); ++r)
                c->dataSource.appendRow({m_rows.value(r, 0), m_rows.value(r, 1)});
        }
        c->lighterSeries.clear();
        if (m_in.compare)
            c->lighterSeries << QStringLiteral("Previous");
        // An XY chart places each period at its start date, so months and years keep their
        // true lengths on the axis.
        c->definition.categoryX.clear();
        for (const PeriodTotal& t : m_totals)
            c->definition.categoryX.append(static_cast<double>(t.start.toJulianDay()));
    });
}

bool TotalsReport::Error(const tallyrow::Error& error) {
    notify(engineErrorNotice(error));
    return true;
}

engine::RowSet TotalsReport::tableRows() const {
    engine::RowSet rows;
    rows.appendColumn(QStringLiteral("Period"), engine::RowSet::Type::Text);
    // Double: a total may pass the 32-bit range.
    rows.appendColumn(QStringLiteral("Total"), engine::RowSet::Type::Double);
    if (m_in.compare)
        rows.appendColumn(QStringLiteral("Previous"), engine::RowSet::Type::Double);
    for (qsizetype i = 0; i < m_totals.size(); ++i) {
        const PeriodTotal& t = m_totals[i];
        QVector<QVariant> row{t.start.toString(Qt::ISODate), static_cast<double>(t.shown)};
        if (m_in.compare)
            row << (i < m_previous.size() ? QVariant(static_cast<double>(m_previous[i].shown)) : QVariant());
        rows.appendRow(row);
    }
    return rows;
}

ReportTable TotalsReport::table() const {
    ReportTable table =
        tableHeadedLike(*this, {QStringLiteral("lblDateRange"), QStringLiteral("lblUserComputer"),
                                QStringLiteral("lblGroup")});
    table.report = QStringLiteral("totals");
    table.range = m_in.range;
    table.user = m_in.userFilter;
    table.computer = m_in.computerFilter;
    table.columns = {{QStringLiteral("Period"), CellKind::Date}, {QStringLiteral("Total"), CellKind::Number}};
    if (m_in.compare)
        table.columns.append({QStringLiteral("Previous"), CellKind::Number});
    table.changeRow = m_in.compare;
    for (qsizetype i = 0; i < m_totals.size(); ++i) {
        const PeriodTotal& t = m_totals[i];
        QVector<QVariant> row{QVariant(t.start), QVariant(static_cast<double>(t.shown))};
        if (m_in.compare)
            row << (i < m_previous.size() ? QVariant(static_cast<double>(m_previous[i].shown)) : QVariant());
        table.rows.append(row);
    }
    table.chartFirstColumn = 1;
    // A pie keeps to the report's own range, as on the page.
    table.chartLastColumn = m_in.compare && m_in.chartType != engine::ChartType::Pie2D ? 2 : 1;
    table.lastSeriesLighter = table.chartLastColumn == 2;
    table.chartType = m_in.chartType;
    return table;
}

} // namespace tallyrow
