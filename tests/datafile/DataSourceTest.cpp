// What a data source is, told once from the path or URI that names it.
#include "datafile/DataSource.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

struct SourceCase {
    const char* name;
    QString given;
    QString shown;
    QString noun;
    bool ownsFile;
};

} // namespace

TEST(DataSource, KindDecidesNameFileAndSavedCopy) {
    const SourceCase cases[] = {
        {"file", u"/srv/office/data.yrd"_s, u"/srv/office/data.yrd"_s, u"the data file"_s, true},
        {"server", u"postgresql://ann:secret@db:5432/office"_s, u"postgresql://ann@db:5432/office"_s,
         u"the database"_s, false},
        {"short scheme, any case", u"Postgres://ann:pw@db/office"_s, u"Postgres://ann@db/office"_s,
         u"the database"_s, false},
        {"a scheme-like file name", u"/tmp/postgresql://x"_s, u"/tmp/postgresql://x"_s, u"the data file"_s,
         true},
    };
    for (const SourceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const DataSource source(c.given);
        EXPECT_EQ(source.location(), c.given);
        EXPECT_EQ(source.shownName(), c.shown);
        EXPECT_EQ(source.noun(), c.noun);
        EXPECT_EQ(source.keepsSavedCopy(), c.ownsFile);
        EXPECT_EQ(source.filePath(), c.ownsFile ? c.given : QString());
        // A server's URI never becomes a path of the working folder.
        if (!c.ownsFile) {
            EXPECT_EQ(source.absolute().location(), c.given);
        }
    }
    EXPECT_TRUE(DataSource().isEmpty());
    EXPECT_FALSE(DataSource().keepsSavedCopy());
    EXPECT_EQ(DataSource(u"office.yrd"_s).absolute().location(),
              QDir::current().absoluteFilePath(u"office.yrd"_s));
}

TEST(DataSource, OnlyAFileIsLookedForAndGuarded) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"data.yrd"_s);
    EXPECT_EQ(DataSource(path).absence(), u"the file does not exist"_s);
    EXPECT_EQ(DataSource(dir.path()).absence(), u"it is a folder, not a file"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(DataSource(path).absence(), QString());
    EXPECT_EQ(DataSource(path).partAt(path + u"-wal"_s), u"the data file's write-ahead log"_s);

    // A server is tried by connecting and owns no file an output could overwrite.
    const DataSource server(u"postgresql://ann@db/office"_s);
    EXPECT_EQ(server.absence(), QString());
    EXPECT_FALSE(server.partAt(u"postgresql://ann@db/office"_s));
}
