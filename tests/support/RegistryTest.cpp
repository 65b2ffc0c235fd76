#include "support/Error.h"
#include "support/Registry.h"

#include "testsupport/SystemTools.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace tallyrow;
using tallyrow::test::ServicesFixture;

namespace {

const QString kKey = QStringLiteral("Software\\Quenmarsh\\Tyrow\\");
const QString kName = QStringLiteral("DatabasePath");
const QString kDefault = QStringLiteral("<default>");

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString userSetting(const QString& name = kName) {
    return readSetting(name, kDefault, {}, true, Hkey::CurrentUser);
}

} // namespace

class SettingsStore : public ServicesFixture {};

TEST_F(SettingsStore, SettingKeyPathEndsInABackslashWithoutSubKey) {
    EXPECT_EQ(settingsKeyPath({}), kKey);
    EXPECT_EQ(settingsKeyPath(QStringLiteral("Sub")), kKey + QStringLiteral("Sub"));
}

TEST_F(SettingsStore, EscapingStoresOneThenZeroAsTwoPairs) {
    const QString oneZero = QString(QChar(1)) + QChar(0);
    const QString stored = escapeSetting(oneZero);
    ASSERT_EQ(stored.size(), 4);
    EXPECT_EQ(stored[0].unicode(), 1);
    EXPECT_EQ(stored[1].unicode(), 2);
    EXPECT_EQ(stored[2].unicode(), 1);
    EXPECT_EQ(stored[3].unicode(), 3);
}

TEST_F(SettingsStore, TextWithCharactersZeroAndOneSurvivesARoundTrip) {
    const QChar zero(0), one(1), two(2), three(3);
    const QList<QString> texts = {
        QString(one) + zero,
        QStringLiteral("a") + zero + QStringLiteral("b") + one + QStringLiteral("c"),
        QString(one) + three,      // looks like an escaped zero
        QString(one) + two + zero, // looks like an escaped one
        QString(zero) + zero + one + one,
        QStringLiteral("/home/ann/Tallyrow/data=1%.yrd\n[x]"),
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toUtf8().toHex().toStdString());
        EXPECT_EQ(unescapeSetting(escapeSetting(text)), text);
        ASSERT_TRUE(writeSetting(kName, text, {}, true, Hkey::CurrentUser));
        EXPECT_EQ(userSetting(), text);
    }
}

TEST_F(SettingsStore, MissingOrEmptySettingGivesTheDefault) {
    EXPECT_EQ(userSetting(), kDefault); // no file at all
    ASSERT_TRUE(writeSetting(kName, {}, {}, true, Hkey::CurrentUser));
    EXPECT_EQ(userSetting(), kDefault);
    ASSERT_TRUE(writeSetting(kName, QStringLiteral("/data.yrd"), {}, true, Hkey::CurrentUser));
    EXPECT_EQ(userSetting(), QStringLiteral("/data.yrd"));
    EXPECT_EQ(userSetting(QStringLiteral("LastReportFolder")), kDefault);
}

TEST_F(SettingsStore, WritingCreatesTheKeyAndItsParents) {
    EXPECT_FALSE(settingsKeyExists(Hkey::CurrentUser, kKey));
    EXPECT_NE(writeSettingsValue(Hkey::CurrentUser, kKey, kName, QStringLiteral("x"), RegType::Text, false),
              0);
    EXPECT_FALSE(settingsKeyExists(Hkey::CurrentUser, kKey));

    ASSERT_TRUE(writeSetting(kName, QStringLiteral("/data.yrd"), {}, false, Hkey::CurrentUser));
    EXPECT_TRUE(settingsKeyExists(Hkey::CurrentUser, kKey));
    EXPECT_TRUE(settingsKeyExists(Hkey::CurrentUser, QStringLiteral("software\\quenmarsh\\TYROW")));
    EXPECT_TRUE(settingsKeyExists(Hkey::CurrentUser, QStringLiteral("Software\\Quenmarsh")));
    EXPECT_FALSE(settingsKeyExists(Hkey::CurrentUser, QStringLiteral("Software\\Quenmarsh\\Tyrow\\Other")));
    EXPECT_FALSE(settingsKeyExists(Hkey::LocalMachine, kKey));
    EXPECT_TRUE(QFileInfo::exists(env().userSettingsFile()));
    EXPECT_TRUE(env().userSettingsFile().startsWith(env().configHome() + QStringLiteral("/Quenmarsh/")));
}

TEST_F(SettingsStore, TypedValuesKeepTheirTypeThroughAWriteAndARead) {
    const QByteArray bytes("\x00\x01\xff", 3);
    ASSERT_EQ(writeSettingsValue(Hkey::CurrentUser, kKey, QStringLiteral("Text"), QStringLiteral("a=b"),
                                 RegType::Text, true),
              0);
    ASSERT_EQ(writeSettingsValue(Hkey::CurrentUser, kKey, QStringLiteral("Number"),
                                 std::uint32_t(4000000000u), RegType::Number, true),
              0);
    ASSERT_EQ(
        writeSettingsValue(Hkey::CurrentUser, kKey, QStringLiteral("Bytes"), bytes, RegType::Bytes, true), 0);

    EXPECT_EQ(readSettingsValue(Hkey::CurrentUser, kKey, QStringLiteral("Text"), true),
              RegValue(QStringLiteral("a=b")));
    EXPECT_EQ(readSettingsValue(Hkey::CurrentUser, kKey, QStringLiteral("Number"), true),
              RegValue(std::uint32_t(4000000000u)));
    EXPECT_EQ(readSettingsValue(Hkey::CurrentUser, kKey, QStringLiteral("Bytes"), true), RegValue(bytes));
    // Value names are looked up without regard to case, as keys are.
    EXPECT_EQ(readSettingsValue(Hkey::CurrentUser, kKey, QStringLiteral("TEXT"), true),
              RegValue(QStringLiteral("a=b")));
}

TEST_F(SettingsStore, NumbersAndBytesAreReadAsText) {
    writeSettingsValue(Hkey::CurrentUser, kKey, QStringLiteral("Number"), std::uint32_t(42), RegType::Number,
                       true);
    EXPECT_EQ(userSetting(QStringLiteral("Number")), QStringLiteral("42"));
    // Bytes are the text's 16-bit code units, low byte first.
    writeSettingsValue(Hkey::CurrentUser, kKey, QStringLiteral("Bytes"), QByteArray("A\0B\0", 4),
                       RegType::Bytes, true);
    EXPECT_EQ(userSetting(QStringLiteral("Bytes")), QStringLiteral("AB"));
}

TEST_F(SettingsStore, TextIsCleanedOfZerosOnlyWhenAsked) {
    const QString withZero = QStringLiteral("ab") + QChar(0);
    writeSettingsValue(Hkey::CurrentUser, kKey, kName, withZero, RegType::Text, true);
    EXPECT_EQ(readSettingsValue(Hkey::CurrentUser, kKey, kName, true), RegValue(QStringLiteral("ab")));
    EXPECT_EQ(readSettingsValue(Hkey::CurrentUser, kKey, kName, false), RegValue(withZero));
}

TEST_F(SettingsStore, UnsupportedTypesAreRefusedAndUnconvertibleValuesFail) {
    EXPECT_EQ(writeSettingsValue(Hkey::CurrentUser, kKey, kName, QStringLiteral("%PATH%"),
                                 RegType::ExpandText, true),
              7);
    try {
        writeSettingsValue(Hkey::CurrentUser, kKey, kName, QStringLiteral("twelve"), RegType::Number, true);
        FAIL() << "a text that is no number was stored as one";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrNo::TypeMismatch);
        EXPECT_EQ(e.steps(),
                  (QStringList{QStringLiteral("writing a setting"), QStringLiteral("writing a setting")}));
    }
}

TEST_F(SettingsStore, HiveFallbackUsesTheMachineWideValueWhenThePerUserOneIsMissingOrEmpty) {
    const auto fallback = [] { return readSettingWithFallback(kName, kDefault, {}, true); };
    EXPECT_EQ(fallback(), kDefault);

    ASSERT_TRUE(writeSetting(kName, QStringLiteral("/machine.yrd"), {}, true, Hkey::LocalMachine));
    EXPECT_TRUE(env().machineSettingsFile().startsWith(env().machineConfigDir()));
    EXPECT_EQ(fallback(), QStringLiteral("/machine.yrd")); // no per-user file

    ASSERT_TRUE(writeSetting(QStringLiteral("Other"), QStringLiteral("x"), {}, true, Hkey::CurrentUser));
    EXPECT_EQ(fallback(), QStringLiteral("/machine.yrd")); // per-user key without the value

    ASSERT_TRUE(writeSetting(kName, {}, {}, true, Hkey::CurrentUser));
    EXPECT_EQ(fallback(), QStringLiteral("/machine.yrd")); // per-user value empty

    ASSERT_TRUE(writeSetting(kName, QStringLiteral("/user.yrd"), {}, true, Hkey::CurrentUser));
    EXPECT_EQ(fallback(), QStringLiteral("/user.yrd"));
}

TEST_F(SettingsStore, HiveFollowsTheFirstConfigDirAndTheHomeDefault) {
    qputenv("XDG_CONFIG_DIRS",
            (env().path(QStringLiteral("first")) + QStringLiteral(":/elsewhere")).toLocal8Bit());
    EXPECT_EQ(hiveFilePath(Hkey::LocalMachine), env().path(QStringLiteral("first/Quenmarsh/Tyrow.conf")));
    qunsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(hiveFilePath(Hkey::LocalMachine), QStringLiteral("/etc/xdg/Quenmarsh/Tyrow.conf"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(hiveFilePath(Hkey::CurrentUser),
              env().homeFolder() + QStringLiteral("/.config/Quenmarsh/Tyrow.conf"));
    EXPECT_TRUE(hiveFilePath(Hkey::ClassesRoot).isEmpty());
}

TEST_F(SettingsStore, ExpandableAndUnknownTypesReadAsMissing) {
    writeFile(env().userSettingsFile(), "[Software\\Quenmarsh\\Tyrow\\]\n"
                                        "DatabasePath=expand:%HOME%/data.yrd\n"
                                        "LastReportFolder=multi:a\n");
    EXPECT_EQ(userSetting(), kDefault);
    EXPECT_EQ(userSetting(QStringLiteral("LastReportFolder")), kDefault);
    EXPECT_TRUE(
        std::holds_alternative<std::monostate>(readSettingsValue(Hkey::CurrentUser, kKey, kName, true)));
}

TEST_F(SettingsStore, DamagedFilesGiveTheDefaultAndKeepTheirContentOnWrite) {
    const QList<QByteArray> damaged = {
        QByteArray("\x00\xff\xfe garbage \x01\x02", 14),
        "[Software\\Quenmarsh\\Tyrow\\]\nDatabasePath=text:%zz\n",
        "[Software\\Quenmarsh\\Tyrow\\]\nDatabasePath=number:-x\n",
        "[Software\\Quenmarsh\\Tyrow\\]\nDatabasePath=bytes:abc\n",
        "[Software\\Quenmarsh\\Tyrow\\\nDatabasePath=text:/a\n",
        "DatabasePath=text:/outside/any/key\n",
        "[Software\\Quenmarsh\\Tyrow\\]\nDatabasePath\n=\n:\n%\n",
    };
    for (const QByteArray& content : damaged) {
        SCOPED_TRACE(content.toHex().toStdString());
        writeFile(env().userSettingsFile(), content);
        EXPECT_EQ(userSetting(), kDefault);
        EXPECT_EQ(readSettingWithFallback(kName, kDefault, {}, true), kDefault);
        ASSERT_TRUE(writeSetting(QStringLiteral("LastReportFolder"), QStringLiteral("/r"), {}, true,
                                 Hkey::CurrentUser));
        EXPECT_EQ(userSetting(QStringLiteral("LastReportFolder")), QStringLiteral("/r"));
        // What could not be read is still there for a person to repair.
        const QByteArray after = readFile(env().userSettingsFile());
        for (const QByteArray& line : content.split('\n')) {
            if (!line.isEmpty() && !line.startsWith('[')) {
                EXPECT_TRUE(after.contains(line)) << line.toStdString();
            }
        }
    }
}

TEST_F(SettingsStore, UnreadableFilesGiveTheDefaultAndAreNotOverwritten) {
    // A folder where the file should be.
    QDir().mkpath(env().userSettingsFile());
    EXPECT_EQ(userSetting(), kDefault);
    EXPECT_FALSE(settingsKeyExists(Hkey::CurrentUser, kKey));
    EXPECT_FALSE(writeSetting(kName, QStringLiteral("/x"), {}, true, Hkey::CurrentUser));
    QDir(env().userSettingsFile()).removeRecursively();

    const QByteArray content = "[Software\\Quenmarsh\\Tyrow\\]\nDatabasePath=text:/kept.yrd\n";
    writeFile(env().userSettingsFile(), content);
    QFile::setPermissions(env().userSettingsFile(), QFileDevice::WriteOwner);
    auto refused = [] {
        const QString read = userSetting();
        const bool written =
            writeSetting(QStringLiteral("Other"), QStringLiteral("x"), {}, true, Hkey::CurrentUser);
        if (read != kDefault || written)
            std::fprintf(stderr, "read '%s', written %d\n", qPrintable(read), int(written));
        return read == kDefault && !written;
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(refused());
    } else {
        // Permissions do not stop root: read and write as an ordinary user in a child process
        // that owns the settings folder, so only the file's own permissions can refuse.
        for (QString folder = QFileInfo(env().userSettingsFile()).absolutePath();
             folder.startsWith(env().root()); folder = QFileInfo(folder).absolutePath())
            ::chmod(QFile::encodeName(folder).constData(), 0755);
        const QByteArray settingsFolder =
            QFile::encodeName(QFileInfo(env().userSettingsFile()).absolutePath());
        ASSERT_EQ(::chown(settingsFolder.constData(), 65534, 65534), 0);
        const test::ChildOutcome outcome = test::runAsNobody(refused);
        if (outcome == test::ChildOutcome::CannotDropPrivileges)
            TALLYROW_SKIP_UNLESS_CI("cannot give up root to see an unreadable settings file");
        EXPECT_EQ(outcome, test::ChildOutcome::Passed);
    }
    QFile::setPermissions(env().userSettingsFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(readFile(env().userSettingsFile()), content);
    EXPECT_EQ(userSetting(), QStringLiteral("/kept.yrd"));
}

TEST_F(SettingsStore, AFullDiskLeavesTheSettingsFileAsItWas) {
    test::SmallDisk disk(env().configHome());
    if (!disk.mounted())
        TALLYROW_SKIP_UNLESS_CI(disk.whyNotMounted().toStdString());
    ASSERT_TRUE(writeSetting(kName, QStringLiteral("/data/office.yrd"), {}, true, Hkey::CurrentUser));
    const QString folder = QFileInfo(env().userSettingsFile()).absolutePath();
    const QByteArray before = readFile(env().userSettingsFile());
    ASSERT_FALSE(before.isEmpty());
    ASSERT_TRUE(disk.fill());
    const QStringList entries = test::SmallDisk::entries(folder);

    EXPECT_FALSE(
        writeSetting(QStringLiteral("LastReportFolder"), QString(500, u'r'), {}, true, Hkey::CurrentUser));
    EXPECT_EQ(readFile(env().userSettingsFile()), before);
    EXPECT_EQ(test::SmallDisk::entries(folder), entries);
    EXPECT_EQ(userSetting(), QStringLiteral("/data/office.yrd"));
}

TEST_F(SettingsStore, DeletingAKeyRemovesOnlyItsOwnValues) {
    const QString answers = kKey + QStringLiteral("Remembered Answers");
    const QString below = answers + QStringLiteral("\\Below");
    ASSERT_EQ(writeSettingsValue(Hkey::CurrentUser, answers, QStringLiteral("Overwrite"), std::uint32_t(6),
                                 RegType::Number, true),
              0);
    ASSERT_EQ(writeSettingsValue(Hkey::CurrentUser, below, QStringLiteral("x"), QStringLiteral("y"),
                                 RegType::Text, true),
              0);
    ASSERT_TRUE(writeSetting(QStringLiteral("Kept"), QStringLiteral("yes"), {}, false, Hkey::CurrentUser));

    EXPECT_EQ(deleteSettingsKey(Hkey::CurrentUser, answers + QStringLiteral("\\")), 0);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        readSettingsValue(Hkey::CurrentUser, answers, QStringLiteral("Overwrite"), true)));
    EXPECT_EQ(readSettingsValue(Hkey::CurrentUser, below, QStringLiteral("x"), true),
              RegValue(QStringLiteral("y")));
    EXPECT_EQ(readSetting(QStringLiteral("Kept"), {}, {}, false, Hkey::CurrentUser), QStringLiteral("yes"));
    EXPECT_EQ(deleteSettingsKey(Hkey::CurrentUser, answers), 2) << "already gone";
    EXPECT_EQ(deleteSettingsKey(Hkey::CurrentUser, QString()), 2) << "never the whole hive";
    EXPECT_EQ(deleteSettingsKey(Hkey::ClassesRoot, answers), 6);
}
