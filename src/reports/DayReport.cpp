#include "reports/DayReport.h"

#include "activity/ActivitySource.h"
#include "datafile/DataPath.h"
#include "engine/ChartLayout.h"
#include "engine/ValueText.h"
#include "reports/DayHighlights.h"
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

namespace {

// Column geometry of the table, left to right: Time, Monday … Sunday, Avg, Total.
struct TableColumn {
    double left;
    double width;
};
constexpr TableColumn kTimeColumn{142, 992};
constexpr TableColumn kDayColumns[7] = {{1276, 708}, {2055, 709}, {2835, 708}, {3614, 709},
                                        {4394, 708}, {5173, 709}, {5953, 708}};
constexpr TableColumn kAverageColumn{6874, 709};
constexpr TableColumn kTotalColumn{7795, 992};

// The key-figures band: under the chart on the first page.
constexpr double kKeyFiguresTop = 9500;
constexpr int kKeyFigureCount = 4;
// The shading legend: under the footer's totals, one swatch per quarter of the largest value.
constexpr int kLegendSwatches = 5;
constexpr double kLegendTop = 560;
constexpr double kShadedFooterHeight = 1000;

QString dayControl(const char* prefix, int index, const char* suffix = "") {
    return QLatin1String(prefix) + QString::number(index + 1) + QLatin1String(suffix);
}

} // namespace

DayReport::DayReport(QObject* parent) : engine::Report(parent) {
    documentTitle = QStringLiteral("Activity by day of week");
    buildDefinition();
}

DayReport::~DayReport() = default;

void DayReport::buildDefinition() {
    const QString title = QStringLiteral("Tallyrow Day Report");
    buildReportHeader(title);
    buildPageHeader(title);
    buildDetail();
    buildFooters();
}

void DayReport::buildReportHeader(const QString& title) {
    engine::Section& header = ReportHeader();
    header.height = 13440;
    addLabel(header, QStringLiteral("lblReportName"), title, QRectF(75, 0, 3405, 495), 16, false, kDarkBlue);
    addLabel(header, QStringLiteral("lblDateRange"), {}, QRectF(71, 567, 6023, 354), 12, false,
             kVeryDarkBlue);
    addLabel(header, QStringLiteral("lblUserName"), {}, QRectF(71, 992, 8858, 284), 10, false, kVeryDarkBlue);
    addLabel(header, QStringLiteral("lblReportTotalType"), {}, QRectF(71, 1559, 8858, 284), 10);
    addLabel(header, QStringLiteral("lblSelectedDays"), {}, QRectF(71, 1843, 8858, 283), 10);
    auto* chart = header.add<engine::Chart>(QStringLiteral("chrtReport"));
    chart->rect = QRectF(75, 2415, 8925, 6795);
    chart->definition.chartType = engine::ChartType::Line2D;
    chart->Axis(engine::AxisId::Value).title = QStringLiteral("Active minutes");
    chart->Axis(engine::AxisId::Category).title = QStringLiteral("Time");
    addRule(header, QStringLiteral("linHeader"), QPointF(71, 2330), QPointF(9000, 2330));
    buildKeyFigures(header);
}

void DayReport::buildPageHeader(const QString& title) {
    const double tableRight = kTotalColumn.left + kTotalColumn.width;
    engine::Section& page = PageHeader();
    page.height = 2760;
    addLabel(page, QStringLiteral("lblPageReportName"), title, QRectF(75, 0, 3405, 495), 16);
    addLabel(page, QStringLiteral("lblPageDateRange"), {}, QRectF(71, 567, 6023, 354), 12);
    addLabel(page, QStringLiteral("lblUserNamePage"), {}, QRectF(71, 992, 8858, 284), 10);
    addLabel(page, QStringLiteral("lblPageReportTotalType"), {}, QRectF(71, 1488, 8858, 284), 10);
    addLabel(page, QStringLiteral("lblPageSelectedDays"), {}, QRectF(71, 1772, 8858, 283), 10);
    const double headingTop = 2268;
    addLabel(page, QStringLiteral("lblTime"), QStringLiteral("Time"),
             QRectF(kTimeColumn.left, headingTop, kTimeColumn.width, 283), 11, true);
    for (int i = 0; i < 7; ++i) {
        addLabel(page, dayControl("lblDay", i), reportWeekdays()[i].heading,
                 QRectF(kDayColumns[i].left, headingTop, kDayColumns[i].width, 283), 11, true, Qt::black,
                 kAlignCenter);
    }
    addLabel(page, QStringLiteral("lblAverage"), QStringLiteral("Avg"),
             QRectF(kAverageColumn.left, headingTop, kAverageColumn.width, 283), 11, true, Qt::black,
             kAlignCenter);
    addLabel(page, QStringLiteral("lblTotal"), QStringLiteral("Total"),
             QRectF(kTotalColumn.left, headingTop, kTotalColumn.width, 283), 11, true, Qt::black,
             kAlignCenter);
    addRule(page, QStringLiteral("linHeadingTop"), QPointF(71, 2200), QPointF(tableRight, 2200));
    addRule(page, QStringLiteral("linHeadingBottom"), QPointF(71, 2600), QPointF(tableRight, 2600));
    addRule(page, QStringLiteral("linHeadingLeft"), QPointF(71, 2200), QPointF(71, 2600));
    addRule(page, QStringLiteral("linHeadingRight"), QPointF(tableRight, 2200), QPointF(tableRight, 2600));
}

void DayReport::buildDetail() {
    engine::Section& detail = Detail();
    detail.height = 405;
    addField(detail, QStringLiteral("txtTime"), QStringLiteral("Time"),
             QRectF(kTimeColumn.left, 0, kTimeColumn.width, 283), 11);
    for (int i = 0; i < 7; ++i) {
        addField(detail, dayControl("txtDay", i), weekdayNames()[i],
                 QRectF(kDayColumns[i].left, 0, kDayColumns[i].width, 283), 11, false, kAlignCenter);
    }
    addField(detail, QStringLiteral("txtAverage"), QStringLiteral("All Days"),
             QRectF(kAverageColumn.left, 0, kAverageColumn.width, 283), 11, false, kAlignCenter);
    addField(detail, QStringLiteral("txtTotal"), {}, QRectF(kTotalColumn.left, 0, kTotalColumn.width, 283),
             11, false, kAlignCenter);
    const double separators[] = {kDayColumns[0].left - 40, kAverageColumn.left - 40, kTotalColumn.left - 40};
    for (int i = 0; i < 3; ++i) {
        addRule(detail, QStringLiteral("linDetail") + QString::number(i + 1), QPointF(separators[i], 0),
                QPointF(separators[i], 405));
    }
}

void DayReport::buildFooters() {
    const double tableRight = kTotalColumn.left + kTotalColumn.width;
    engine::Section& pageFooter = PageFooter();
    pageFooter.height = 495;
    addPageFooter(pageFooter, 283);

    engine::Section& footer = ReportFooter();
    footer.height = 675;
    addLabel(footer, QStringLiteral("lblGrandTotal"), QStringLiteral("Totals"),
             QRectF(kTimeColumn.left, 71, kTimeColumn.width, 283), 11, true);
    for (int i = 0; i < 7; ++i) {
        auto* total =
            addField(footer, dayControl("txtDay", i, "Total"), weekdayNames()[i],
                     QRectF(kDayColumns[i].left, 71, kDayColumns[i].width, 283), 11, false, kAlignCenter);
        total->summary = engine::SummaryType::GrandTotal;
    }
    auto* average =
        addField(footer, QStringLiteral("txtAverageTotal"), QStringLiteral("All Days"),
                 QRectF(kAverageColumn.left, 71, kAverageColumn.width, 283), 11, false, kAlignCenter);
    average->summary = engine::SummaryType::GrandTotal;
    addField(footer, QStringLiteral("txtGrandTotal"), {},
             QRectF(kTotalColumn.left, 71, kTotalColumn.width, 283), 11, false, kAlignCenter);
    addRule(footer, QStringLiteral("linFooterTop"), QPointF(71, 20), QPointF(tableRight, 20));
    addRule(footer, QStringLiteral("linFooterBottom"), QPointF(71, 420), QPointF(tableRight, 420));
    buildShadeLegend(footer);
}

void DayReport::buildKeyFigures(engine::Section& header) {
    auto* heading = addLabel(header, QStringLiteral("lblKeyFigures"), QStringLiteral("Key figures"),
                             QRectF(71, kKeyFiguresTop, 8858, 300), 11, true, kDarkBlue);
    heading->visible = false;
    for (int i = 0; i < kKeyFigureCount; ++i) {
        auto* line =
            addLabel(header, dayControl("lblKeyFigure", i), {},
                     QRectF(71, kKeyFiguresTop + 400 + 340 * i, 8858, 284), 10, false, kVeryDarkBlue);
        line->visible = false;
    }
}

void DayReport::buildShadeLegend(engine::Section& footer) {
    auto* caption = addLabel(footer, QStringLiteral("lblShadeLegend"), QStringLiteral("Shading (minutes):"),
                             QRectF(kTimeColumn.left, kLegendTop, 2400, 283), 9);
    caption->visible = false;
    for (int i = 0; i < kLegendSwatches; ++i) {
        auto* swatch = addLabel(footer, dayControl("lblShade", i), {},
                                QRectF(kDayColumns[2].left + 560 * i, kLegendTop - 40, 540, 320), 9, false,
                                Qt::black, kAlignCenter);
        swatch->visible = false;
    }
}

void DayReport::setHeaderText(const QString& reportLabel, const QString& pageLabel, const QString& text) {
    label(reportLabel)->caption = text;
    label(pageLabel)->caption = text;
}

void DayReport::onReportStart() {
    clearRunFeedback();
    StepRunner run(runFailureHandler(), QStringLiteral("preparing the Day report"));
    bool connected = false;
    int selectedCount = 0;
    m_grid = HourGrid{};
    m_hasTable = false;

    run.step([&] {
        setHeaderText(QStringLiteral("lblDateRange"), QStringLiteral("lblPageDateRange"),
                      dateRangeText(m_in.range, services().locale()));
    });
    run.step([&] {
        m_chartRows = dayChartColumns(m_in);
        m_detailRows = m_in.showDetails ? dayDetailColumns(m_in) : engine::RowSet();
    });
    run.step([&] { selectedCount = greyUnselectedWeekdays(); });
    run.step([&] {
        setHeaderText(QStringLiteral("lblSelectedDays"), QStringLiteral("lblPageSelectedDays"),
                      selectedDaysText(m_in));
    });
    // Without a source nothing is read: which data the report reads is the shell's business.
    connected = openSource(m_source.get(), run);
    if (!run.left() && !connected) {
        run.step([&] {
            notify({QStringLiteral("Can't open a connection to the database"),
                    QStringLiteral("Can't open connection")});
        });
        return;
    }
    run.step([&] {
        setHeaderText(QStringLiteral("lblReportTotalType"), QStringLiteral("lblPageReportTotalType"),
                      dayTotalTypeSentence(m_in.figure));
    });
    run.step([&] {
        setHeaderText(QStringLiteral("lblUserName"), QStringLiteral("lblUserNamePage"),
                      userComputerText(m_in.userFilter, m_in.computerFilter));
    });
    run.step([&] { m_grid = readGrid(m_in); });
    run.step([&] {
        if (m_in.keyFigures)
            readKeyFigureGrids();
    });
    run.step([&] { m_source->disconnect(); });
    run.step([&] {
        averageAllDays(m_grid, selectedCount);
        m_hasTable = true;
    });
    bindResults(run);
    run.step([this] { showHighlights(); });

    if (run.left())
        abandonRun();
}

int DayReport::greyUnselectedWeekdays() {
    // An unselected weekday has a grey heading and no footer total; its Detail field stays bound
    // to a column the row sets lack and so shows nothing.
    int selected = 0;
    for (int i = 0; i < 7; ++i) {
        if (isWeekdaySelected(m_in, i)) {
            ++selected;
        } else {
            label(dayControl("lblDay", i))->color = kGrey;
            field(dayControl("txtDay", i, "Total"))->visible = false;
        }
    }
    return selected;
}

void DayReport::abandonRun() {
    if (m_source)
        ignoringFailures([&] { m_source->disconnect(); });
    m_chartRows = engine::RowSet();
    m_detailRows = engine::RowSet();
    m_hasTable = false;
    Cancel();
}

HourGrid DayReport::readGrid(const DayReportInputs& in) const {
    return dayGrid(m_source->answer(dayQuery(in)));
}

void DayReport::readKeyFigureGrids() {
    // Active time is the total whatever the table shows; the weekday columns of a total run
    // already hold it.
    DayReportInputs totals = m_in;
    totals.figure = DayFigure::Total;
    m_totalsGrid = dayAggregate(m_in.figure) == HourAggregate::Total ? m_grid : readGrid(totals);
    totals.range = previousDayRange(m_in.range);
    m_previousTotalsGrid = readGrid(totals);
}

void DayReport::showHighlights() {
    if (m_in.keyFigures) {
        const QStringList lines = dayKeyFigureTexts(
            dayKeyFigures(m_grid, m_totalsGrid, m_previousTotalsGrid, m_in), services().locale());
        label(QStringLiteral("lblKeyFigures"))->visible = true;
        for (int i = 0; i < kKeyFigureCount; ++i) {
            engine::Label* line = label(dayControl("lblKeyFigure", i));
            line->caption = lines.value(i);
            line->visible = true;
        }
    }
    if (!m_in.shadeTable || !m_in.showDetails)
        return;
    m_shadeMaximum = dayShadeMaximum(m_grid, m_in);
    ReportFooter().height = kShadedFooterHeight;
    label(QStringLiteral("lblShadeLegend"))->visible = true;
    const auto legend = dayShadeLegendValues(m_shadeMaximum);
    static_assert(std::tuple_size_v<decltype(legend)> == kLegendSwatches);
    for (int i = 0; i < kLegendSwatches; ++i) {
        engine::Label* swatch = label(dayControl("lblShade", i));
        const std::int32_t value = legend[i];
        swatch->caption = QString::number(value);
        swatch->backColor = dayShadeColor(value, m_shadeMaximum);
        swatch->color = readableTextColor(swatch->backColor);
        swatch->visible = true;
    }
    // Shaded cells fill their whole band, so the table reads as one block.
    auto widen = [](engine::Field* cell) {
        cell->rect = QRectF(cell->rect.left() - 35, 0, cell->rect.width() + 70, 405);
    };
    for (int i = 0; i < 7; ++i)
        widen(field(dayControl("txtDay", i)));
    widen(field(QStringLiteral("txtAverage")));
}

void DayReport::shadeCell(engine::Field& cell, double value) {
    if (cell.text.isEmpty()) {
        cell.backColor = QColor();
        return;
    }
    cell.backColor = dayShadeColor(value, m_shadeMaximum);
    cell.color = readableTextColor(cell.backColor);
}

void DayReport::bindResults(StepRunner& run) {
    run.step([this] { fillDayRowSet(m_chartRows, m_grid); });
    run.step([this] {
        if (m_in.showDetails) {
            fillDayRowSet(m_detailRows, m_grid);
            setDataSource(m_detailRows.clone());
        } else {
            setDataSource(m_chartRows.clone());
        }
    });
    run.step([this] {
        Detail().visible = m_in.showDetails;
        PageHeader().visible = m_in.showDetails;
        ReportFooter().visible = m_in.showDetails;
    });
    run.step([this] {
        engine::Chart* c = chart(QStringLiteral("chrtReport"));
        if (const auto title = dayValueAxisTitle(m_in.figure))
            c->Axis(engine::AxisId::Value).title = *title;
        c->definition.chartType = m_in.chartType;
        c->definition.legendLocation = 6;
        if (m_chartRows.rowCount() > 12) {
            c->Axis(engine::AxisId::Category).majorGridStyle = 0;
            c->Axis(engine::AxisId::Category).tickStyle = 0;
        }
        c->dataSource = m_chartRows.clone();
        if (m_in.columns == DayColumns::EachDayAndAverage &&
            engine::chartKind(m_in.chartType) == engine::ChartLayout::Kind::Pie) {
            // A pie's slices are shares of one whole: the weekdays' average is no share of the
            // weekdays, so beside them it stays out of the pie. Alone it keeps its pie of hours.
            DayReportInputs weekdaysOnly = m_in;
            weekdaysOnly.columns = DayColumns::EachDay;
            c->dataSource = dayChartColumns(weekdaysOnly);
            fillDayRowSet(c->dataSource, m_grid);
        }
        // An XY chart places each row at its hour of the day, 0 for midnight.
        c->definition.categoryX.clear();
        for (int h = 0; h < m_chartRows.rowCount(); ++h)
            c->definition.categoryX.append(h);
    });
    run.step([this] { pageSetupValue = 1; });
}

void DayReport::onDetailFormat() {
    if (!m_in.showDetails)
        return;
    StepRunner run(runFailureHandler(), QStringLiteral("laying out the Day report"));
    // Totals and shades come from the table's figures, never from the texts that show them.
    const int row = detailRow();
    const auto cellValue = [&](const QString& name) { return tableValue(row, field(name)->dataField); };
    double sum = 0;
    for (int i = 0; i < 7; ++i)
        run.step([&] { sum += cellValue(dayControl("txtDay", i)); });
    run.step([&] { field(QStringLiteral("txtTotal"))->text = QString::number(roundHalfEven(sum), 'f', 0); });
    if (m_in.shadeTable) {
        for (int i = 0; i < 7; ++i)
            run.step([&] { shadeCell(*field(dayControl("txtDay", i)), cellValue(dayControl("txtDay", i))); });
        run.step([&] {
            shadeCell(*field(QStringLiteral("txtAverage")), cellValue(QStringLiteral("txtAverage")));
        });
    }
    if (run.left())
        Cancel();
}

void DayReport::onReportFooterFormat() {
    if (!m_in.showDetails)
        return;
    StepRunner run(runFailureHandler(), QStringLiteral("adding the Day report's totals"));
    // Every figure of the weekday columns, as their totals add them.
    double sum = 0;
    for (int i = 0; i < 7; ++i) {
        run.step([&] {
            const engine::Field* total = field(dayControl("txtDay", i, "Total"));
            if (!total->visible)
                return;
            for (int r = 0; r < dataSource().rowCount(); ++r)
                sum += tableValue(r, total->dataField);
        });
    }
    run.step([&] { field(QStringLiteral("txtGrandTotal"))->text = QString::number(sum, 'f', 0); });
    if (run.left())
        Cancel();
}

double DayReport::tableValue(int row, const QString& column) const {
    const int c = dataSource().columnIndex(column);
    return c < 0 ? 0.0 : engine::numericValue(dataSource().value(row, c));
}

bool DayReport::Error(const tallyrow::Error& error) {
    notify(engineErrorNotice(error));
    return true;
}

engine::RowSet DayReport::tableRows() const {
    engine::RowSet rows = dayDetailColumns(m_in);
    if (m_hasTable)
        fillDayRowSet(rows, m_grid);
    return rows;
}

ReportTable DayReport::table() const {
    ReportTable table =
        tableHeadedLike(*this, {QStringLiteral("lblDateRange"), QStringLiteral("lblUserName"),
                                QStringLiteral("lblReportTotalType"), QStringLiteral("lblSelectedDays")});
    table.report = QStringLiteral("day");
    table.range = m_in.range;
    table.user = m_in.userFilter;
    table.computer = m_in.computerFilter;
    // "Time", the selected weekdays, "All Days", then "Total": the sum of the row's weekdays.
    const engine::RowSet rows = tableRows();
    const int allDays = rows.columnCount() - 1;
    for (int c = 0; c < rows.columnCount(); ++c)
        table.columns.append({rows.column(c).name, c > 0 ? CellKind::Number : CellKind::Text});
    table.columns.append({QStringLiteral("Total"), CellKind::RowSum});
    if (allDays > 1) {
        table.rowSumFirst = 1;
        table.rowSumLast = allDays - 1;
    }
    for (int r = 0; r < rows.rowCount(); ++r) {
        QVector<QVariant> values;
        for (int c = 0; c < rows.columnCount(); ++c)
            values << rows.value(r, c);
        table.rows.append(values);
    }
    // The chart's series are the selected weekdays, "All Days" or both: adjacent table columns.
    for (int c = 1; c < m_chartRows.columnCount(); ++c) {
        for (int t = 1; t < rows.columnCount(); ++t) {
            if (rows.column(t).name != m_chartRows.column(c).name)
                continue;
            if (table.chartFirstColumn < 0)
                table.chartFirstColumn = t;
            table.chartLastColumn = t;
        }
    }
    table.chartType = m_in.chartType;
    return table;
}

} // namespace tallyrow
