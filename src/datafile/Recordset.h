#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace tallyrow {

/// The rows of one query, read in full when the query runs. Fields are found by name without
/// regard to case; NULL stays an invalid (null) QVariant.
class Recordset {
public:
    Recordset(QStringList fieldNames, QVector<QVector<QVariant>> rows);

    bool atEnd() const { return m_row >= m_rows.size(); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    /// Moves to the first row; fails (Error) when there is none, as the data layer does.
    void toFirst();
    void next();
    void Close();

    int fieldCount() const { return m_fieldNames.size(); }
    const QStringList& fieldNames() const { return m_fieldNames; }
    int rowCount() const { return m_rows.size(); }
    /// The current row's value of field `name`; fails (Error) for an unknown field or at EOF.
    QVariant field(const QString& name) const;
    QVariant field(int index) const;

private:
    QStringList m_fieldNames;
    QVector<QVector<QVariant>> m_rows;
    qsizetype m_row = 0;
};

} // namespace tallyrow
