#include "output/XlsxExport.h"

#include "engine/ChartDefinition.h"
#include "engine/ChartLayout.h"
#include "engine/Report.h"
#include "reports/ReportCsv.h"
#include "reports/TableReport.h"
#include "reports/repDay.h"
#include "reports/repTotals.h"
#include "support/AtomicFile.h"
#include "support/Error.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QVector>

#include <xlsxwriter.h>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

const char* const kSheetName = "Report";
constexpr int kHeaderRows = 6; // title, up to four header lines, an empty row
constexpr lxw_col_t kMaxColumnWidth = 60;

/// What the sheet is made of, independent of the report it comes from.
struct SheetColumn {
    QString heading;
    bool isNumber = false;
    bool isDate = false;
    bool isRowSum = false; ///< a SUM over the row's weekday columns
};

struct SheetTable {
    QString documentTitle;
    QString title;
    QStringList headerLines;
    QVector<SheetColumn> columns;
    QVector<QVector<QVariant>> rows; ///< one value per column; row sums are left empty
    int rowSumFirst = -1;            ///< first and last column a row sum adds up
    int rowSumLast = -1;
    int chartFirstColumn = -1; ///< the chart's series, a run of adjacent columns (-1: no chart)
    int chartLastColumn = -1;
    int chartType = engine::ChartType::Line2D;
    bool lastSeriesLighter = false; ///< the last series is a comparison, drawn as on the page
    QString categoryTitle;
    QString valueTitle;
};

/// A series in the colour the report's chart gives it: the first series' blue, or for a
/// comparison the light tint of it.
void paintLikeThePage(lxw_chart_series* series, bool lighter) {
    engine::ChartDefinition compared;
    compared.series.resize(2);
    compared.series[1].lighter = true;
    lxw_chart_line line{};
    line.color = engine::seriesColor(compared, lighter ? 1 : 0).rgb() & 0xFFFFFFu;
    lxw_chart_fill fill{};
    fill.color = line.color;
    chart_series_set_line(series, &line);
    chart_series_set_fill(series, &fill);
}

/// The report's header texts as its first page shows them. The report's lookups are not const;
/// reading a caption changes nothing.
QString captionOf(const engine::Report& report, const QString& name) {
    const engine::Label* l = const_cast<engine::Report&>(report).label(name);
    return l ? l->caption : QString();
}

engine::ChartAxis axisOf(const engine::Report& report, int id) {
    engine::Chart* c = const_cast<engine::Report&>(report).chart(u"chrtReport"_s);
    return c ? c->Axis(id) : engine::ChartAxis{};
}

lxw_chart_type chartKind(int chartType) {
    switch (chartType) {
    case engine::ChartType::Line3D:
    case engine::ChartType::Line2D:
    case engine::ChartType::Step3D:
    case engine::ChartType::Step2D:
        return LXW_CHART_LINE;
    case engine::ChartType::Area3D:
    case engine::ChartType::Area2D:
        return LXW_CHART_AREA;
    case engine::ChartType::Pie2D:
        return LXW_CHART_PIE;
    case engine::ChartType::XY2D:
        return LXW_CHART_SCATTER_STRAIGHT_WITH_MARKERS;
    default:
        // Bars stand upright in the report's charts: Excel calls those columns.
        return LXW_CHART_COLUMN;
    }
}

/// The width, in characters, a cell's text needs.
int textWidth(const QVariant& value, const SheetColumn& column) {
    if (column.isDate)
        return 10;
    if (column.isNumber) {
        const qint64 n = qAbs(value.toLongLong());
        const QString digits = QString::number(n);
        return static_cast<int>(digits.size() + (digits.size() - 1) / 3 + (value.toLongLong() < 0 ? 1 : 0));
    }
    return static_cast<int>(value.toString().size());
}

class Workbook {
public:
    explicit Workbook(const QString& path) : m_path(path.toLocal8Bit()) {
        lxw_workbook_options options{};
        m_tmp = QDir::tempPath().toLocal8Bit();
        options.tmpdir = m_tmp.data();
        m_book = workbook_new_opt(m_path.constData(), &options);
    }
    ~Workbook() {
        if (m_book)
            workbook_close(m_book); // only after a failure; nothing to report then
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    lxw_workbook* get() const { return m_book; }

    /// Writes the file; the library's reason on failure.
    std::optional<QString> close() {
        const lxw_error result = workbook_close(m_book);
        m_book = nullptr;
        if (result == LXW_NO_ERROR)
            return std::nullopt;
        return QString::fromUtf8(lxw_strerror(result));
    }

private:
    QByteArray m_path;
    QByteArray m_tmp;
    lxw_workbook* m_book = nullptr;
};

void writeTable(lxw_workbook* book, const SheetTable& table) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, kSheetName);

    lxw_format* titleFormat = workbook_add_format(book);
    format_set_bold(titleFormat);
    format_set_font_size(titleFormat, 14);
    format_set_font_color(titleFormat, 0x000080);
    lxw_format* headingFormat = workbook_add_format(book);
    format_set_bold(headingFormat);
    format_set_bottom(headingFormat, LXW_BORDER_THIN);
    lxw_format* headingNumberFormat = workbook_add_format(book);
    format_set_bold(headingNumberFormat);
    format_set_bottom(headingNumberFormat, LXW_BORDER_THIN);
    format_set_align(headingNumberFormat, LXW_ALIGN_RIGHT);
    lxw_format* numberFormat = workbook_add_format(book);
    format_set_num_format(numberFormat, "#,##0");
    lxw_format* dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "yyyy-mm-dd");
    format_set_align(dateFormat, LXW_ALIGN_LEFT);
    lxw_format* totalLabelFormat = workbook_add_format(book);
    format_set_bold(totalLabelFormat);
    format_set_top(totalLabelFormat, LXW_BORDER_THIN);
    lxw_format* totalNumberFormat = workbook_add_format(book);
    format_set_bold(totalNumberFormat);
    format_set_top(totalNumberFormat, LXW_BORDER_THIN);
    format_set_num_format(totalNumberFormat, "#,##0");

    worksheet_write_string(sheet, 0, 0, table.title.toUtf8().constData(), titleFormat);
    for (int i = 0; i < table.headerLines.size() && i < kHeaderRows - 2; ++i)
        worksheet_write_string(sheet, static_cast<lxw_row_t>(i + 1), 0,
                               table.headerLines.at(i).toUtf8().constData(), nullptr);

    const lxw_row_t headingRow = kHeaderRows;
    const lxw_row_t firstDataRow = headingRow + 1;
    const int columnCount = static_cast<int>(table.columns.size());
    QVector<int> widths(columnCount, 0);
    for (int c = 0; c < columnCount; ++c) {
        const SheetColumn& col = table.columns.at(c);
        worksheet_write_string(sheet, headingRow, static_cast<lxw_col_t>(c), col.heading.toUtf8().constData(),
                               col.isNumber || col.isRowSum ? headingNumberFormat : headingFormat);
        widths[c] = static_cast<int>(col.heading.size());
    }

    auto cellName = [](lxw_row_t row, int col) {
        char name[LXW_MAX_CELL_NAME_LENGTH];
        lxw_rowcol_to_cell(name, row, static_cast<lxw_col_t>(col));
        return QString::fromLatin1(name);
    };

    for (int r = 0; r < table.rows.size(); ++r) {
        const lxw_row_t row = firstDataRow + static_cast<lxw_row_t>(r);
        const QVector<QVariant>& values = table.rows.at(r);
        double rowSum = 0;
        for (int c = 0; c < columnCount; ++c) {
            const SheetColumn& col = table.columns.at(c);
            const lxw_col_t column = static_cast<lxw_col_t>(c);
            if (col.isRowSum)
                continue;
            const QVariant& v = values.value(c);
            if (c >= table.rowSumFirst && c <= table.rowSumLast)
                rowSum += v.toDouble();
            if (col.isDate) {
                const QDate d = v.toDate();
                lxw_datetime when{
                    d.year(), static_cast<uint8_t>(d.month()), static_cast<uint8_t>(d.day()), 0, 0, 0};
                worksheet_write_datetime(sheet, row, column, &when, dateFormat);
            } else if (col.isNumber) {
                worksheet_write_number(sheet, row, column, v.toDouble(), numberFormat);
            } else {
                worksheet_write_string(sheet, row, column, v.toString().toUtf8().constData(), nullptr);
            }
            widths[c] = std::max(widths[c], textWidth(v, col));
        }
        for (int c = 0; c < columnCount; ++c) {
            if (!table.columns.at(c).isRowSum)
                continue;
            if (table.rowSumFirst < 0) {
                worksheet_write_number(sheet, row, static_cast<lxw_col_t>(c), 0, numberFormat);
            } else {
                const QString formula =
                    u"=SUM(%1:%2)"_s.arg(cellName(row, table.rowSumFirst), cellName(row, table.rowSumLast));
                worksheet_write_formula_num(sheet, row, static_cast<lxw_col_t>(c),
                                            formula.toUtf8().constData(), numberFormat, rowSum);
            }
            widths[c] =
                std::max(widths[c], textWidth(QVariant(static_cast<qint64>(rowSum)), table.columns.at(c)));
        }
    }

    const lxw_row_t lastDataRow = firstDataRow + static_cast<lxw_row_t>(table.rows.size()) - 1;
    if (!table.rows.isEmpty()) {
        // The grand totals as formulas, so that the sheet stays right when a figure is edited.
        const lxw_row_t totalRow = lastDataRow + 1;
        worksheet_write_string(sheet, totalRow, 0, "Totals", totalLabelFormat);
        for (int c = 1; c < columnCount; ++c) {
            const SheetColumn& col = table.columns.at(c);
            if (!col.isNumber && !col.isRowSum) {
                worksheet_write_blank(sheet, totalRow, static_cast<lxw_col_t>(c), totalLabelFormat);
                continue;
            }
            double sum = 0;
            for (const QVector<QVariant>& values : table.rows) {
                if (col.isRowSum) {
                    for (int s = table.rowSumFirst; s >= 0 && s <= table.rowSumLast; ++s)
                        sum += values.value(s).toDouble();
                } else {
                    sum += values.value(c).toDouble();
                }
            }
            const QString formula = u"=SUM(%1:%2)"_s.arg(cellName(firstDataRow, c), cellName(lastDataRow, c));
            worksheet_write_formula_num(sheet, totalRow, static_cast<lxw_col_t>(c),
                                        formula.toUtf8().constData(), totalNumberFormat, sum);
            widths[c] = std::max(widths[c], textWidth(QVariant(static_cast<qint64>(sum)), col));
        }
        worksheet_autofilter(sheet, headingRow, 0, lastDataRow, static_cast<lxw_col_t>(columnCount - 1));
    }
    widths[0] = std::max(widths[0], 6); // "Totals"

    for (int c = 0; c < columnCount; ++c) {
        // Room for the autofilter's button beside the heading.
        const double width = std::min<double>(kMaxColumnWidth, widths[c] + 4);
        worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), width, nullptr);
    }
    worksheet_freeze_panes(sheet, firstDataRow, 1);
    // On paper: one page wide with the column headings on every page.
    worksheet_repeat_rows(sheet, headingRow, headingRow);
    worksheet_fit_to_pages(sheet, 1, 0);

    if (table.rows.isEmpty() || table.chartFirstColumn < 1)
        return;
    const lxw_chart_type kind = chartKind(table.chartType);
    lxw_chart* chart = workbook_add_chart(book, kind);
    const int seriesCount = table.chartLastColumn - table.chartFirstColumn + 1;
    if (kind == LXW_CHART_PIE && seriesCount > 1) {
        // Several series in a pie: one slice per series, sized by its total.
        lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
        const lxw_row_t totalRow = lastDataRow + 1;
        chart_series_set_categories(series, kSheetName, headingRow,
                                    static_cast<lxw_col_t>(table.chartFirstColumn), headingRow,
                                    static_cast<lxw_col_t>(table.chartLastColumn));
        chart_series_set_values(series, kSheetName, totalRow, static_cast<lxw_col_t>(table.chartFirstColumn),
                                totalRow, static_cast<lxw_col_t>(table.chartLastColumn));
        chart_series_set_name(series, "Totals");
    } else {
        const int shown = kind == LXW_CHART_PIE ? 1 : seriesCount;
        for (int s = 0; s < shown; ++s) {
            const lxw_col_t column = static_cast<lxw_col_t>(table.chartFirstColumn + s);
            lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
            chart_series_set_categories(series, kSheetName, firstDataRow, 0, lastDataRow, 0);
            chart_series_set_values(series, kSheetName, firstDataRow, column, lastDataRow, column);
            chart_series_set_name_range(series, kSheetName, headingRow, column);
            if (table.lastSeriesLighter && shown > 1)
                paintLikeThePage(series, s == shown - 1);
        }
    }
    chart_title_off(chart);
    chart_legend_set_position(chart, LXW_CHART_LEGEND_BOTTOM);
    if (kind != LXW_CHART_PIE) {
        // Periods are dates; without a format the axis would show their serial numbers.
        if (table.columns.value(0).isDate)
            chart_axis_set_num_format(chart->x_axis, "yyyy-mm-dd");
        if (!table.categoryTitle.isEmpty())
            chart_axis_set_name(chart->x_axis, table.categoryTitle.toUtf8().constData());
        if (!table.valueTitle.isEmpty())
            chart_axis_set_name(chart->y_axis, table.valueTitle.toUtf8().constData());
    }
    lxw_chart_options placement{};
    placement.x_offset = 16;
    placement.x_scale = 1.6;
    placement.y_scale = 1.6;
    worksheet_insert_chart_opt(sheet, headingRow, static_cast<lxw_col_t>(columnCount), chart, &placement);
}

void writeWorkbook(const SheetTable& table, const QString& path) {
    withTrail(u"writeReportXlsx&"_s, [&] {
        auto failed = [&](const QString& reason) {
            return Error(ErrNo::PathFileAccess, u"Cannot write %1: %2"_s.arg(path, reason));
        };
        // The library writes a whole file by name; build it aside, then put it in place at once.
        QTemporaryDir scratch;
        if (!scratch.isValid())
            throw failed(scratch.errorString());
        const QString built = scratch.filePath(u"report.xlsx"_s);
        {
            Workbook book(built);
            if (!book.get())
                throw failed(u"the workbook could not be started"_s);
            QByteArray title = table.documentTitle.toUtf8();
            lxw_doc_properties properties{};
            properties.title = title.data();
            workbook_set_properties(book.get(), &properties);
            writeTable(book.get(), table);
            if (const auto reason = book.close())
                throw failed(*reason);
        }
        QFile file(built);
        if (!file.open(QIODevice::ReadOnly))
            throw failed(file.errorString());
        const FileWriteResult written = writeFileAtomically(path, file.readAll());
        if (!written)
            throw failed(written.reason);
    });
}

} // namespace

void writeReportXlsx(const repDay& report, const QString& path) {
    SheetTable table;
    table.documentTitle = report.documentTitle;
    table.title = captionOf(report, u"lblReportName"_s);
    for (const QString& name :
         {u"lblDateRange"_s, u"lblUserName"_s, u"lblReportTotalType"_s, u"lblSelectedDays"_s}) {
        const QString text = captionOf(report, name);
        if (!text.isEmpty())
            table.headerLines << text;
    }

    const engine::RowSet rows = report.tableRows();
    const int allDays = rows.columnCount() - 1;
    for (int c = 0; c < rows.columnCount(); ++c)
        table.columns.append({rows.column(c).name, c > 0, false, false});
    table.columns.append({u"Total"_s, false, false, true});
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
    const engine::RowSet& chartRows = report.chartRows();
    for (int c = 1; c < chartRows.columnCount(); ++c) {
        for (int t = 1; t < rows.columnCount(); ++t) {
            if (rows.column(t).name != chartRows.column(c).name)
                continue;
            if (table.chartFirstColumn < 0)
                table.chartFirstColumn = t;
            table.chartLastColumn = t;
        }
    }
    table.chartType = report.ChartType();
    table.categoryTitle = axisOf(report, engine::AxisId::Category).title;
    table.valueTitle = axisOf(report, engine::AxisId::Value).title;
    writeWorkbook(table, path);
}

void writeReportXlsx(const repTotals& report, const QString& path) {
    SheetTable table;
    table.documentTitle = report.documentTitle;
    table.title = captionOf(report, u"lblReportName"_s);
    for (const QString& name : {u"lblDateRange"_s, u"lblUserComputer"_s, u"lblGroup"_s}) {
        const QString text = captionOf(report, name);
        if (!text.isEmpty())
            table.headerLines << text;
    }
    table.columns = {{u"Period"_s, false, true, false}, {u"Total"_s, true, false, false}};
    const bool compare = report.Compare();
    if (compare)
        table.columns.append({u"Previous"_s, true, false, false});
    const QVector<repTotals::PeriodTotal>& previous = report.previousTotals();
    for (qsizetype i = 0; i < report.periodTotals().size(); ++i) {
        const repTotals::PeriodTotal& t = report.periodTotals()[i];
        QVector<QVariant> row{QVariant(t.start), QVariant(static_cast<double>(t.shown))};
        if (compare)
            row << (i < previous.size() ? QVariant(static_cast<double>(previous[i].shown)) : QVariant());
        table.rows.append(row);
    }
    table.chartFirstColumn = 1;
    // A pie keeps to the report's own range, as on the page.
    table.chartLastColumn = compare && report.ChartType() != engine::ChartType::Pie2D ? 2 : 1;
    table.lastSeriesLighter = table.chartLastColumn == 2;
    table.chartType = report.ChartType();
    table.categoryTitle = axisOf(report, engine::AxisId::Category).title;
    table.valueTitle = axisOf(report, engine::AxisId::Value).title;
    writeWorkbook(table, path);
}

void writeReportXlsx(const engine::Report& report, const QString& path) {
    if (const auto* day = qobject_cast<const repDay*>(&report))
        return writeReportXlsx(*day, path);
    if (const auto* totals = qobject_cast<const repTotals*>(&report))
        return writeReportXlsx(*totals, path);
    throw Error(ErrNo::Unexpected, QStringLiteral("This report has no table to save."),
                QStringLiteral("writeReportXlsx&"));
}

void writeReportTable(const engine::Report& report, ReportFormat format, const QString& path) {
    if (format == ReportFormat::Xlsx)
        return writeReportXlsx(report, path);
    const TableReport* table = asTableReport(&report);
    if (!table)
        throw Error(ErrNo::Unexpected, QStringLiteral("This report has no table to save."),
                    QStringLiteral("writeReportCsv&"));
    writeReportCsv(*table, path);
}

} // namespace tallyrow
