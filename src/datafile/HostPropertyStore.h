#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <initializer_list>
#include <utility>

namespace tallyrow {

/// The named values a host window keeps for the reusable controls it holds, so that a control
/// comes back with the settings the host gave it. Keys are stored in lower case and matched
/// without regard to case; a value equal to its default is not stored, and a missing key reads
/// as its default, so a store only ever holds what differs from the control's design values.
class HostPropertyStore {
public:
    virtual ~HostPropertyStore();

    /// The stored value of `key`, or `def` when none is stored.
    virtual QVariant read(const QString& key, const QVariant& def) const = 0;
    /// Stores `value` under `key`, or removes the key when `value` equals `def`.
    virtual void write(const QString& key, const QVariant& value, const QVariant& def) = 0;
};

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
