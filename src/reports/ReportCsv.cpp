#include "reports/ReportCsv.h"

#include "reports/TableReport.h"
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

// A cell as its column's kind writes it.
QString csvCell(const ReportTable& table, const QVector<QVariant>& row, int column) {
    const QVariant value = row.value(column);
    switch (table.columns.at(column).kind) {
    case CellKind::Text:
        return csvText(value.toString());
    case CellKind::Number:
        return value.isValid() ? QString::number(value.toLongLong()) : QString();
    case CellKind::Decimal:
        return QString::number(value.toDouble(), 'f', 1);
    case CellKind::Date:
        return value.toDate().toString(Qt::ISODate);
    case CellKind::RowSum:
        return QString::number(qint64(rowSum(table, row)));
    }
    return value.toString();
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

QByteArray reportCsv(const ReportTable& table) {
    QString out;
    QStringList header;
    for (const TableColumn& column : table.columns)
        header << column.heading;
    appendLine(out, header);
    for (const QVector<QVariant>& row : table.rows) {
        QStringList line;
        for (qsizetype c = 0; c < table.columns.size(); ++c)
            line << csvCell(table, row, int(c));
        appendLine(out, line);
    }
    return out.toUtf8();
}

QByteArray reportCsv(const TableReport& report) {
    return reportCsv(report.table());
}

QByteArray TableReport::tableCsv() const {
    return reportCsv(table());
}

void writeReportCsv(const TableReport& report, const QString& path) {
    writeFile(report.tableCsv(), path);
}

void writeReportCsv(const ReportTable& table, const QString& path) {
    writeFile(reportCsv(table), path);
}

} // namespace tallyrow
