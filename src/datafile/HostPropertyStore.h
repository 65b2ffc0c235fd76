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

} // namespace tallyrow
