#include "datafile/Recordset.h"

#include "support/Error.h"

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {
// The numbers and texts of the data layer the program was written against, so messages and
// error numbers read as users know them.
constexpr long kNoCurrentRecord = 3021;
constexpr long kItemNotFound = 3265;

Error noCurrentRecord() {
    return Error(kNoCurrentRecord, u"Either BOF or EOF is True, or the current record has been deleted. "
                                   "Requested operation requires a current record."_s);
}

Error itemNotFound() {
    return Error(kItemNotFound,
                 u"Item cannot be found in the collection corresponding to the requested name or ordinal."_s);
}
} // namespace

Recordset::Recordset(QStringList fieldNames, QVector<QVector<QVariant>> rows)
    : m_fieldNames(std::move(fieldNames)), m_rows(std::move(rows)) {}

void Recordset::toFirst() {
    if (m_rows.isEmpty()) {
        throw noCurrentRecord();
    }
    m_row = 0;
}

void Recordset::next() {
    if (atEnd()) {
        throw noCurrentRecord();
    }
    ++m_row;
}

void Recordset::Close() {
    m_rows.clear();
    m_row = 0;
}

QVariant Recordset::field(const QString& name) const {
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        if (m_fieldNames[i].compare(name, Qt::CaseInsensitive) == 0) {
            return field(i);
        }
    }
    throw itemNotFound();
}

QVariant Recordset::field(int index) const {
    if (index < 0 || index >= m_fieldNames.size()) {
        throw itemNotFound();
    }
    if (atEnd()) {
        throw noCurrentRecord();
    }
    return m_rows[m_row].value(index);
}

} // namespace tallyrow
