#include "output/XlsxExport.h"

#include "engine/ChartDefinition.h"
#include "engine/ChartLayout.h"
#include "engine/Report.h"
#include "reports/TableReport.h"
#include "support/AtomicFile.h"
#include "support/TemporaryFiles.h"
#include "support/Error.h"
#include "support/Printable.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QVector>

#include <xlsxwriter.h>

#include <algorithm>
#include <initializer_list>
#include <optional>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

const char* const kSheetName = "Report";
constexpr int kHeaderRows = 6; // title, up to four header lines, an empty row
constexpr lxw_col_t kMaxColumnWidth = 60;

using SheetTable = ReportTable;

bool isNumber(const TableColumn& column) {
    return column.kind == CellKind::Number || column.kind == CellKind::Decimal;
}
bool isDate(const TableColumn& column) {
    return column.kind == CellKind::Date;
}
bool isRowSum(const TableColumn& column) {
    return column.kind == CellKind::RowSum;
}

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
    case engine::ChartType::HorizontalBar2D:
        return LXW_CHART_BAR;
    default:
        // Bars stand upright in the report's charts: Excel calls those columns.
        return LXW_CHART_COLUMN;
    }
}

/// A text as the library takes it. The library copies texts into the parts as they are, the
/// chart's cache of the names included: a control character there would leave the part
/// unreadable, so it goes in as a visible escape, the one the other formats show.
QByteArray xmlText(const QString& text) {
    return ooxmlText(text).toUtf8();
}

/// The width, in characters, a cell's text needs.
int textWidth(const QVariant& value, const TableColumn& column) {
    if (isDate(column))
        return 10;
    if (isNumber(column)) {
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

struct SheetFormats {
    lxw_format* title;
    lxw_format* heading;
    lxw_format* headingNumber;
    lxw_format* number;
    lxw_format* date;
    lxw_format* totalLabel;
    lxw_format* totalNumber;
    lxw_format* change;
};

SheetFormats addFormats(lxw_workbook* book) {
    SheetFormats f{};
    f.title = workbook_add_format(book);
    format_set_bold(f.title);
    format_set_font_size(f.title, 14);
    format_set_font_color(f.title, 0x000080);
    f.heading = workbook_add_format(book);
    format_set_bold(f.heading);
    format_set_bottom(f.heading, LXW_BORDER_THIN);
    f.headingNumber = workbook_add_format(book);
    format_set_bold(f.headingNumber);
    format_set_bottom(f.headingNumber, LXW_BORDER_THIN);
    format_set_align(f.headingNumber, LXW_ALIGN_RIGHT);
    f.number = workbook_add_format(book);
    format_set_num_format(f.number, "#,##0");
    f.date = workbook_add_format(book);
    format_set_num_format(f.date, "yyyy-mm-dd");
    format_set_align(f.date, LXW_ALIGN_LEFT);
    f.totalLabel = workbook_add_format(book);
    format_set_bold(f.totalLabel);
    format_set_top(f.totalLabel, LXW_BORDER_THIN);
    f.totalNumber = workbook_add_format(book);
    format_set_bold(f.totalNumber);
    format_set_top(f.totalNumber, LXW_BORDER_THIN);
    format_set_num_format(f.totalNumber, "#,##0");
    f.change = workbook_add_format(book);
    format_set_bold(f.change);
    format_set_num_format(f.change, "+0.0%;-0.0%;0.0%");
    return f;
}

/// Whether a workbook's date serial shows `date` truly: from 1 March 1900, the first day after
/// the 29 February 1900 that spreadsheets count though it never was (readers differ on the days
/// before it, and there are no serials before 1900), to the last day they count, 31 December 9999.
bool hasDateSerial(const QDate& date) {
    return date.isValid() && date >= QDate(1900, 3, 1) && date <= QDate(9999, 12, 31);
}

QString cellName(lxw_row_t row, int col) {
    char name[LXW_MAX_CELL_NAME_LENGTH];
    lxw_rowcol_to_cell(name, row, static_cast<lxw_col_t>(col));
    return QString::fromLatin1(name);
}

// Writes one report table as one sheet: the report's header lines, the column headings once, the
// rows, the totals as formulas, fitted columns, and the report's chart beside the table.
class SheetWriter {
public:
    SheetWriter(lxw_workbook* book, const SheetTable& table)
        : m_book(book), m_table(table), m_sheet(workbook_add_worksheet(book, kSheetName)),
          m_f(addFormats(book)), m_columns(static_cast<int>(table.columns.size())), m_widths(m_columns, 0),
          m_lastDataRow(kFirstDataRow + static_cast<lxw_row_t>(table.rows.size()) - 1) {}

    void write() {
        writeHeader();
        for (int r = 0; r < m_table.rows.size(); ++r)
            writeRow(kFirstDataRow + static_cast<lxw_row_t>(r), m_table.rows.at(r));
        if (!m_table.rows.isEmpty()) {
            writeTotals();
            worksheet_autofilter(m_sheet, kHeadingRow, 0, m_lastDataRow,
                                 static_cast<lxw_col_t>(m_columns - 1));
        }
        fitColumns();
        if (!m_table.rows.isEmpty() && m_table.chartFirstColumn >= 1)
            addChart();
    }

private:
    static constexpr lxw_row_t kHeadingRow = kHeaderRows;
    static constexpr lxw_row_t kFirstDataRow = kHeadingRow + 1;

    void writeHeader() {
        worksheet_write_string(m_sheet, 0, 0, xmlText(m_table.title).constData(), m_f.title);
        for (int i = 0; i < m_table.headerLines.size() && i < kHeaderRows - 2; ++i)
            worksheet_write_string(m_sheet, static_cast<lxw_row_t>(i + 1), 0,
                                   xmlText(m_table.headerLines.at(i)).constData(), nullptr);
        for (int c = 0; c < m_columns; ++c) {
            const TableColumn& col = m_table.columns.at(c);
            worksheet_write_string(m_sheet, kHeadingRow, static_cast<lxw_col_t>(c),
                                   xmlText(col.heading).constData(),
                                   isNumber(col) || isRowSum(col) ? m_f.headingNumber : m_f.heading);
            m_widths[c] = static_cast<int>(col.heading.size());
        }
    }

    void writeRow(lxw_row_t row, const QVector<QVariant>& values) {
        double rowSum = 0;
        for (int c = 0; c < m_columns; ++c) {
            const TableColumn& col = m_table.columns.at(c);
            const lxw_col_t column = static_cast<lxw_col_t>(c);
            if (isRowSum(col))
                continue;
            const QVariant& v = values.value(c);
            if (c >= m_table.rowSumFirst && c <= m_table.rowSumLast)
                rowSum += v.toDouble();
            if (isDate(col) && !hasDateSerial(v.toDate())) {
                // A serial number would show a false date (or none): the date goes in as text
                // in the form the date format shows.
                worksheet_write_string(m_sheet, row, column,
                                       v.toDate().toString(u"yyyy-MM-dd"_s).toUtf8().constData(), m_f.date);
            } else if (isDate(col)) {
                const QDate d = v.toDate();
                lxw_datetime when{
                    d.year(), static_cast<uint8_t>(d.month()), static_cast<uint8_t>(d.day()), 0, 0, 0};
                worksheet_write_datetime(m_sheet, row, column, &when, m_f.date);
            } else if (isNumber(col)) {
                worksheet_write_number(m_sheet, row, column, v.toDouble(), m_f.number);
            } else {
                worksheet_write_string(m_sheet, row, column, xmlText(v.toString()).constData(), nullptr);
            }
            m_widths[c] = std::max(m_widths[c], textWidth(v, col));
        }
        for (int c = 0; c < m_columns; ++c) {
            if (!isRowSum(m_table.columns.at(c)))
                continue;
            if (m_table.rowSumFirst < 0) {
                worksheet_write_number(m_sheet, row, static_cast<lxw_col_t>(c), 0, m_f.number);
            } else {
                const QString formula = u"=SUM(%1:%2)"_s.arg(cellName(row, m_table.rowSumFirst),
                                                             cellName(row, m_table.rowSumLast));
                worksheet_write_formula_num(m_sheet, row, static_cast<lxw_col_t>(c),
                                            formula.toUtf8().constData(), m_f.number, rowSum);
            }
            m_widths[c] = std::max(m_widths[c],
                                   textWidth(QVariant(static_cast<qint64>(rowSum)), m_table.columns.at(c)));
        }
    }

    // The grand totals as formulas, so that the sheet stays right when a figure is edited.
    void writeTotals() {
        const lxw_row_t totalRow = m_lastDataRow + 1;
        QVector<double> sums;
        worksheet_write_string(m_sheet, totalRow, 0, "Totals", m_f.totalLabel);
        for (int c = 1; c < m_columns; ++c) {
            const TableColumn& col = m_table.columns.at(c);
            if ((!isNumber(col) && !isRowSum(col)) || !col.addsUp) {
                worksheet_write_blank(m_sheet, totalRow, static_cast<lxw_col_t>(c), m_f.totalLabel);
                continue;
            }
            double sum = 0;
            for (const QVector<QVariant>& values : m_table.rows) {
                if (isRowSum(col)) {
                    for (int s = m_table.rowSumFirst; s >= 0 && s <= m_table.rowSumLast; ++s)
                        sum += values.value(s).toDouble();
                } else {
                    sum += values.value(c).toDouble();
                }
            }
            const QString formula =
                u"=SUM(%1:%2)"_s.arg(cellName(kFirstDataRow, c), cellName(m_lastDataRow, c));
            worksheet_write_formula_num(m_sheet, totalRow, static_cast<lxw_col_t>(c),
                                        formula.toUtf8().constData(), m_f.totalNumber, sum);
            m_widths[c] = std::max(m_widths[c], textWidth(QVariant(static_cast<qint64>(sum)), col));
            sums.append(sum);
        }
        if (m_table.changeRow && sums.size() >= 2)
            writeChange(totalRow, sums[0], sums[1]);
    }

    // The change of the first total against the second, in percent, as the page shows it beside
    // the grand totals: a formula on the Totals row, "–" where there is nothing to compare with.
    void writeChange(lxw_row_t totalRow, double current, double previous) {
        const lxw_row_t row = totalRow + 1;
        worksheet_write_string(m_sheet, row, 0, "Change", m_f.totalLabel);
        const QString now = cellName(totalRow, 1);
        const QString before = cellName(totalRow, 2);
        const QString formula = u"=IF(%2>0,(%1-%2)/%2,\"\u2013\")"_s.arg(now, before);
        if (previous > 0)
            worksheet_write_formula_num(m_sheet, row, 1, formula.toUtf8().constData(), m_f.change,
                                        (current - previous) / previous);
        else
            worksheet_write_formula_str(m_sheet, row, 1, formula.toUtf8().constData(), m_f.change, "\u2013");
    }

    void fitColumns() {
        m_widths[0] = std::max(m_widths[0], 6); // "Totals"
        for (int c = 0; c < m_columns; ++c) {
            // Room for the autofilter's button beside the heading.
            const double width = std::min<double>(kMaxColumnWidth, m_widths[c] + 4);
            worksheet_set_column(m_sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), width,
                                 nullptr);
        }
        worksheet_freeze_panes(m_sheet, kFirstDataRow, 1);
        // On paper: one page wide with the column headings on every page.
        worksheet_repeat_rows(m_sheet, kHeadingRow, kHeadingRow);
        worksheet_fit_to_pages(m_sheet, 1, 0);
    }

    void addSeries(lxw_chart* chart, lxw_chart_type kind) {
        const int seriesCount = m_table.chartLastColumn - m_table.chartFirstColumn + 1;
        if (kind == LXW_CHART_PIE && seriesCount > 1) {
            // Several series in a pie: one slice per series, sized by its total.
            lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
            const lxw_row_t totalRow = m_lastDataRow + 1;
            chart_series_set_categories(series, kSheetName, kHeadingRow,
                                        static_cast<lxw_col_t>(m_table.chartFirstColumn), kHeadingRow,
                                        static_cast<lxw_col_t>(m_table.chartLastColumn));
            chart_series_set_values(series, kSheetName, totalRow,
                                    static_cast<lxw_col_t>(m_table.chartFirstColumn), totalRow,
                                    static_cast<lxw_col_t>(m_table.chartLastColumn));
            chart_series_set_name(series, "Totals");
            return;
        }
        const int shown = kind == LXW_CHART_PIE ? 1 : seriesCount;
        for (int s = 0; s < shown; ++s) {
            const lxw_col_t column = static_cast<lxw_col_t>(m_table.chartFirstColumn + s);
            lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
            chart_series_set_categories(series, kSheetName, kFirstDataRow, 0, m_lastDataRow, 0);
            chart_series_set_values(series, kSheetName, kFirstDataRow, column, m_lastDataRow, column);
            chart_series_set_name_range(series, kSheetName, kHeadingRow, column);
            if (m_table.lastSeriesLighter && shown > 1)
                paintLikeThePage(series, s == shown - 1);
        }
    }

    void addChart() {
        const lxw_chart_type kind = chartKind(m_table.chartType);
        lxw_chart* chart = workbook_add_chart(m_book, kind);
        addSeries(chart, kind);
        chart_title_off(chart);
        chart_legend_set_position(chart, LXW_CHART_LEGEND_BOTTOM);
        if (kind != LXW_CHART_PIE) {
            // The library's x axis is the horizontal one: a bar chart's value axis.
            const bool bars = kind == LXW_CHART_BAR;
            lxw_chart_axis* categoryAxis = bars ? chart->y_axis : chart->x_axis;
            lxw_chart_axis* valueAxis = bars ? chart->x_axis : chart->y_axis;
            // Periods are dates; without a format the axis would show their serial numbers.
            if (isDate(m_table.columns.value(0)))
                chart_axis_set_num_format(categoryAxis, "yyyy-mm-dd");
            if (!m_table.categoryTitle.isEmpty())
                chart_axis_set_name(categoryAxis, xmlText(m_table.categoryTitle).constData());
            if (!m_table.valueTitle.isEmpty())
                chart_axis_set_name(valueAxis, xmlText(m_table.valueTitle).constData());
            if (bars) {
                // Excel stacks a bar chart's categories from the bottom: turn them so the first
                // row is on top as on the page, with the value axis still along the bottom.
                chart_axis_set_reverse(categoryAxis);
                chart_axis_set_crossing_max(categoryAxis);
            }
        }
        lxw_chart_options placement{};
        placement.x_offset = 16;
        placement.x_scale = 1.6;
        placement.y_scale = 1.6;
        worksheet_insert_chart_opt(m_sheet, kHeadingRow, static_cast<lxw_col_t>(m_columns), chart,
                                   &placement);
    }

    lxw_workbook* m_book;
    const SheetTable& m_table;
    lxw_worksheet* m_sheet;
    SheetFormats m_f;
    int m_columns;
    QVector<int> m_widths;
    lxw_row_t m_lastDataRow;
};

void writeTable(lxw_workbook* book, const SheetTable& table) {
    SheetWriter(book, table).write();
}

void writeWorkbook(const SheetTable& table, const QString& path) {
    withStep(u"writing the workbook"_s, [&] {
        auto failed = [&](const QString& reason) {
            return Error(ErrNo::PathFileAccess, u"Cannot write %1: %2"_s.arg(path, reason))
                .setFile(path)
                .setReason(reason);
        };
        // The library writes a whole file by name; build it aside, then put it in place at once.
        QTemporaryDir scratch;
        if (!scratch.isValid())
            throw failed(scratch.errorString());
        const QString built = scratch.filePath(u"report.xlsx"_s);
        // A signal that ends the program removes the half-built workbook and its folder.
        struct Registered {
            int folder;
            int file;
            ~Registered() {
                releaseTemporary(file);
                releaseTemporary(folder);
            }
        } registered{registerTemporary(QFile::encodeName(scratch.path()).constData()),
                     registerTemporary(QFile::encodeName(built).constData())};
        {
            Workbook book(built);
            if (!book.get())
                throw failed(u"the workbook could not be started"_s);
            QByteArray title = xmlText(table.documentTitle);
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

void writeReportXlsx(const ReportTable& table, const QString& path) {
    writeWorkbook(table, path);
}

void writeReportXlsx(const engine::Report& report, const QString& path) {
    const TableReport* table = asTableReport(&report);
    if (!table)
        throw Error(ErrNo::Unexpected, QStringLiteral("This report has no table to save."),
                    QStringLiteral("writing the workbook"));
    writeWorkbook(table->table(), path);
}

} // namespace tallyrow
