#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

namespace tallyrow::engine {

/// An ordered in-memory table with named, typed columns: what a report's data control and its
/// chart read. Values are stored as the column's type (text cut to its maximum length).
class RowSet {
public:
    enum class Type { Text, Int32, Double };
    struct Column {
        QString name;
        Type type = Type::Text;
        int maxLength = 0; ///< text only; 0 = unlimited
    };

    void appendColumn(const QString& name, Type type, int maxLength = 0);
    int columnCount() const { return m_columns.size(); }
    const Column& column(int index) const { return m_columns.at(index); }
    /// Index of the column named `name` (case-insensitive), -1 when absent.
    int columnIndex(const QString& name) const;

    /// Appends a row (values by column order; missing trailing values are null) and makes it current.
    void appendRow(const QVector<QVariant>& values);
    int rowCount() const { return m_rows.size(); }
    QVariant value(int row, int column) const;

    // Cursor
    void toFirst() { m_current = 0; }
    void next() { ++m_current; }
    bool atEnd() const { return m_current >= m_rows.size(); }
    int currentRow() const { return m_current; }
    /// The current row's value of column `name`; null when the column is absent or at EOF.
    QVariant field(const QString& name) const;

    /// Row filter and pending edits: the engine's row sets have neither, but the reports clear
    /// and commit them as the data layer asks.
    void clearFilter() {}
    void commit() {}

    /// An independent copy with its own cursor at the first row.
    RowSet clone() const;

private:
    QVector<Column> m_columns;
    QVector<QVector<QVariant>> m_rows;
    int m_current = 0;
};

} // namespace tallyrow::engine
