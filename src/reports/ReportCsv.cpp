#include "reports/ReportCsv.h"

#include "reports/TableReport.h"
#include "reports/DayReport.h"
#include "reports/TotalsReport.h"
#include "reports/UsersReport.h"
#include "support/AtomicFile.h"
#include "support/Error.h"

#include <QStringList>

namespace tallyrow {

namespace {

void appendLine(QString& out, const QStringList& fields) {
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields)
        quoted << csvField(f);
    out += quoted.join(QLatin1Char(','));
    out += QLatin1String("\r\n");
}

void writeFile(const QByteArray& bytes, const QString& path) {
    withStep(QStringLiteral("writing the CSV file"), [&] {
        const FileWriteResult written = writeFileAtomically(path, bytes);
        if (!written)
            throw Error(ErrNo::PathFileAccess,
                        QStringLiteral("Cannot write %1: %2").arg(path, written.reason))
                .setFile(path)
                .setReason(written.reason);
    });
}

} // namespace

QString csvField(const QString& value) {
    const bool needsQuotes = value.contains(QLatin1Char(',')) || value.contains(QLatin1Char('"')) ||
                             value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'));
    if (!needsQuotes)
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvText(const QString& text) {
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.front()))
        return QLatin1Char('\'') + text;
    return text;
}

QByteArray reportCsv(const DayReport& report) {
    const engine::RowSet rows = report.tableRows();
    QString out;
    QStringList header;
    for (int c = 0; c < rows.columnCount(); ++c)
        header << rows.column(c).name;
    header << QStringLiteral("Total");
    appendLine(out, header);
    const int allDays = rows.columnCount() - 1;
    for (int r = 0; r < rows.rowCount(); ++r) {
        QStringList line;
        qint64 total = 0;
        for (int c = 0; c < rows.columnCount(); ++c) {
            const QVariant v = rows.value(r, c);
            line << v.toString();
            if (c > 0 && c < allDays)
                total += v.toLongLong();
        }
        line << QString::number(total);
        appendLine(out, line);
    }
    return out.toUtf8();
}

QByteArray reportCsv(const TotalsReport& report) {
    QString out;
    const bool compare = report.inputs().compare;
    QStringList header{QStringLiteral("Period"), QStringLiteral("Total")};
    if (compare)
        header << QStringLiteral("Previous");
    appendLine(out, header);
    const QVector<TotalsReport::PeriodTotal>& previous = report.previousTotals();
    for (qsizetype i = 0; i < report.periodTotals().size(); ++i) {
        const TotalsReport::PeriodTotal& t = report.periodTotals()[i];
        QStringList line{t.start.toString(Qt::ISODate), QString::number(t.shown)};
        if (compare)
            line << (i < previous.size() ? QString::number(previous[i].shown) : QString());
        appendLine(out, line);
    }
    return out.toUtf8();
}

QByteArray reportCsv(const UsersReport& report) {
    QString out;
    appendLine(out, {QStringLiteral("Name"), QStringLiteral("Total"), QStringLiteral("Share"),
                     QStringLiteral("Active days")});
    const engine::RowSet rows = report.tableRows();
    for (int r = 0; r < rows.rowCount(); ++r)
        appendLine(out, {csvText(rows.value(r, 0).toString()), QString::number(rows.value(r, 1).toLongLong()),
                         QString::number(rows.value(r, 2).toDouble(), 'f', 1),
                         QString::number(rows.value(r, 3).toLongLong())});
    return out.toUtf8();
}

void writeReportCsv(const TableReport& report, const QString& path) {
    writeFile(report.tableCsv(), path);
}

} // namespace tallyrow
