#include "shell/ReportsProgram.h"
#include "shell/Startup.h"

#include "output/ReportDocument.h"
#include "support/CommandLine.h"
#include "support/Error.h"
#include "support/Registry.h"
#include "support/ScriptedErrorReporter.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

class Startup : public test::ServicesFixture {
protected:
    void SetUp() override {
        test::ServicesFixture::SetUp();
        test::ensureCoreApp();
        hooks.createErrorReporter = [this] {
            auto reporter = std::make_unique<ScriptedErrorReporter>();
            reporter_ = reporter.get();
            return std::unique_ptr<ErrorReporter>(std::move(reporter));
        };
        hooks.showMainWindow = [this] {
            shownWith = session().commandLineDataPath;
            messageBoxWhenShown = session().messageBox.get();
        };
    }

    StartupHooks hooks;
    ScriptedErrorReporter* reporter_ = nullptr;
    QString shownWith = u"<not shown>"_s;
    MessageBoxEx* messageBoxWhenShown = nullptr;
};

} // namespace

TEST_F(Startup, PreparesEveryServiceBeforeTheMainWindowLoads) {
    ASSERT_TRUE(startProgram(session(), {u"--datapath=/srv/office/data.yrd"_s}, hooks));
    ASSERT_NE(reporter_, nullptr);
    EXPECT_EQ(session().errorReporter.get(), reporter_);
    EXPECT_EQ(reporter_->ProductName(), u"Tallyrow Reports"_s);
    EXPECT_FALSE(reporter_->SupportAddress().isEmpty());
    EXPECT_EQ(shownWith, u"/srv/office/data.yrd"_s) << "the window must see the command line";
    ASSERT_NE(messageBoxWhenShown, nullptr);
    EXPECT_EQ(messageBoxWhenShown->Mode(), 2);
    EXPECT_EQ(session().helpFile, u"tyrow.hlp"_s);
    EXPECT_TRUE(reporter_->calls().isEmpty());
}

TEST_F(Startup, ArgumentsAreReadAsOneCommandLine) {
    ASSERT_TRUE(startProgram(session(), {u"DataPath="_s, u"/home/me/my"_s, u"file.yrd"_s}, hooks));
    // The blanks between arguments stay; only the ends are trimmed.
    EXPECT_EQ(shownWith, u"/home/me/my file.yrd"_s);
    ASSERT_TRUE(startProgram(session(), {}, hooks));
    EXPECT_EQ(shownWith, QString());
}

TEST_F(Startup, WithoutAnErrorReporterTheProgramSaysWhyAndEnds) {
    hooks.createErrorReporter = []() -> std::unique_ptr<ErrorReporter> {
        throw Error(429, u"ActiveX component can't create object"_s);
    };
    bool shown = false;
    hooks.showMainWindow = [&] { shown = true; };
    messageBox()->clearRequests();
    EXPECT_FALSE(startProgram(session(), {}, hooks));
    EXPECT_FALSE(shown);
    EXPECT_EQ(session().errorReporter, nullptr);
    ASSERT_FALSE(session().messageBox == nullptr);
    auto* box = dynamic_cast<ScriptedMessageBox*>(session().messageBox.get());
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->requests().size(), 1);
    const MessageRequest& r = box->requests().constFirst();
    EXPECT_EQ(r.prompt,
              u"I am not able to run the error handler. I can't run without this! You may need to "
              "re-install\r\n\r\nThe cause of the problem was: ActiveX component can't create object"_s);
    EXPECT_EQ(r.buttons, 4112);
    EXPECT_EQ(r.title, u"Can't initilise error handler"_s);
}

TEST_F(Startup, WindowThatClosedItselfWhileLoadingEndsQuietly) {
    hooks.showMainWindow = [] { throw Error(ErrNo::ObjectUnloaded, u"Object was unloaded"_s); };
    EXPECT_FALSE(startProgram(session(), {}, hooks));
    ASSERT_NE(reporter_, nullptr);
    EXPECT_TRUE(reporter_->calls().isEmpty());
}

TEST_F(Startup, OtherFailuresOfTheMainWindowAreReportedWithTheirTrail) {
    hooks.showMainWindow = [] { throw Error(91, u"Object variable not set"_s, u"frmMain"_s); };
    EXPECT_FALSE(startProgram(session(), {}, hooks));
    ASSERT_NE(reporter_, nullptr);
    ASSERT_EQ(reporter_->calls().size(), 1);
    EXPECT_EQ(reporter_->calls()[0].steps,
              (QStringList{u"starting the program"_s, u"opening the main window"_s, u"frmMain"_s}));
    EXPECT_EQ(reporter_->calls()[0].activity, u"loading the application"_s);
    EXPECT_EQ(reporter_->calls()[0].number, 91);
}

TEST_F(Startup, RetryShowsTheMainWindowAgain) {
    int attempts = 0;
    hooks.showMainWindow = [&] {
        if (++attempts == 1)
            throw Error(7, u"Out of memory"_s);
    };
    hooks.createErrorReporter = [this] {
        auto reporter = std::make_unique<ScriptedErrorReporter>();
        reporter->queueAnswer(ReportAnswer::Retry);
        reporter_ = reporter.get();
        return std::unique_ptr<ErrorReporter>(std::move(reporter));
    };
    EXPECT_TRUE(startProgram(session(), {}, hooks));
    EXPECT_EQ(attempts, 2);
}

TEST_F(Startup, RunStartsTheSameSequence) {
    ReportsProgram program(session(), hooks);
    EXPECT_TRUE(program.run({u"datapath=/a.yrd, other=1"_s}));
    EXPECT_EQ(shownWith, u"/a.yrd"_s);
}

// The file manager passes one file: a saved report is shown, anything else is the data file;
// the "datapath=" form means what it always meant.
TEST_F(Startup, AFileNamedOnItsOwnIsShownAsAReportOrOpenedAsTheDataFile) {
    QTemporaryDir dir;
    const QString document = dir.filePath(u"march.data"_s);
    QFile f(document);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(serializeReportDocument({}));
    f.close();
    const QString relative = QDir::current().relativeFilePath(document);
    const struct {
        QStringList arguments;
        QString dataPath;
        QString document;
    } cases[] = {
        {{relative}, {}, document},
        {{dir.filePath(u"office.rdf"_s)}, dir.filePath(u"office.rdf"_s), {}},
        {{u"postgresql://anna@db/tallyrow"_s}, u"postgresql://anna@db/tallyrow"_s, {}},
        {{u"datapath="_s + document}, document, {}},
        {{document, u"other"_s}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        Session run;
        parseCommandLine(run, c.arguments);
        readFileArgument(run, c.arguments);
        EXPECT_EQ(run.commandLineDataPath, c.dataPath);
        EXPECT_EQ(run.commandLineDocument, c.document);
    }
}
