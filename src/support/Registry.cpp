#include "support/Registry.h"

#include "support/AtomicFile.h"
#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>

#include <optional>

namespace tallyrow {

namespace {

// Result codes of the store, numbered as the platform registry numbers them so that callers
// comparing with 0 (success) or logging them see familiar values.
constexpr long kSuccess = 0;
constexpr long kNotFound = 2;
constexpr long kAccessDenied = 5;
constexpr long kInvalidHandle = 6;
constexpr long kUnsupportedType = 7;

// The hive files are plain UTF-8 text:
//
//   [Software\Quenmarsh\Tyrow\]
//   DatabasePath=text:/home/ann/Tallyrow/data.yrd
//   Count=number:42
//   Blob=bytes:0a0b0c
//
// Control characters, "%" and the characters that would end a name or a key ("=", "[", "]")
// are written as %XX. Lines the store cannot read (hand edits, damage) are kept as they are
// when the file is rewritten, so a write never throws away what a person put there.
const QString kTextTag = QStringLiteral("text");
const QString kExpandTag = QStringLiteral("expand");
const QString kBytesTag = QStringLiteral("bytes");
const QString kNumberTag = QStringLiteral("number");

QString encodeField(const QString& text, QStringView special) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || c == u'%' || special.contains(c)) {
            out += u'%';
            out += QString::number(u, 16).rightJustified(2, u'0').toUpper();
        } else {
            out += c;
        }
    }
    return out;
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

std::optional<QString> decodeField(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2]))
            return std::nullopt;
        const uint code = text.mid(i + 1, 2).toUInt(nullptr, 16);
        out += QChar(char16_t(code));
        i += 2;
    }
    return out;
}

QString normalisedKey(const QString& keyPath) {
    QString key = keyPath;
    while (key.endsWith(u'\\'))
        key.chop(1);
    return key;
}

bool sameName(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

struct Line {
    QByteArray text; // as it stands in the file, byte for byte
    bool isValue = false;
    QString name;    // decoded, when isValue
    QString typeTag; // when isValue
    QString data;    // still encoded, when isValue
};

struct Section {
    QString key; // normalised, decoded; empty for the lines before the first key
    QByteArray header;
    QList<Line> lines;
};

struct HiveFile {
    enum class State { Missing, Loaded, Unreadable };
    State state = State::Missing;
    QList<Section> sections; // sections[0] holds the lines before the first key

    Section* find(const QString& keyPath) {
        const QString key = normalisedKey(keyPath);
        for (qsizetype i = 1; i < sections.size(); ++i)
            if (sameName(sections[i].key, key))
                return &sections[i];
        return nullptr;
    }
};

std::optional<Line> parseValueLine(const QByteArray& raw) {
    const QString text = QString::fromUtf8(raw);
    const qsizetype eq = text.indexOf(u'=');
    if (eq < 0)
        return std::nullopt;
    const qsizetype colon = text.indexOf(u':', eq + 1);
    if (colon < 0)
        return std::nullopt;
    const auto name = decodeField(QStringView(text).left(eq));
    if (!name)
        return std::nullopt;
    Line line;
    line.text = raw;
    line.isValue = true;
    line.name = *name;
    line.typeTag = text.mid(eq + 1, colon - eq - 1);
    line.data = text.mid(colon + 1);
    return line;
}

HiveFile loadHive(const QString& path) {
    HiveFile hive;
    hive.sections.append(Section{});
    QFile file(path);
    if (!file.exists())
        return hive;
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        hive.state = HiveFile::State::Unreadable;
        return hive;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        hive.state = HiveFile::State::Unreadable;
        return hive;
    }
    hive.state = HiveFile::State::Loaded;
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the newline that ends the last line
    for (QByteArray raw : lines) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.size() >= 2 && raw.startsWith('[') && raw.endsWith(']')) {
            if (const auto key = decodeField(QString::fromUtf8(raw.mid(1, raw.size() - 2)))) {
                hive.sections.append(Section{normalisedKey(*key), raw, {}});
                continue;
            }
        }
        if (hive.sections.size() > 1) {
            if (auto value = parseValueLine(raw)) {
                hive.sections.last().lines.append(*value);
                continue;
            }
        }
        hive.sections.last().lines.append(Line{raw});
    }
    return hive;
}

bool saveHive(const QString& path, const HiveFile& hive) {
    QByteArray content;
    for (const Section& section : hive.sections) {
        if (!section.header.isEmpty())
            content += section.header + '\n';
        for (const Line& line : section.lines)
            content += line.text + '\n';
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    return bool(writeFileAtomically(path, content));
}

RegValue valueOf(const Line& line, bool clean) {
    if (line.typeTag == kTextTag) {
        const auto text = decodeField(line.data);
        if (!text)
            return {};
        return clean ? withoutNuls(*text) : *text;
    }
    if (line.typeTag == kNumberTag) {
        bool ok = false;
        const uint number = line.data.toUInt(&ok, 10);
        if (!ok)
            return {};
        return std::uint32_t(number);
    }
    if (line.typeTag == kBytesTag) {
        const QByteArray hex = line.data.toLatin1();
        if (hex.size() % 2 != 0)
            return {};
        for (const char c : hex)
            if (!isHexDigit(QLatin1Char(c)))
                return {};
        return QByteArray::fromHex(hex);
    }
    // Expandable strings, and any type this program does not know, cannot be read.
    return {};
}

// The value written as one line of the file; an empty tag means the type cannot be stored.
Line lineFor(const QString& name, const RegValue& value, int type) {
    Line line;
    line.isValue = true;
    line.name = name;
    switch (type) {
    case RegType::Text:
        line.typeTag = kTextTag;
        if (const auto* text = std::get_if<QString>(&value))
            line.data = encodeField(*text, {});
        else if (const auto* number = std::get_if<std::uint32_t>(&value))
            line.data = QString::number(*number);
        else
            throw Error(ErrNo::TypeMismatch, QStringLiteral("Type mismatch"),
                        QStringLiteral("writing a setting"));
        break;
    case RegType::Number: {
        line.typeTag = kNumberTag;
        if (const auto* number = std::get_if<std::uint32_t>(&value)) {
            line.data = QString::number(*number);
        } else if (const auto* text = std::get_if<QString>(&value)) {
            bool ok = false;
            const uint n = text->trimmed().toUInt(&ok, 10);
            if (!ok)
                throw Error(ErrNo::TypeMismatch, QStringLiteral("Type mismatch"),
                            QStringLiteral("writing a setting"));
            line.data = QString::number(n);
        } else {
            throw Error(ErrNo::TypeMismatch, QStringLiteral("Type mismatch"),
                        QStringLiteral("writing a setting"));
        }
        break;
    }
    case RegType::Bytes:
        line.typeTag = kBytesTag;
        if (const auto* bytes = std::get_if<QByteArray>(&value))
            line.data = QString::fromLatin1(bytes->toHex());
        else
            throw Error(ErrNo::TypeMismatch, QStringLiteral("Type mismatch"),
                        QStringLiteral("writing a setting"));
        break;
    default:
        return line; // empty tag: unsupported
    }
    line.text = (encodeField(name, u"=[]") + u'=' + line.typeTag + u':' + line.data).toUtf8();
    return line;
}

QString configHome() {
    QString fromEnv = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!fromEnv.isEmpty() && QDir::isAbsolutePath(fromEnv))
        return fromEnv;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString firstConfigDir() {
    const QStringList dirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts);
    for (const QString& dir : dirs)
        if (QDir::isAbsolutePath(dir))
            return dir;
    return QStringLiteral("/etc/xdg");
}

QString settingsText(const RegValue& value) {
    if (const auto* text = std::get_if<QString>(&value))
        return *text;
    if (const auto* number = std::get_if<std::uint32_t>(&value))
        return QString::number(*number);
    if (const auto* bytes = std::get_if<QByteArray>(&value)) {
        // The bytes are the text's 16-bit code units, low byte first; an odd last byte stands alone.
        QString text;
        text.reserve((bytes->size() + 1) / 2);
        for (qsizetype i = 0; i < bytes->size(); i += 2) {
            const auto low = static_cast<unsigned char>(bytes->at(i));
            const auto high = i + 1 < bytes->size() ? static_cast<unsigned char>(bytes->at(i + 1)) : 0u;
            text += QChar(char16_t(low | (high << 8)));
        }
        return text;
    }
    return {};
}

} // namespace

QString applicationKey() {
    return QStringLiteral("Software\\Quenmarsh\\Tyrow");
}

QString settingsKeyPath(const QString& subKey) {
    return applicationKey() + u'\\' + subKey;
}

QString hiveFilePath(std::uint32_t hive) {
    switch (hive) {
    case Hkey::CurrentUser:
        return configHome() + QStringLiteral("/Quenmarsh/Tyrow.conf");
    case Hkey::LocalMachine:
        return firstConfigDir() + QStringLiteral("/Quenmarsh/Tyrow.conf");
    default:
        return {};
    }
}

QString withoutNuls(const QString& text) {
    QString out = text;
    out.remove(QChar(u'\0'));
    return out;
}

QString escapeSetting(const QString& text) {
    QString out = text;
    out.replace(QString(QChar(1)), QString(QChar(1)) + QChar(2));
    out.replace(QString(QChar(0)), QString(QChar(1)) + QChar(3));
    return out;
}

QString unescapeSetting(const QString& text) {
    QString out = text;
    out.replace(QString(QChar(1)) + QChar(3), QString(QChar(0)));
    out.replace(QString(QChar(1)) + QChar(2), QString(QChar(1)));
    return out;
}

RegValue readSettingsValue(std::uint32_t hive, const QString& keyPath, const QString& name, bool clean) {
    return withStep(QStringLiteral("reading a setting"), [&]() -> RegValue {
        const QString path = hiveFilePath(hive);
        if (path.isEmpty())
            return {};
        HiveFile file = loadHive(path);
        if (file.state != HiveFile::State::Loaded)
            return {};
        const Section* section = file.find(keyPath);
        if (!section)
            return {};
        for (const Line& line : section->lines)
            if (line.isValue && sameName(line.name, name))
                return valueOf(line, clean);
        return {};
    });
}

// Loads the hive file at `path` to change it: kSuccess, or why it may not be changed (no file
// for the hive; a file that exists but cannot be read is left alone, as rewriting it would lose
// its values).
static long loadHiveForWriting(const QString& path, HiveFile& file) {
    if (path.isEmpty())
        return kInvalidHandle;
    file = loadHive(path);
    return file.state == HiveFile::State::Unreadable ? kAccessDenied : kSuccess;
}

long writeSettingsValue(std::uint32_t hive, const QString& keyPath, const QString& name,
                        const RegValue& value, int type, bool create) {
    return withStep(QStringLiteral("writing a setting"), [&]() -> long {
        const QString path = hiveFilePath(hive);
        HiveFile file;
        if (const long refused = loadHiveForWriting(path, file))
            return refused;
        Section* section = file.find(keyPath);
        if (!section) {
            if (!create)
                return kNotFound;
            if (file.sections.size() == 1 && file.sections[0].lines.isEmpty())
                file.sections[0].lines.append(Line{QByteArrayLiteral(
                    "# Tallyrow Reports settings: [key], then name=text:..., name=number:..., "
                    "name=bytes:<hex>; %XX stands for a control character, %, =, [ or ].")});
            file.sections.append(
                Section{normalisedKey(keyPath), (u'[' + encodeField(keyPath, u"[]") + u']').toUtf8(), {}});
            section = &file.sections.last();
        }
        const Line line = lineFor(name, value, type);
        if (line.typeTag.isEmpty())
            return kUnsupportedType;
        bool replaced = false;
        for (Line& existing : section->lines) {
            if (existing.isValue && sameName(existing.name, name)) {
                existing = line;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            section->lines.append(line);
        return saveHive(path, file) ? kSuccess : kAccessDenied;
    });
}

long deleteSettingsKey(std::uint32_t hive, const QString& keyPath) {
    return withStep(QStringLiteral("removing settings"), [&]() -> long {
        const QString path = hiveFilePath(hive);
        HiveFile file;
        if (const long refused = loadHiveForWriting(path, file))
            return refused;
        if (normalisedKey(keyPath).isEmpty())
            return kNotFound; // never the whole hive
        bool removed = false;
        for (qsizetype i = file.sections.size() - 1; i >= 1; --i) {
            if (sameName(file.sections[i].key, normalisedKey(keyPath))) {
                file.sections.removeAt(i);
                removed = true;
            }
        }
        if (!removed)
            return kNotFound;
        return saveHive(path, file) ? kSuccess : kAccessDenied;
    });
}

bool settingsKeyExists(std::uint32_t hive, const QString& keyPath) {
    return withStep(QStringLiteral("looking for a setting"), [&]() -> bool {
        const QString path = hiveFilePath(hive);
        if (path.isEmpty())
            return false;
        const HiveFile file = loadHive(path);
        if (file.state != HiveFile::State::Loaded)
            return false;
        const QString key = normalisedKey(keyPath);
        if (key.isEmpty())
            return true;
        // Creating a key creates its parents, so a key also exists when a deeper one does.
        const QString prefix = key + u'\\';
        for (qsizetype i = 1; i < file.sections.size(); ++i) {
            const QString& k = file.sections[i].key;
            if (sameName(k, key) || k.startsWith(prefix, Qt::CaseInsensitive))
                return true;
        }
        return false;
    });
}

QString readSetting(const QString& name, const QString& def, const QString& subKey, bool escape,
                    std::uint32_t hive) {
    return withStep(QStringLiteral("reading a setting"), [&]() -> QString {
        QString text = settingsText(readSettingsValue(hive, settingsKeyPath(subKey), name, true));
        if (escape)
            text = unescapeSetting(text);
        return text.isEmpty() ? def : text;
    });
}

bool writeSetting(const QString& name, const QString& text, const QString& subKey, bool escape,
                  std::uint32_t hive) {
    return withStep(QStringLiteral("writing a setting"), [&]() -> bool {
        const QString stored = escape ? escapeSetting(text) : text;
        return writeSettingsValue(hive, settingsKeyPath(subKey), name, stored, RegType::Text, true) ==
               kSuccess;
    });
}

QString readSettingWithFallback(const QString& name, const QString& def, const QString& subKey, bool escape) {
    return withStep(QStringLiteral("reading a setting"), [&]() -> QString {
        static const QString kSentinel = QStringLiteral("DEFAULT_SETTING~TEST");
        QString user = readSetting(name, kSentinel, subKey, escape, Hkey::CurrentUser);
        if (user != kSentinel)
            return user;
        return readSetting(name, def, subKey, escape, Hkey::LocalMachine);
    });
}

} // namespace tallyrow
