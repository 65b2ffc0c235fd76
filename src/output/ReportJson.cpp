#include "output/ReportJson.h"

#include "reports/ReportTable.h"
#include "support/AtomicFile.h"
#include "support/Error.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

bool isFigure(CellKind kind) {
    return kind == CellKind::Number || kind == CellKind::Decimal || kind == CellKind::RowSum;
}

// A cell as its column's kind holds it; a figure's number, 0 for one that has none.
QJsonValue cellOf(const ReportTable& table, const QVector<QVariant>& row, int column, double& figure) {
    const QVariant value = row.value(column);
    figure = 0;
    switch (table.columns.at(column).kind) {
    case CellKind::Text:
        return value.toString();
    case CellKind::Date:
        return value.toDate().toString(Qt::ISODate);
    case CellKind::Number:
        if (!value.isValid())
            return QJsonValue::Null;
        figure = double(value.toLongLong());
        return value.toLongLong();
    case CellKind::Decimal:
        // As the CSV writes it: one decimal.
        figure = std::round(value.toDouble() * 10) / 10;
        return figure;
    case CellKind::RowSum:
        figure = double(qint64(rowSum(table, row)));
        return figure;
    }
    return value.toString();
}

QJsonValue nameOrNull(const QString& name) {
    return name.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(name);
}

} // namespace

QByteArray reportJson(const ReportTable& table) {
    QJsonArray columns;
    for (const TableColumn& column : table.columns)
        columns.append(column.heading);
    QVector<double> sums(table.columns.size(), 0.0);
    QJsonArray rows;
    for (const QVector<QVariant>& row : table.rows) {
        QJsonArray cells;
        for (qsizetype c = 0; c < table.columns.size(); ++c) {
            double figure = 0;
            cells.append(cellOf(table, row, int(c), figure));
            sums[c] += figure;
        }
        rows.append(cells);
    }
    QJsonObject totals;
    for (qsizetype c = 0; c < table.columns.size(); ++c) {
        if (isFigure(table.columns[c].kind) && table.columns[c].addsUp)
            totals.insert(table.columns[c].heading, sums[c]);
    }
    const QJsonObject json{
        {u"report"_s, table.report},
        {u"range"_s, QJsonObject{{u"from"_s, table.range.start.toString(Qt::ISODate)},
                                 {u"to"_s, table.range.end.toString(Qt::ISODate)}}},
        {u"whom"_s,
         QJsonObject{{u"user"_s, nameOrNull(table.user)}, {u"computer"_s, nameOrNull(table.computer)}}},
        {u"columns"_s, columns},
        {u"rows"_s, rows},
        {u"totals"_s, totals},
    };
    return QJsonDocument(json).toJson(QJsonDocument::Indented);
}

void writeReportJson(const ReportTable& table, const QString& path) {
    withStep(u"writing the JSON file"_s, [&] {
        const FileWriteResult written = writeFileAtomically(path, reportJson(table));
        if (!written)
            throw Error(ErrNo::PathFileAccess, u"Cannot write %1: %2"_s.arg(path, written.reason))
                .setFile(path)
                .setReason(written.reason);
    });
}

} // namespace tallyrow
