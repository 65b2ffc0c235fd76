#include "engine/RowSet.h"

#include <cmath>
#include <limits>

namespace tallyrow::engine {

namespace {

/// Rounds to the nearest whole number with halves going to the even neighbour, as the data
/// layer does when a fraction is stored in an integer column; out-of-range values clamp.
QVariant toInt32(const QVariant& v) {
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok || std::isnan(d))
        return QVariant(0);
    const double r = std::nearbyint(d);
    if (r >= static_cast<double>(std::numeric_limits<qint32>::max()))
        return QVariant(std::numeric_limits<qint32>::max());
    if (r <= static_cast<double>(std::numeric_limits<qint32>::min()))
        return QVariant(std::numeric_limits<qint32>::min());
    return QVariant(static_cast<qint32>(r));
}

QVariant convert(const QVariant& v, const RowSet::Column& column) {
    if (!v.isValid() || v.isNull())
        return {};
    switch (column.type) {
    case RowSet::Type::Text: {
        QString s = v.toString();
        if (column.maxLength > 0 && s.size() > column.maxLength)
            s.truncate(column.maxLength);
        return QVariant(s);
    }
    case RowSet::Type::Int32:
        return toInt32(v);
    case RowSet::Type::Double: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        return QVariant(ok ? d : 0.0);
    }
    }
    return {};
}

} // namespace

void RowSet::appendColumn(const QString& name, Type type, int maxLength) {
    m_columns.append(Column{name, type, type == Type::Text ? qMax(0, maxLength) : 0});
    // Rows added before the column get a null in it, so every row stays as wide as the table.
    for (auto& row : m_rows)
        row.resize(m_columns.size());
}

int RowSet::columnIndex(const QString& name) const {
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void RowSet::appendRow(const QVector<QVariant>& values) {
    QVector<QVariant> row(m_columns.size());
    for (int c = 0; c < m_columns.size() && c < values.size(); ++c)
        row[c] = convert(values.at(c), m_columns.at(c));
    m_rows.append(std::move(row));
    m_current = m_rows.size() - 1;
}

QVariant RowSet::value(int row, int column) const {
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_columns.size())
        return {};
    return m_rows.at(row).at(column);
}

QVariant RowSet::field(const QString& name) const {
    return value(m_current, columnIndex(name));
}

RowSet RowSet::clone() const {
    RowSet copy(*this); // rows are shared until one side writes
    copy.m_current = 0;
    return copy;
}

} // namespace tallyrow::engine
