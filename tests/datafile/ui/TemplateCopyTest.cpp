#include "datafile/TemplateCopy.h"

#include "testsupport/SystemTools.h"
#include "testsupport/TestEnv.h"
#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace tallyrow {
namespace {

class TemplateCopyTest : public test::ServicesFixture {
protected:
    QString write(const QString& relative, const QByteArray& content) {
        const QString path = env().path(relative);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList folderEntries() {
        return QDir(env().root())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
};

TEST_F(TemplateCopyTest, ALinkAtTheTargetIsReplacedNotWrittenThrough) {
    const QString source = write(u"empty.yrt"_s, "template");
    const QString other = write(u"other.yrd"_s, "someone else's rows");
    const QString target = env().path(u"link.yrd"_s);
    ASSERT_TRUE(QFile::link(other, target));

    copyTemplate(source, target);
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    EXPECT_EQ(read(target), QByteArray("template"));
    EXPECT_EQ(read(other), QByteArray("someone else's rows"));
}

TEST_F(TemplateCopyTest, RefusalsLeaveTheFolderAsItWas) {
    const QString source = write(u"empty.yrt"_s, "template");
    const QString locked = write(u"locked.yrd"_s, "old");
    QFile::setPermissions(locked, QFileDevice::ReadOwner);
    QDir().mkpath(env().path(u"folder.yrd"_s));
    const QStringList before = folderEntries();

    struct Case {
        const char* name;
        QString source;
        QString target;
        long number;
    };
    const Case cases[] = {
        {"read-only target", source, locked, ErrNo::PermissionDenied},
        {"target is a folder", source, env().path(u"folder.yrd"_s), ErrNo::PathFileAccess},
        {"missing source", env().path(u"gone.yrt"_s), env().path(u"new.yrd"_s), ErrNo::FileNotFound},
        {"missing target folder", source, env().path(u"nowhere/new.yrd"_s), ErrNo::PathFileAccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            copyTemplate(c.source, c.target);
            ADD_FAILURE() << "copy did not fail";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_EQ(e.steps(), QStringList{u"copying the empty data file"_s});
            EXPECT_TRUE(e.description().contains(c.target) || e.description().contains(c.source));
        }
        EXPECT_EQ(folderEntries(), before);
    }
    EXPECT_EQ(read(locked), QByteArray("old"));
}

TEST_F(TemplateCopyTest, AFullDiskKeepsTheOldFileAndSaysWhy) {
    test::SmallDisk disk;
    if (!disk.mounted())
        TALLYROW_SKIP_UNLESS_CI(disk.whyNotMounted().toStdString());
    const QString source = write(u"empty.yrt"_s, QByteArray(8192, 't'));
    const QString target = disk.path(u"data.yrd"_s);
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(820, 'o'));
    }
    ASSERT_TRUE(disk.fill());
    const QStringList before = test::SmallDisk::entries(disk.path({}));
    try {
        copyTemplate(source, target);
        ADD_FAILURE() << "the copy was reported done";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(u"No space left on device"_s)) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(target));
    }
    EXPECT_EQ(read(target), QByteArray(820, 'o'));
    EXPECT_EQ(test::SmallDisk::entries(disk.path({})), before);
}

TEST_F(TemplateCopyTest, AReplacedFileKeepsItsPermissions) {
    const QString source = write(u"empty.yrt"_s, "template");
    const QString target = write(u"data.yrd"_s, "old rows");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    copyTemplate(source, target);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(read(target), QByteArray("template"));
}

} // namespace
} // namespace tallyrow
