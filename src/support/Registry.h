#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <variant>

namespace tallyrow {

/// Hives of the settings store. Per-user = $XDG_CONFIG_HOME/Quenmarsh/Tyrow.conf; machine-wide =
/// the first $XDG_CONFIG_DIRS entry (default /etc/xdg) + /Quenmarsh/Tyrow.conf. The classes hive has
/// no file on this platform: its keys never exist (the help-viewer question goes to
/// services().compiledHelpViewerRegistered instead). A file that is damaged or cannot be read
/// reads as empty; lines the store cannot read are kept when it rewrites the file.
namespace Hkey {
inline constexpr std::uint32_t ClassesRoot = 0x80000000u;
inline constexpr std::uint32_t CurrentUser = 0x80000001u;
inline constexpr std::uint32_t LocalMachine = 0x80000002u;
} // namespace Hkey

/// Value types kept by the store.
namespace RegType {
inline constexpr int Text = 1;       // REG_SZ
inline constexpr int ExpandText = 2; // REG_EXPAND_SZ: treated as missing
inline constexpr int Bytes = 3;      // REG_BINARY
inline constexpr int Number = 4;     // REG_DWORD
} // namespace RegType

/// A value as read: nothing, text, a 32-bit number or bytes.
using RegValue = std::variant<std::monostate, QString, std::uint32_t, QByteArray>;

/// The application key, "Software\Quenmarsh\Tyrow".
QString applicationKey();

/// The key path of a setting: applicationKey() + "\\" + subKey, so it ends in a backslash when
/// `subKey` is empty.
QString settingsKeyPath(const QString& subKey);

/// The hive the program's own settings live in: always the per-user one.
inline constexpr std::uint32_t kSettingsHive = Hkey::CurrentUser;

/// Setting text escaping: writing turns char 1 into 1,2 and then char 0 into 1,3; reading undoes
/// 1,3 then 1,2, so any text survives a round trip.
QString escapeSetting(const QString& text);
QString unescapeSetting(const QString& text);

/// The setting as text (numbers as decimal digits), or `def` when missing or empty.
QString readSetting(const QString& name, const QString& def, const QString& subKey, bool escape,
                    std::uint32_t hive);
/// Writes text (type 1), creating the key; true when written.
bool writeSetting(const QString& name, const QString& text, const QString& subKey, bool escape,
                  std::uint32_t hive);
/// Per-user value, else machine-wide value, else `def`.
QString readSettingWithFallback(const QString& name, const QString& def, const QString& subKey, bool escape);

/// The value, or monostate when it cannot be read; text is cleaned of NULs when `clean` is set.
RegValue readSettingsValue(std::uint32_t hive, const QString& keyPath, const QString& name, bool clean);
/// Writes a value of `type` (1 text, 3 bytes, 4 number), replacing the file atomically; returns 0
/// on success, 7 for an unsupported type, 2 when the key is missing and `create` is off, 5 when
/// the hive's file cannot be read or written (an unreadable file is never overwritten), 6 for a
/// hive without a file. A value that does not fit the type fails with ErrNo::TypeMismatch.
long writeSettingsValue(std::uint32_t hive, const QString& keyPath, const QString& name,
                        const RegValue& value, int type, bool create);
/// Removes the key with all its values (keys below it stay); 0 when removed, 2 when there was
/// no such key, 5 when the hive's file cannot be read or written, 6 for a hive without a file.
long deleteSettingsKey(std::uint32_t hive, const QString& keyPath);
/// Whether the key exists (can be opened for reading).
bool settingsKeyExists(std::uint32_t hive, const QString& keyPath);
/// The text with every NUL removed.
QString withoutNuls(const QString& text);

/// Files behind the hives (for messages and tests).
QString hiveFilePath(std::uint32_t hive);

} // namespace tallyrow
