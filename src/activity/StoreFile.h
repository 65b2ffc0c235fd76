#pragma once

#include "activity/ActivityStore.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace tallyrow {

/// The saved copy of an ActivityStore, as docs/store-format.md describes it: fixed-width
/// little-endian fields, a format version and a rules version, a header checksum, checksums of
/// the small sections (checked on opening) and of every block of rows (checked when a query
/// first reads the block). It is opened by mapping it read-only, never read whole.
namespace StoreFile {

/// The format of the file itself.
inline constexpr std::uint32_t kFormatVersion = 2;
/// Changes whenever what a report computes from the rows changes (how rows are checked, names
/// compared, weekdays counted, the user list grouped): a copy made by other rules is never
/// served, only rebuilt.
inline constexpr std::uint32_t kRulesVersion = 3;

/// Writes `store` to `path` (through a temporary file in the same folder, made readable by its
/// owner only, closed, then renamed over `path`; not synced, as a cache whose bytes are checked), tagged with
/// `identity` (what the copy is a copy of: the caller's bytes, compared whole on opening). `progress` gets 0
/// … 100 and may return false to stop. False, with `error` set, when the copy could not be written in full;
/// `path` is then left as it was.
bool write(const ActivityStore& store, const QString& path, const QByteArray& identity,
           const std::function<bool(int)>& progress = {}, QString* error = nullptr,
           std::uint32_t rulesVersion = kRulesVersion);

/// Why a copy was not opened.
enum class OpenFailure { None, Missing, Other, Damaged };

/// Opens the copy at `path` when it is a copy of `identity` made by this format and these rules
/// and its header and small sections are whole; nothing otherwise (`failure` says why: Missing
/// for no such file or another identity or rules, which only mean a new copy is due; Damaged for
/// a copy of this identity that fails a check).
std::shared_ptr<const ActivityStore> open(const QString& path, const QByteArray& identity,
                                          OpenFailure* failure = nullptr);

/// Whether a copy's identity is one the caller can use.
using IdentityCheck = std::function<bool(const QByteArray& identity)>;
/// The same for a copy whose identity `accepted` takes (a copy of an earlier state of a file, to
/// be brought up to date); `identity` gets the copy's own.
std::shared_ptr<const ActivityStore> open(const QString& path, const IdentityCheck& accepted,
                                          QByteArray& identity, OpenFailure* failure = nullptr);

/// Writes the second segment of `store`'s rows and every table of it (names, pairs, days, leaves)
/// to `path` as a delta of the saved copy whose identity is `baseIdentity` (whose rows make the
/// first segment), tagged with `identity`: a store brought up to date is saved at the cost of what
/// changed. Written as write() writes.
bool writeDelta(const ActivityStore& store, const QString& path, const QByteArray& baseIdentity,
                const QByteArray& identity, QString* error = nullptr);

/// Opens the delta at `path` over `base`, the saved copy of identity `baseIdentity`, when its own
/// identity is one `accepted` takes (`identity` gets it); nothing (with `failure` set) otherwise.
std::shared_ptr<const ActivityStore> openDelta(const QString& path, const ActivityStore& base,
                                               const QByteArray& baseIdentity, const IdentityCheck& accepted,
                                               QByteArray& identity, OpenFailure* failure = nullptr);

/// The identity a delta is written under: the base copy's identity, then its own.
QByteArray deltaIdentity(const QByteArray& baseIdentity, const QByteArray& identity);

} // namespace StoreFile

} // namespace tallyrow
