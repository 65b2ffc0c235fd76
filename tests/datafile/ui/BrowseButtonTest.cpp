#include "datafile/ui/BrowseButton.h"

#include "FakeChooser.h"
#include "testsupport/TestEnv.h"
#include "datafile/MemoryPropertyStore.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace tallyrow {
namespace {

class BrowseButtonTest : public test::ServicesFixture {
protected:
    void SetUp() override {
        ServicesFixture::SetUp();
        control = std::make_unique<BrowseButton>();
        chooser = std::make_shared<test::FakeChooser>();
        control->setFileChooser(chooser);
    }
    void TearDown() override {
        control.reset();
        ServicesFixture::TearDown();
    }

    QLineEdit* txtPath() const { return control->findChild<QLineEdit*>(u"txtPath"_s); }
    QPushButton* cmdBrowse() const { return control->findChild<QPushButton*>(u"cmdBrowse"_s); }

    QString makeFile(const QString& relative) {
        const QString path = env().path(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }

    std::unique_ptr<BrowseButton> control;
    std::shared_ptr<test::FakeChooser> chooser;
};

TEST_F(BrowseButtonTest, DialogStartsInTheFolderTheTextPointsAt) {
    const QString file = makeFile(u"data/a.yrd"_s);
    const QString folder = env().path(u"data"_s);
    const QString program = env().programFolder();
    struct Case {
        const char* name;
        QString text;
        QString expected;
    };
    const Case cases[] = {
        {"empty text", {}, program},
        {"blanks only", u"   "_s, program},
        {"existing file", file, file},
        {"existing folder", folder, folder},
        {"quoted file with blanks around", u"  \""_s + file + u"\" "_s, file},
        {"missing file in an existing folder keeps the final slash", folder + u"/missing.yrd"_s,
         folder + u"/"_s},
        {"missing file in a missing folder", env().path(u"nowhere/missing.yrd"_s), program},
        {"bare name without a folder", u"missing.yrd"_s, program},
        {"file in the root", u"/no-such-file-here.yrd"_s, u"/"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        control->setPath(c.text);
        cmdBrowse()->click();
        EXPECT_EQ(chooser->lastInitialFolder, c.expected);
    }
}

TEST_F(BrowseButtonTest, ChosenFileReplacesThePathWithOneChange) {
    control->setPath(u"/old/path.yrd"_s);
    QSignalSpy changes(control.get(), &BrowseButton::Change);

    chooser->answer = std::nullopt; // cancelled
    cmdBrowse()->click();
    EXPECT_EQ(control->Path(), u"/old/path.yrd"_s);

    chooser->answer = u"/old/path.yrd"_s; // the file already in the field
    cmdBrowse()->click();
    EXPECT_EQ(changes.count(), 0);

    chooser->answer = u"/new/file.yrd"_s;
    cmdBrowse()->click();
    EXPECT_EQ(control->Path(), u"/new/file.yrd"_s);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(chooser->calls, 3);
}

TEST_F(BrowseButtonTest, DialogGetsTitleFilterAndIndexAndRepairsMissingOnes) {
    cmdBrowse()->click();
    EXPECT_EQ(chooser->lastTitle, u"Open"_s);
    EXPECT_EQ(chooser->lastFilter, u"All Files (*.*)|*.*|"_s);
    EXPECT_EQ(chooser->lastFilterIndex, 1);

    control->setDialogTitle(u"Pick one"_s);
    control->setFilter({});
    control->setFilterIndex(0);
    cmdBrowse()->click();
    EXPECT_EQ(chooser->lastTitle, u"Pick one"_s);
    EXPECT_EQ(chooser->lastFilter, u"All Files (*.*)|*.*|"_s);
    EXPECT_EQ(chooser->lastFilterIndex, 1);
}

TEST_F(BrowseButtonTest, EveryTextChangeRaisesChange) {
    QSignalSpy changes(control.get(), &BrowseButton::Change);
    QSignalSpy marks(control.get(), &BrowseButton::propertyChanged);

    QTest::keyClicks(txtPath(), u"/ab"_s);
    EXPECT_EQ(changes.count(), 3);

    control->setPath(u"/ab"_s); // same text: nothing changed
    EXPECT_EQ(changes.count(), 3);
    control->setPath(u"/abc"_s);
    EXPECT_EQ(changes.count(), 4);
    ASSERT_EQ(marks.count(), 2);
    EXPECT_EQ(marks.at(0).at(0).toString(), u"Path"_s);
}

TEST_F(BrowseButtonTest, OnlyChangedSettingsAreStoredAndReadBack) {
    MemoryPropertyStore store;
    control->WriteProperties(store);
    EXPECT_TRUE(store.keys().isEmpty());

    control->setPath(u"/data/x.yrd"_s);
    control->setCaption(u"Find..."_s);
    control->setFilterIndex(2);
    control->setFilter(u"Text(*.txt)|*.txt|"_s);
    control->setDialogTitle(u"Title"_s);
    control->setControlEnabled(false);
    control->WriteProperties(store);
    EXPECT_EQ(store.keys(), QStringList({u"path"_s, u"caption"_s, u"filterindex"_s, u"filter"_s,
                                         u"dialogtitle"_s, u"enabled"_s}));

    BrowseButton copy;
    QSignalSpy changes(&copy, &BrowseButton::Change);
    copy.ReadProperties(store);
    EXPECT_EQ(copy.Path(), u"/data/x.yrd"_s);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(copy.Caption(), u"Find..."_s);
    EXPECT_EQ(copy.FilterIndex(), 2);
    EXPECT_EQ(copy.Filter(), u"Text(*.txt)|*.txt|"_s);
    EXPECT_EQ(copy.DialogTitle(), u"Title"_s);
    EXPECT_FALSE(copy.Enabled());

    // Back at the design values, the keys go away again.
    control->setPath({});
    control->setCaption(u"Browse"_s);
    control->setControlEnabled(true);
    control->WriteProperties(store);
    EXPECT_EQ(store.keys(), QStringList({u"filterindex"_s, u"filter"_s, u"dialogtitle"_s}));
}

TEST_F(BrowseButtonTest, StoredKeysAreMatchedWithoutCase) {
    const MemoryPropertyStore store{{u"FILTERINDEX"_s, 3}, {u"DialogTitle"_s, u"T"_s}};
    EXPECT_EQ(store.keys(), QStringList({u"filterindex"_s, u"dialogtitle"_s}));
    control->ReadProperties(store);
    EXPECT_EQ(control->FilterIndex(), 3);
    EXPECT_EQ(control->DialogTitle(), u"T"_s);
    EXPECT_EQ(control->Caption(), u"Browse"_s);
}

TEST_F(BrowseButtonTest, ButtonHugsTheRightEdgeEvenWhenTooNarrow) {
    QWidget host;
    control->setParent(&host);
    host.show(); // a hidden control lays itself out when it is shown
    const int gap = qRound(30 * control->logicalDpiX() / 1440.0);
    const int buttonWidth = cmdBrowse()->width();
    for (const int width : {400, buttonWidth + gap + 1, buttonWidth - 20}) {
        SCOPED_TRACE(width);
        control->resize(width, control->height());
        EXPECT_EQ(cmdBrowse()->x(), width - buttonWidth);
        EXPECT_EQ(cmdBrowse()->width(), buttonWidth);
        EXPECT_EQ(txtPath()->x(), 0);
        EXPECT_EQ(txtPath()->width(), std::abs(width - buttonWidth - gap));
    }
    EXPECT_LT(cmdBrowse()->x(), 0);
    control->setParent(nullptr);
}

TEST_F(BrowseButtonTest, EnabledCoversBothPartsButReportsTheButton) {
    QSignalSpy marks(control.get(), &BrowseButton::propertyChanged);
    control->setControlEnabled(false);
    EXPECT_FALSE(cmdBrowse()->isEnabled());
    EXPECT_FALSE(txtPath()->isEnabled());
    EXPECT_FALSE(control->Enabled());
    EXPECT_EQ(marks.count(), 1);

    control->setControlEnabled(true);
    txtPath()->setEnabled(false);
    EXPECT_TRUE(control->Enabled());
    EXPECT_TRUE(control->property("Enabled").toBool());
}

// Runs `act` on the file dialog while it is up, again on every tick until it has closed (the
// dialog may refuse an answer while it is still reading the folder). Never leaves a test blocked.
class FileDialogDriver {
public:
    explicit FileDialogDriver(std::function<void(QFileDialog*)> act) {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [act] {
            // Until the dialog's own event loop runs, closing it would leave that loop waiting forever.
            if (QThread::currentThread()->loopLevel() == 0)
                return;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible())
                    act(dialog);
            }
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

TEST_F(BrowseButtonTest, DesktopDialogStartsBesideTheFileAndTakesNewNames) {
    const QString file = makeFile(u"data/a.yrd"_s);
    const QString filter =
        u"All Files (*.*)|*.*|Tallyrow Data Files(*.yrd)|*.yrd|All Data Files(*.yrd;*.mdb)|*.yrd;*.mdb|"_s;
    DialogFileChooser desktop;

    QString title, selectedFilter, folder;
    {
        const FileDialogDriver cancel([&](QFileDialog* dialog) {
            title = dialog->windowTitle();
            selectedFilter = dialog->selectedNameFilter();
            folder = dialog->directory().absolutePath();
            dialog->reject();
        });
        EXPECT_EQ(desktop.chooseFile(control.get(), u"Tallyrow data file"_s, filter, 2, file), std::nullopt);
    }
    EXPECT_EQ(title, u"Tallyrow data file"_s);
    EXPECT_EQ(selectedFilter, u"Tallyrow Data Files(*.yrd)"_s); // as shown, without the repeated patterns
    EXPECT_EQ(folder, env().path(u"data"_s));

    // A name that does not exist yet is a valid answer.
    const FileDialogDriver choose([](QFileDialog* dialog) {
        // Typed into the name field, as a user would (selectFile leaves a focused field alone).
        if (auto* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s))
            name->setText(u"new.yrd"_s);
        QMetaObject::invokeMethod(dialog, "accept"); // what the Open button does
    });
    EXPECT_EQ(desktop.chooseFile(control.get(), u"Open"_s, filter, 1, env().path(u"data"_s)),
              env().path(u"data/new.yrd"_s));
}

TEST(BrowseButtonFilters, FilterListBecomesDialogNameFilters) {
    EXPECT_EQ(
        qtNameFilters(
            u"All Files (*.*)|*.*|Tallyrow Data Files(*.yrd)|*.yrd|All Data Files(*.yrd;*.mdb)|*.yrd;*.mdb|"_s),
        QStringList({u"All Files (*.*) (*)"_s, u"Tallyrow Data Files(*.yrd) (*.yrd)"_s,
                     u"All Data Files(*.yrd;*.mdb) (*.yrd *.mdb)"_s}));
    // A list without its closing "|", and a description left without patterns.
    EXPECT_EQ(qtNameFilters(u"Text|*.txt|Odd"_s), QStringList({u"Text (*.txt)"_s}));
    EXPECT_TRUE(qtNameFilters({}).isEmpty());
}

} // namespace
} // namespace tallyrow
