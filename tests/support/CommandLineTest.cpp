#include "support/CommandLine.h"

#include "testsupport/TestEnv.h"

using namespace tallyrow;
using tallyrow::test::ServicesFixture;

TEST(CommandLine, ExtractCommandParamaterReadsOneOption) {
    struct Case {
        const char* name;
        QString commandLine;
        QString expected;
    };
    const QString def = QStringLiteral("<none>");
    const QList<Case> cases = {
        {"plain", QStringLiteral("datapath=/srv/data.yrd"), QStringLiteral("/srv/data.yrd")},
        {"other case", QStringLiteral("DataPath=/srv/data.yrd"), QStringLiteral("/srv/data.yrd")},
        {"spaces and a further option", QStringLiteral("DATAPATH=  /srv/my data.yrd  ,mode=x"),
         QStringLiteral("/srv/my data.yrd")},
        {"after another option", QStringLiteral("mode=x, datapath=/a.yrd"), QStringLiteral("/a.yrd")},
        {"empty value", QStringLiteral("datapath="), QString()},
        {"empty value before a comma", QStringLiteral("datapath= ,x=1"), QString()},
        {"comma cuts the path", QStringLiteral("datapath=/srv/a,b.yrd"), QStringLiteral("/srv/a")},
        {"name ending in the searched name", QStringLiteral("olddatapath=/old.yrd"),
         QStringLiteral("/old.yrd")},
        {"first occurrence counts", QStringLiteral("datapath=/1.yrd,datapath=/2.yrd"),
         QStringLiteral("/1.yrd")},
        {"absent", QStringLiteral("mode=x"), def},
        {"name without equals sign", QStringLiteral("datapath /a.yrd"), def},
        {"empty command line", QString(), def},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(commandParameter(QStringLiteral("datapath"), c.commandLine, def), c.expected);
    }
}

class CommandLineFixture : public ServicesFixture {};

TEST_F(CommandLineFixture, ParseCommandLineJoinsTheArgumentsWithBlanks) {
    parseCommandLine(session(), {});
    EXPECT_EQ(session().commandLineDataPath, QString());
    parseCommandLine(session(), {QStringLiteral("datapath=/home/ann/My"), QStringLiteral("Data/x.yrd,"),
                                 QStringLiteral("y=1")});
    EXPECT_EQ(session().commandLineDataPath, QStringLiteral("/home/ann/My Data/x.yrd"));
    parseCommandLine(session(), {QStringLiteral("--verbose")});
    EXPECT_EQ(session().commandLineDataPath, QString());
}

TEST_F(CommandLineFixture, SetHelpFileChoosesByTheCompiledHelpViewer) {
    env().setCompiledHelpViewerRegistered(true);
    EXPECT_TRUE(chooseHelpFile(session(), QStringLiteral("tyrow.chm"), QStringLiteral("tyrow.hlp")));
    EXPECT_EQ(session().helpFile, QStringLiteral("tyrow.chm"));
    env().setCompiledHelpViewerRegistered(false);
    EXPECT_TRUE(chooseHelpFile(session(), QStringLiteral("tyrow.chm"), QStringLiteral("tyrow.hlp")));
    EXPECT_EQ(session().helpFile, QStringLiteral("tyrow.hlp"));
}

TEST_F(CommandLineFixture, SetHelpFileWorksWithTheMachineProbe) {
    resetServices();
    EXPECT_TRUE(chooseHelpFile(session(), QStringLiteral("tyrow.chm"), QStringLiteral("tyrow.hlp")));
    EXPECT_TRUE(session().helpFile == QStringLiteral("tyrow.chm") ||
                session().helpFile == QStringLiteral("tyrow.hlp"));
}
