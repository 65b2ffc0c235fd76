#include "support/Error.h"
#include "support/FileUtils.h"

#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace tallyrow;
using tallyrow::test::ServicesFixture;

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

} // namespace

class FileHelpers : public ServicesFixture {
protected:
    void SetUp() override {
        ServicesFixture::SetUp();
        m_dir = env().path(QStringLiteral("files"));
        touch(m_dir + QStringLiteral("/data.yrd"));
        touch(m_dir + QStringLiteral("/noext"));
        touch(m_dir + QStringLiteral("/a[1].yrd"));
        touch(m_dir + QStringLiteral("/.hidden.yrd"));
        QDir().mkpath(m_dir + QStringLiteral("/Reports"));
    }
    QString at(const QString& name) const { return m_dir + u'/' + name; }
    QString m_dir;
};

TEST_F(FileHelpers, DoesFileExistMatchesNamesWildcardsAndFolders) {
    struct Case {
        const char* name;
        QString path;
        FileAttr attributes;
        bool found;
    };
    const QChar nul(0);
    const QList<Case> cases = {
        {"plain file", at(QStringLiteral("data.yrd")), FileAttr::Normal, true},
        {"missing file", at(QStringLiteral("other.yrd")), FileAttr::Normal, false},
        {"star", at(QStringLiteral("*.yrd")), FileAttr::Normal, true},
        {"question mark", at(QStringLiteral("dat?.yrd")), FileAttr::Normal, true},
        {"star matches nothing", at(QStringLiteral("*.xls")), FileAttr::Normal, false},
        {"star dot star takes names without a dot", m_dir + QStringLiteral("/no*.*"), FileAttr::Normal, true},
        {"any extension", at(QStringLiteral("data.*")), FileAttr::Normal, true},
        {"any extension needs the name", at(QStringLiteral("dat.*")), FileAttr::Normal, false},
        {"brackets are plain characters", at(QStringLiteral("a[1].yrd")), FileAttr::Normal, true},
        {"brackets are no character class", at(QStringLiteral("a[1]*")), FileAttr::Normal, true},
        {"no class match", at(QStringLiteral("a1.yrd")), FileAttr::Normal, false},
        {"hidden file", at(QStringLiteral(".hidden.yrd")), FileAttr::Normal, true},
        {"folder is no file", at(QStringLiteral("Reports")), FileAttr::Normal, false},
        {"folder with folder filter", at(QStringLiteral("Reports")), FileAttr::Directory, true},
        {"folder with trailing slash", at(QStringLiteral("Reports/")), FileAttr::Directory, true},
        {"folder wildcard", at(QStringLiteral("Rep*")), FileAttr::Directory, true},
        {"file with folder filter", at(QStringLiteral("data.yrd")), FileAttr::Directory, true},
        {"missing folder", at(QStringLiteral("Nowhere")), FileAttr::Directory, false},
        {"the root", QStringLiteral("/"), FileAttr::Directory, true},
        {"blanks and NULs around",
         QStringLiteral("  ") + at(QStringLiteral("data.yrd")) + nul + nul + QStringLiteral(" "),
         FileAttr::Normal, true},
        {"file inside a missing folder", at(QStringLiteral("Nowhere/data.yrd")), FileAttr::Normal, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool notFound = !c.found; // must be set either way
        EXPECT_EQ(fileExists(c.path, c.attributes, &notFound), c.found);
        EXPECT_EQ(notFound, !c.found);
    }
}

TEST_F(FileHelpers, DoesFileExistOfBlanksAndNulsIsFalseWithoutASearch) {
    const QChar nul(0);
    for (const QString& path : {QString(), QStringLiteral("   "), QString(nul) + nul,
                                QStringLiteral(" ") + nul + QStringLiteral(" ")}) {
        bool notFound = true;
        EXPECT_FALSE(fileExists(path, FileAttr::Directory, &notFound));
        EXPECT_FALSE(notFound); // nothing was searched for
    }
    EXPECT_FALSE(fileExists(QStringLiteral(" "))); // notFound is optional
}

TEST_F(FileHelpers, TrimNullRemovesEveryNulThenOuterBlanks) {
    const QChar nul(0);
    EXPECT_EQ(withoutNulsTrimmed(QStringLiteral(" a") + nul + QStringLiteral("b ") + nul),
              QStringLiteral("ab"));
    EXPECT_EQ(withoutNulsTrimmed(QStringLiteral("\ta b\t")),
              QStringLiteral("\ta b\t")); // only blanks are trimmed
    EXPECT_EQ(withoutNulsTrimmed(QStringLiteral(" ") + nul + QStringLiteral(" x")), QStringLiteral("x"));
}

TEST(FilePaths, GetFilePathGivesTheFolderPartAndKeepsTheRoot) {
    const QList<std::pair<QString, QString>> cases = {
        {QStringLiteral("/a/b.txt"), QStringLiteral("/a")},
        {QStringLiteral("/a/b/"), QStringLiteral("/a/b")},
        {QStringLiteral("/b.txt"), QStringLiteral("/")},
        {QStringLiteral("/"), QStringLiteral("/")},
        {QStringLiteral("b.txt"), QString()},
        {QString(), QString()},
        {QStringLiteral("rel/b.txt"), QStringLiteral("rel")},
    };
    for (const auto& [path, folder] : cases) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(folderOf(path), folder);
    }
}

TEST_F(FileHelpers, MakeDirPathCreatesEveryMissingLevel) {
    const QString deep = env().path(QStringLiteral("x/y/z"));
    makeDirPath(deep);
    EXPECT_TRUE(folderExists(deep));
    touch(deep + QStringLiteral("/keep.txt"));
    makeDirPath(deep + u'/'); // existing folders are left alone; a trailing "/" changes nothing
    EXPECT_TRUE(QFileInfo::exists(deep + QStringLiteral("/keep.txt")));
    makeDirPath(env().path(QStringLiteral("x//w/")));
    EXPECT_TRUE(folderExists(env().path(QStringLiteral("x/w"))));
}

TEST_F(FileHelpers, MakeDirPathNeverTriesToCreateTheRoot) {
    EXPECT_NO_THROW(makeDirPath(QStringLiteral("/")));
    EXPECT_NO_THROW(makeDirPath(QStringLiteral("/tmp")));
    EXPECT_NO_THROW(makeDirPath(QString()));
}

TEST_F(FileHelpers, MakeDirPathPassesOnAFolderItCannotCreate) {
    try {
        makeDirPath(at(QStringLiteral("data.yrd/sub")));
        FAIL() << "a folder was reported made below a file";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrNo::PathFileAccess);
        EXPECT_EQ(e.steps().first(), QStringLiteral("making the folder"));
    }
}

TEST_F(FileHelpers, FolderExistsOnlyForFolders) {
    EXPECT_TRUE(folderExists(m_dir));
    EXPECT_TRUE(folderExists(QStringLiteral("/")));
    EXPECT_FALSE(folderExists(at(QStringLiteral("data.yrd"))));
    EXPECT_FALSE(folderExists(at(QStringLiteral("Nowhere"))));
    EXPECT_FALSE(folderExists(QString()));
}

TEST_F(FileHelpers, SystemNamesComeFromTheServicesOrTheDefault) {
    EXPECT_EQ(currentUserName(QStringLiteral("?")), QStringLiteral("tester"));
    EXPECT_EQ(currentComputerName(QStringLiteral("?")), QStringLiteral("TESTPC"));
    env().setUserName({});
    env().setComputerName({});
    EXPECT_EQ(currentUserName(QStringLiteral("nobody")), QStringLiteral("nobody"));
    EXPECT_EQ(currentComputerName(QStringLiteral("nowhere")), QStringLiteral("nowhere"));
}

TEST_F(FileHelpers, SpecialFolderIsTheDocumentsFolderWithoutTrailingSlash) {
    EXPECT_EQ(specialFolder(SpecialFolder::Personal), env().documentsFolder());
    env().setDocumentsFolder(env().documentsFolder() + u'/');
    EXPECT_EQ(specialFolder(SpecialFolder::Personal), env().documentsFolder().chopped(1));
    EXPECT_EQ(specialFolder(static_cast<SpecialFolder>(0x1a)), QString()); // another shell folder
    env().setDocumentsFolder({});
    EXPECT_EQ(specialFolder(SpecialFolder::Personal), QString());
}

TEST_F(FileHelpers, MachineDefaultsUseTheEnvironment) {
    resetServices(); // the fixture puts its own services back afterwards
    // HOME points into the test folder: its Documents folder is the documents folder while it
    // exists, and is made again when asked to.
    const QString documents = env().homeFolder() + QStringLiteral("/Documents");
    EXPECT_EQ(specialFolder(SpecialFolder::Personal), documents);
    QDir(documents).removeRecursively();
    EXPECT_EQ(specialFolder(SpecialFolder::Personal), QString());
    EXPECT_FALSE(folderExists(documents));
    EXPECT_EQ(specialFolder(SpecialFolder::Personal, true), documents);
    EXPECT_TRUE(folderExists(documents));
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    EXPECT_EQ(services().programFolder(), QFileInfo(exe).absolutePath());
    EXPECT_FALSE(services().loggedInUserName().isEmpty());
}

TEST_F(FileHelpers, BrowseToWebSiteHandsTheAddressToTheDesktop) {
    openWebSite(QStringLiteral("https://tallyrow.example/"));
    EXPECT_EQ(env().openedUrls(), QStringList{QStringLiteral("https://tallyrow.example/")});
}
