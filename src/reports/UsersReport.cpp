#include "reports/UsersReport.h"

#include "activity/ActivitySource.h"
#include "reports/DayQuery.h"
#include "reports/LayoutHelpers.h"
#include "reports/ReportCsv.h"
#include "reports/ReportTexts.h"
#include "reports/TotalsQuery.h"
#include "reports/DayNumbers.h"
#include "support/Services.h"
#include "support/StepRunner.h"

#include <QStringList>

namespace tallyrow {

using namespace layout;

namespace {

QString groupedByText(PeopleGrouping by) {
    switch (by) {
    case PeopleGrouping::Computer:
        return QStringLiteral("computer");
    case PeopleGrouping::Pair:
        return QStringLiteral("user and computer");
    case PeopleGrouping::User:
        break;
    }
    return QStringLiteral("user");
}

QString nameOrNone(const std::optional<QString>& name) {
    return name && !name->isEmpty() ? *name : QStringLiteral("(no name)");
}

} // namespace

ActivityQuery usersQuery(const UsersReportInputs& inputs) {
    DayReportInputs days;
    days.days = inputs.days;
    return ActivityQuery::peopleTotals(DayRange::of(inputs.range), inputs.userFilter, inputs.computerFilter,
                                       dayWeekdayMask(days), inputs.grouping);
}

QString personName(const PersonTotal& person, PeopleGrouping by) {
    switch (by) {
    case PeopleGrouping::Computer:
        return nameOrNone(person.computer);
    case PeopleGrouping::Pair:
        return nameOrNone(person.user) + QStringLiteral(" on ") + nameOrNone(person.computer);
    case PeopleGrouping::User:
        break;
    }
    return nameOrNone(person.user);
}

UsersReport::UsersReport(QObject* parent) : engine::Report(parent) {
    documentTitle = QStringLiteral("Active time per user");
    buildDefinition();
}

UsersReport::~UsersReport() = default;

void UsersReport::buildDefinition() {
    engine::Section& header = ReportHeader();
    header.height = 8640;
    addLabel(header, QStringLiteral("lblReportName"), QStringLiteral("Tallyrow Users Report"),
             QRectF(71, 0, 4500, 496), 15, false, kDarkBlue);
    addLabel(header, QStringLiteral("lblDateRange"), {}, QRectF(71, 567, 6023, 354), 12, false,
             kVeryDarkBlue);
    addLabel(header, QStringLiteral("lblUserComputer"), {}, QRectF(71, 992, 8858, 284), 10, false,
             kVeryDarkBlue);
    addLabel(header, QStringLiteral("lblGroup"), {}, QRectF(71, 1346, 8858, 284), 10, false, kVeryDarkBlue);
    auto* chart = header.add<engine::Chart>(QStringLiteral("chrtReport"));
    chart->rect = QRectF(71, 1843, 8929, 6803);
    // A ranking reads down the page: the largest line at the top, the names beside their bars.
    chart->definition.chartType = engine::ChartType::HorizontalBar2D;
    // Only the value grid: lines between the rows would fence the names off from their bars.
    chart->definition.axes[engine::AxisId::Category].majorGridStyle = 0;

    engine::Section& page = PageHeader();
    page.height = 645;
    addLabel(page, QStringLiteral("lblName"), QStringLiteral("Name"), QRectF(142, 283, 3969, 283), 11, true);
    addLabel(page, QStringLiteral("lblTotal"), QStringLiteral("Total"), QRectF(4253, 283, 1134, 283), 11,
             true, Qt::black, kAlignRight);
    addLabel(page, QStringLiteral("lblShare"), QStringLiteral("Share"), QRectF(5528, 283, 1134, 283), 11,
             true, Qt::black, kAlignRight);
    addLabel(page, QStringLiteral("lblDays"), QStringLiteral("Active days"), QRectF(6803, 283, 1701, 283), 11,
             true, Qt::black, kAlignRight);
    addRule(page, QStringLiteral("linHeadingTop"), QPointF(71, 240), QPointF(8575, 240));
    addRule(page, QStringLiteral("linHeadingBottom"), QPointF(71, 600), QPointF(8575, 600));

    engine::Section& detail = Detail();
    detail.height = 330;
    addField(detail, QStringLiteral("txtName"), QStringLiteral("Name"), QRectF(142, 0, 3969, 283), 11);
    addField(detail, QStringLiteral("txtTotal"), QStringLiteral("Total"), QRectF(4253, 0, 1134, 283), 11,
             false, kAlignRight);
    addField(detail, QStringLiteral("txtShare"), QStringLiteral("Share"), QRectF(5528, 0, 1134, 283), 11,
             false, kAlignRight);
    addField(detail, QStringLiteral("txtDays"), QStringLiteral("Days"), QRectF(6803, 0, 1701, 283), 11, false,
             kAlignRight);

    engine::Section& pageFooter = PageFooter();
    pageFooter.height = 420;
    addPageFooter(pageFooter, 142);

    engine::Section& footer = ReportFooter();
    footer.height = 660;
    addLabel(footer, QStringLiteral("lblGrandTotal"), QStringLiteral("Totals"), QRectF(142, 71, 3969, 283),
             11, true);
    auto* grand = addField(footer, QStringLiteral("txtGrandTotal"), QStringLiteral("Total"),
                           QRectF(4253, 71, 1134, 283), 11, false, kAlignRight);
    grand->summary = engine::SummaryType::GrandTotal;
    addRule(footer, QStringLiteral("linFooterTop"), QPointF(71, 30), QPointF(8575, 30));
    addRule(footer, QStringLiteral("linFooterBottom"), QPointF(71, 420), QPointF(8575, 420));
}

void UsersReport::onReportStart() {
    clearRunFeedback();
    StepRunner run(runFailureHandler(), QStringLiteral("preparing the Users report"));
    const QLocale locale = services().locale();
    m_people.clear();
    m_wholeSeconds = 0;
    m_hasTable = false;
    run.step([&] {
        label(QStringLiteral("lblDateRange"))->caption = dateRangeText(m_in.range, locale);
        label(QStringLiteral("lblUserComputer"))->caption =
            userComputerText(m_in.userFilter, m_in.computerFilter);
        DayReportInputs days;
        days.days = m_in.days;
        label(QStringLiteral("lblGroup"))->caption =
            QStringLiteral("Active time per %1; %2")
                .arg(groupedByText(m_in.grouping), selectedDaysText(days));
        chart(QStringLiteral("chrtReport"))->Axis(engine::AxisId::Value).title =
            timeScaleAxisTitle(m_in.timeScale);
        QString axis = groupedByText(m_in.grouping);
        axis[0] = axis[0].toUpper();
        chart(QStringLiteral("chrtReport"))->Axis(engine::AxisId::Category).title = axis;
    });
    bool connected = false;
    connected = openSource(m_source.get(), run);
    if (connected) {
        run.step([&] { m_people = m_source->answer(usersQuery(m_in)).people; });
        run.step([&] { m_source->disconnect(); });
        for (const PersonTotal& p : m_people)
            m_wholeSeconds += p.seconds;
        m_hasTable = !run.left();
    }
    run.step([&] { fillRows(); });
    run.step([&] {
        m_rows.toFirst();
        m_rows.commit();
        setDataSource(m_rows.clone());
        Detail().visible = m_in.showDetails;
        PageHeader().visible = m_in.showDetails;
        ReportFooter().visible = m_in.showDetails;
        pageSetupValue = 1;
    });
    run.step([&] { fillChart(); });
    if (run.left()) {
        if (m_source)
            ignoringFailures([&] { m_source->disconnect(); });
        m_hasTable = false;
        Cancel();
    }
}

void UsersReport::fillChart() {
    // The largest lines, the rest summed as "Others", the largest at the top of the list.
    engine::Chart* c = chart(QStringLiteral("chrtReport"));
    c->definition.legendLocation = 6;
    c->dataSource = engine::RowSet();
    c->dataSource.appendColumn(QStringLiteral("Name"), engine::RowSet::Type::Text, 250);
    c->dataSource.appendColumn(timeScaleAxisTitle(m_in.timeScale), engine::RowSet::Type::Double);
    const double divisor = timeScaleDivisor(m_in.timeScale);
    double others = 0;
    for (std::size_t i = 0; i < m_people.size(); ++i) {
        const double value = roundHalfEven(static_cast<double>(m_people[i].seconds) / divisor);
        if (i < std::size_t(kChartLines))
            c->dataSource.appendRow({personName(m_people[i], m_in.grouping), value});
        else
            others += value;
    }
    if (m_people.size() <= std::size_t(kChartLines))
        return;
    // The rest of many people would dwarf the named bars: their sum is then told in words beside
    // an empty bar, and the named bars keep a scale of their own.
    if (others > c->dataSource.value(0, 1).toDouble())
        c->dataSource.appendRow({QStringLiteral("Others (%1 lines): %2")
                                     .arg(m_people.size() - std::size_t(kChartLines))
                                     .arg(reportNumber(others, 0, services().locale())),
                                 0.0});
    else
        c->dataSource.appendRow({QStringLiteral("Others"), others});
}

void UsersReport::fillRows() {
    const QLocale locale = services().locale();
    const double divisor = timeScaleDivisor(m_in.timeScale);
    m_rows = engine::RowSet();
    m_rows.appendColumn(QStringLiteral("Name"), engine::RowSet::Type::Text, 250);
    m_rows.appendColumn(QStringLiteral("Total"), engine::RowSet::Type::Double);
    m_rows.appendColumn(QStringLiteral("Share"), engine::RowSet::Type::Text, 20);
    m_rows.appendColumn(QStringLiteral("Days"), engine::RowSet::Type::Double);
    for (const PersonTotal& p : m_people) {
        const double share = m_wholeSeconds > 0 ? 100.0 * double(p.seconds) / double(m_wholeSeconds) : 0.0;
        m_rows.appendRow({personName(p, m_in.grouping), roundHalfEven(double(p.seconds) / divisor),
                          reportNumber(share, 1, locale) + locale.percent(), double(p.activeDays)});
    }
}

engine::RowSet UsersReport::tableRows() const {
    const double divisor = timeScaleDivisor(m_in.timeScale);
    engine::RowSet rows;
    rows.appendColumn(QStringLiteral("Name"), engine::RowSet::Type::Text);
    rows.appendColumn(QStringLiteral("Total"), engine::RowSet::Type::Double);
    rows.appendColumn(QStringLiteral("Share"), engine::RowSet::Type::Double);
    rows.appendColumn(QStringLiteral("Days"), engine::RowSet::Type::Double);
    for (const PersonTotal& p : m_people) {
        const double share = m_wholeSeconds > 0 ? 100.0 * double(p.seconds) / double(m_wholeSeconds) : 0.0;
        rows.appendRow({personName(p, m_in.grouping), roundHalfEven(double(p.seconds) / divisor),
                        roundHalfEven(share * 10.0) / 10.0, double(p.activeDays)});
    }
    return rows;
}

bool UsersReport::Error(const tallyrow::Error& error) {
    notify(engineErrorNotice(error));
    return true;
}

ReportTable UsersReport::table() const {
    ReportTable table =
        tableHeadedLike(*this, {QStringLiteral("lblDateRange"), QStringLiteral("lblUserComputer"),
                                QStringLiteral("lblGroup")});
    table.report = QStringLiteral("users");
    table.range = m_in.range;
    table.user = m_in.userFilter;
    table.computer = m_in.computerFilter;
    table.columns = {{QStringLiteral("Name"), CellKind::Text},
                     {QStringLiteral("Total"), CellKind::Number},
                     {QStringLiteral("Share"), CellKind::Decimal, false},
                     {QStringLiteral("Active days"), CellKind::Number, false}};
    const engine::RowSet rows = tableRows();
    for (int r = 0; r < rows.rowCount(); ++r)
        table.rows.append({rows.value(r, 0), rows.value(r, 1), rows.value(r, 2), rows.value(r, 3)});
    table.chartFirstColumn = 1;
    table.chartLastColumn = 1;
    return table;
}

} // namespace tallyrow
