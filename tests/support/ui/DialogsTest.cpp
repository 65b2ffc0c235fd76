#include "support/FileUtils.h"
#include "support/ScriptedErrorReporter.h"
#include "support/Services.h"
#include "support/Error.h"
#include "support/ui/QtErrorReporter.h"
#include "support/ui/QtMessageBox.h"

#include "testsupport/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <functional>

using namespace tallyrow;
using tallyrow::test::ServicesFixture;

namespace {

// Waits (inside the modal loop that is about to start) for the visible top-level window named
// `windowName` and hands it to `act`. Gives up after two seconds so a test can never hang.
void whenShown(const QString& windowName, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, qApp, [=] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == windowName && w->isVisible()) {
                timer->stop();
                timer->deleteLater();
                delete clock;
                act(w);
                return;
            }
        }
        if (clock->elapsed() > 2000) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            ADD_FAILURE() << "window " << windowName.toStdString() << " never showed";
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    timer->start(5);
}

void clickWhenShown(const QString& windowName, const QString& buttonName) {
    whenShown(windowName, [buttonName](QWidget* w) {
        auto* button = w->findChild<QPushButton*>(buttonName);
        if (!button) {
            ADD_FAILURE() << "no button " << buttonName.toStdString();
            w->close();
            return;
        }
        button->click();
    });
}

} // namespace

class SupportDialogs : public ServicesFixture {
protected:
    void SetUp() override {
        tallyrow::test::ensureWidgetsApp();
        ServicesFixture::SetUp();
    }
};

TEST_F(SupportDialogs, ErrorReportButtonsGiveTheirAnswersAndAbortIsSignalled) {
    QtErrorReporter reporter;
    reporter.setProductName(kProductName);
    int aborts = 0;
    QObject::connect(&reporter, &ErrorReporter::Abort, &reporter, [&] { ++aborts; });

    const QList<std::pair<QString, ReportAnswer>> buttons = {
        {QStringLiteral("cmdRetry"), ReportAnswer::Retry},
        {QStringLiteral("cmdIgnore"), ReportAnswer::Ignore},
        {QStringLiteral("cmdAbort"), ReportAnswer::Abort},
    };
    for (const auto& [button, answer] : buttons) {
        SCOPED_TRACE(button.toStdString());
        EXPECT_EQ(aborts, 0);
        EXPECT_FALSE(reporter.Aborted());
        clickWhenShown(QStringLiteral("frmErrorReport"), button);
        EXPECT_EQ(reporter.ReportError(Failure{Error(53, QStringLiteral("File not found")),
                                               {QStringLiteral("checking the data file")},
                                               QStringLiteral("loading the application")}),
                  answer);
    }
    EXPECT_EQ(aborts, 1);
    EXPECT_TRUE(reporter.Aborted());
}

TEST_F(SupportDialogs, ErrorReportShowsTheFailureAndCopiesItsDetails) {
    QtErrorReporter reporter;
    reporter.setProductName(kProductName);
    reporter.setSupportAddress(kSupportAddress);
    QStringList shown;
    whenShown(QStringLiteral("frmErrorReport"), [&](QWidget* w) {
        for (const char* name : {"lblDescription", "lblNumber", "lblWhere", "lblActivity"})
            if (auto* label = w->findChild<QLabel*>(QString::fromLatin1(name)))
                shown << label->text();
        w->findChild<QPushButton*>(QStringLiteral("cmdCopyDetails"))->click();
        w->close(); // closing without an answer means "leave"
    });
    EXPECT_EQ(reporter.ReportError(Failure{Error(61, QStringLiteral("Disk full")),
                                           {QStringLiteral("SaveReport"), QStringLiteral("Export")},
                                           QStringLiteral("saving the report")}),
              ReportAnswer::Leave);
    EXPECT_EQ(shown,
              (QStringList{QStringLiteral("Disk full"), QStringLiteral("61"),
                           QStringLiteral("SaveReport > Export"), QStringLiteral("saving the report")}));
    const QString copied = QGuiApplication::clipboard()->text();
    for (const QString& part : {kProductName, QStringLiteral("Disk full"), QStringLiteral("61"),
                                QStringLiteral("Where: SaveReport > Export\n"),
                                QStringLiteral("saving the report"), kSupportAddress})
        EXPECT_TRUE(copied.contains(part)) << part.toStdString();
    EXPECT_FALSE(reporter.Aborted());
}

// A failure of ordinary work is said in its own sentence, with what each answer does and the
// advice the program gives; the number, the steps and the activity wait behind Show details.
// Anything else still says the program met a problem.
TEST_F(SupportDialogs, AnOrdinaryFailureIsItsOwnSentenceWithTheRestInDetails) {
    const struct {
        long number;
        const char* heading;
        const char* shownNumber;
        bool advised;
    } cases[] = {{53, "The data file \"/srv/office.yrd\" does not exist.", "53", true},
                 {ErrNo::DataSource, "The data file \"/srv/office.yrd\" does not exist.",
                  "-2147467259 (0x80004005)", true},
                 {440, "Tallyrow Reports has met a problem.", "440", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        QtErrorReporter reporter;
        reporter.setProductName(kProductName);
        reporter.setAdvice(QStringLiteral("Choose another with Tools > Change Data File."));
        QString heading;
        QString whatToDo;
        QString where;
        QString number;
        bool detailsAtFirst = true;
        bool detailsAfterClick = false;
        whenShown(QStringLiteral("frmErrorReport"), [&](QWidget* w) {
            heading = w->findChild<QLabel*>(QStringLiteral("lblHeading"))->text();
            if (auto* label = w->findChild<QLabel*>(QStringLiteral("lblWhatToDo")))
                whatToDo = label->text();
            where = w->findChild<QLabel*>(QStringLiteral("lblWhere"))->text();
            number = w->findChild<QLabel*>(QStringLiteral("lblNumber"))->text();
            QWidget* details = w->findChild<QWidget*>(QStringLiteral("wdgDetails"));
            detailsAtFirst = details->isVisible();
            w->findChild<QPushButton*>(QStringLiteral("cmdShowDetails"))->click();
            detailsAfterClick = details->isVisible();
            w->findChild<QPushButton*>(QStringLiteral("cmdIgnore"))->click();
        });
        EXPECT_EQ(reporter.ReportError(Failure{
                      Error(c.number, QStringLiteral("The data file \"/srv/office.yrd\" does not exist.")),
                      {QStringLiteral("opening the data file")},
                      {}}),
                  ReportAnswer::Ignore);
        EXPECT_EQ(heading, QLatin1String(c.heading));
        EXPECT_EQ(where, QStringLiteral("opening the data file"));
        if (c.shownNumber) {
            EXPECT_EQ(number, QLatin1String(c.shownNumber));
        }
        EXPECT_EQ(whatToDo.contains(QStringLiteral("Tools > Change Data File")), c.advised);
        EXPECT_EQ(whatToDo.contains(QStringLiteral("Nothing is lost")), c.advised) << "Abort loses nothing";
        EXPECT_FALSE(detailsAtFirst);
        EXPECT_TRUE(detailsAfterClick);
    }
}

// With no program on the desktop for web pages, opening the manual says it failed (the caller
// then tells the user where the manual is) instead of seeming to work.
TEST_F(SupportDialogs, OpeningAPageWithoutABrowserFails) {
    QTemporaryDir empty;
    const QByteArray saved[] = {qgetenv("BROWSER"), qgetenv("XDG_DATA_HOME"), qgetenv("XDG_DATA_DIRS"),
                                qgetenv("XDG_CONFIG_HOME"), qgetenv("XDG_CONFIG_DIRS")};
    qunsetenv("BROWSER");
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
        qputenv(name, QFile::encodeName(empty.path()));
    installWidgetServices();
    EXPECT_FALSE(
        services().openUrl(QUrl::fromLocalFile(empty.filePath(QStringLiteral("index.html"))).toString()));
    const char* names[] = {"BROWSER", "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        if (saved[i].isNull())
            qunsetenv(names[i]);
        else
            qputenv(names[i], saved[i]);
    }
}

TEST_F(SupportDialogs, MessageBoxOffersTheFlagsButtonsAndAnswersTheClickedOne) {
    installWidgetServices();
    session().messageBox.reset();
    QStringList names;
    QString defaultName;
    whenShown(QStringLiteral("frmMessageBox"), [&](QWidget* w) {
        for (const char* name : {"cmdYes", "cmdNo", "cmdCancel", "cmdOK"})
            if (auto* b = w->findChild<QPushButton*>(QString::fromLatin1(name))) {
                names << b->objectName() + u':' + b->text();
                if (b->isDefault())
                    defaultName = b->objectName();
            }
        w->findChild<QPushButton*>(QStringLiteral("cmdNo"))->click();
    });
    EXPECT_EQ(showMessageBox(session(), QStringLiteral("Save?"),
                             MsgFlag::YesNoCancel | MsgFlag::Question | MsgFlag::DefaultButton3,
                             QStringLiteral("~NoTitle~")),
              MsgAnswer::No);
    // Each button has its Alt key.
    EXPECT_EQ(names, (QStringList{QStringLiteral("cmdYes:&Yes"), QStringLiteral("cmdNo:&No"),
                                  QStringLiteral("cmdCancel:&Cancel")}));
    EXPECT_EQ(defaultName, QStringLiteral("cmdCancel"));
    EXPECT_NE(dynamic_cast<QtMessageBox*>(session().messageBox.get()), nullptr);
}

TEST_F(SupportDialogs, TickedCheckBoxIsRememberedByTheDesktopBox) {
    installWidgetServices();
    session().messageBox.reset();
    setUpMessageBox(session());
    QString caption;
    whenShown(QStringLiteral("frmMessageBox"), [&](QWidget* w) {
        auto* check = w->findChild<QCheckBox*>(QStringLiteral("chkRemember"));
        ASSERT_NE(check, nullptr);
        caption = check->text();
        check->setChecked(true);
        w->findChild<QPushButton*>(QStringLiteral("cmdYes"))->click();
    });
    const auto ask = [this] {
        session().messageBox->setShowCheckBox(true);
        session().messageBox->setCheckBoxCaption(QStringLiteral("Always overwrite without asking"));
        session().messageBox->setCheckedAnswer(MsgAnswer::Yes);
        return session().messageBox->Show(QStringLiteral("Overwrite?"), 36, QStringLiteral("File exists"), {},
                                          -1, QStringLiteral("Always overwrite report"), nullptr);
    };
    EXPECT_EQ(ask(), MsgAnswer::Yes);
    EXPECT_EQ(caption, QStringLiteral("Always overwrite without asking"));
    EXPECT_EQ(ask(), MsgAnswer::Yes); // answered without a window: nothing would click it
}

TEST_F(SupportDialogs, PlainFallbackBoxAnswers) {
    clickWhenShown(QStringLiteral("frmMessageBox"), QStringLiteral("cmdOK"));
    MessageRequest request;
    request.prompt = QStringLiteral("I am not able to run the error handler.");
    request.buttons = 4112;
    request.title = QStringLiteral("Can't initilise error handler");
    request.showCheckBox = true;
    EXPECT_EQ(showPlainMessageBox(request), MsgAnswer::OK);
}

TEST_F(SupportDialogs, FileSearchLeavesNoBusyCursorBehind) {
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(fileExists(env().path(QStringLiteral("missing*")), FileAttr::Directory));
    EXPECT_TRUE(fileExists(env().root(), FileAttr::Directory));
    EXPECT_FALSE(fileExists(QStringLiteral("  ")));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
