#include "datafile/MemoryPropertyStore.h"

#include <QStringList>

namespace tallyrow {

MemoryPropertyStore::MemoryPropertyStore(std::initializer_list<std::pair<QString, QVariant>> entries) {
    for (const auto& [key, value] : entries)
        write(key, value, QVariant());
}

qsizetype MemoryPropertyStore::indexOf(const QString& key) const {
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).first.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant MemoryPropertyStore::read(const QString& key, const QVariant& def) const {
    const qsizetype i = indexOf(key);
    return i < 0 ? def : m_entries.at(i).second;
}

void MemoryPropertyStore::write(const QString& key, const QVariant& value, const QVariant& def) {
    const qsizetype i = indexOf(key);
    if (def.isValid() && value == def) {
        if (i >= 0)
            m_entries.removeAt(i);
        return;
    }
    if (i >= 0)
        m_entries[i].second = value;
    else
        m_entries.append({key.toLower(), value});
}

bool MemoryPropertyStore::contains(const QString& key) const {
    return indexOf(key) >= 0;
}

QStringList MemoryPropertyStore::keys() const {
    QStringList result;
    for (const auto& entry : m_entries)
        result.append(entry.first);
    return result;
}

} // namespace tallyrow
