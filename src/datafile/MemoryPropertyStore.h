#pragma once

#include "datafile/HostPropertyStore.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <initializer_list>
#include <utility>

namespace tallyrow {

/// A store held in memory, in the order keys were first written. Hosts fill one with the
/// values their controls should start from; tests inspect what a control wrote.
class MemoryPropertyStore final : public HostPropertyStore {
public:
    MemoryPropertyStore() = default;
    /// Starts with `entries` as if each had been written with an impossible default.
    MemoryPropertyStore(std::initializer_list<std::pair<QString, QVariant>> entries);

    QVariant read(const QString& key, const QVariant& def) const override;
    void write(const QString& key, const QVariant& value, const QVariant& def) override;

    bool contains(const QString& key) const;
    /// Stored keys (lower case) in the order they were first written.
    QStringList keys() const;
    void clear() { m_entries.clear(); }

private:
    qsizetype indexOf(const QString& key) const;

    QList<std::pair<QString, QVariant>> m_entries;
};

} // namespace tallyrow
