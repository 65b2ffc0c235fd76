#include "support/Error.h"
#include "support/Registry.h"
#include "support/ScriptedErrorReporter.h"
#include "support/Services.h"

#include "testsupport/TestEnv.h"

using namespace tallyrow;
using tallyrow::test::ServicesFixture;

namespace {

class FailingMessageBox final : public MessageBoxEx {
protected:
    MessageResult present(const MessageRequest&) override {
        throw Error(ErrNo::Unexpected, QStringLiteral("no screen"), QStringLiteral("Show"));
    }
};

const QString kOverwrite = QStringLiteral("Always overwrite report");

int askOverwrite(MessageBoxEx& box) {
    box.setShowCheckBox(true);
    box.setCheckBoxCaption(QStringLiteral("Always overwrite without asking"));
    box.setCheckedAnswer(MsgAnswer::Yes);
    return box.Show(QStringLiteral("The file exists. Do you want to overwrite it?"), 36,
                    QStringLiteral("File exists"), {}, -1, kOverwrite, nullptr);
}

} // namespace

class MessageBoxes : public ServicesFixture {};

TEST_F(MessageBoxes, NoTitleBecomesTheApplicationTitle) {
    EXPECT_EQ(
        showMessageBox(session(), QStringLiteral("Hello"), MsgFlag::OKOnly, QStringLiteral("~NoTitle~")),
        MsgAnswer::OK);
    EXPECT_EQ(
        showMessageBox(session(), QStringLiteral("Hello"), MsgFlag::OKOnly, QStringLiteral("Own title")),
        MsgAnswer::OK);
    ASSERT_EQ(messageBox()->requests().size(), 2);
    EXPECT_EQ(messageBox()->requests()[0].title, kProductName);
    EXPECT_EQ(messageBox()->requests()[1].title, QStringLiteral("Own title"));
}

TEST_F(MessageBoxes, MsgBoxCreatesTheMessageBoxWhenMissing) {
    session().messageBox.reset();
    messageBox(); // nothing installed
    EXPECT_EQ(showMessageBox(session(), QStringLiteral("Sure?"), MsgFlag::YesNo, QStringLiteral("t")),
              MsgAnswer::Yes);
    ASSERT_NE(messageBox(), nullptr);
    EXPECT_EQ(messageBox()->requests().size(), 1);
    EXPECT_TRUE(env().platformRequests().isEmpty());
}

TEST_F(MessageBoxes, MsgBoxFallsBackToThePlatformBox) {
    session().messageBox = std::make_unique<FailingMessageBox>();
    EXPECT_EQ(showMessageBox(session(), QStringLiteral("Sure?"), MsgFlag::YesNo | MsgFlag::DefaultButton2,
                             QStringLiteral("~NoTitle~"), QStringLiteral("tyrow.hlp"), 12),
              MsgAnswer::No);
    ASSERT_EQ(env().platformRequests().size(), 1);
    const MessageRequest& shown = env().platformRequests().first();
    EXPECT_EQ(shown.prompt, QStringLiteral("Sure?"));
    EXPECT_EQ(shown.title, kProductName);
    EXPECT_EQ(shown.helpFile, QStringLiteral("tyrow.hlp"));
    EXPECT_EQ(shown.helpContext, 12);
}

TEST_F(MessageBoxes, MsgBoxRaisesOverrideFailureWhenBothBoxesFail) {
    session().messageBox = std::make_unique<FailingMessageBox>();
    services().platformMessageBox = [](const MessageRequest&) -> int {
        throw Error(ErrNo::PermissionDenied, QStringLiteral("Permission denied"), QStringLiteral("Platform"));
    };
    try {
        showMessageBox(session(), QStringLiteral("x"), 0, QStringLiteral("t"));
        FAIL() << "the failure was swallowed";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrNo::PermissionDenied);
        EXPECT_EQ(e.description(), QStringLiteral("qm MsgBox Override Permission denied"));
    }
}

TEST_F(MessageBoxes, MessageReportsItsFailureAndReturnsNoAnswer) {
    session().messageBox = std::make_unique<FailingMessageBox>();
    services().platformMessageBox = {};
    errorReporter()->queueAnswer(ReportAnswer::Ignore);
    EXPECT_EQ(tellUser(session(), QStringLiteral("x"), 0, QStringLiteral("t")), 0);
    ASSERT_EQ(errorReporter()->calls().size(), 1);
    const auto& call = errorReporter()->calls().first();
    EXPECT_EQ(call.steps, QStringList{QStringLiteral("showing a message")});
    EXPECT_EQ(call.activity, QString());
    EXPECT_TRUE(call.description.startsWith(QStringLiteral("qm MsgBox Override ")));
}

TEST_F(MessageBoxes, MessageIsAPlainMsgBox) {
    messageBox()->queueAnswer(MsgAnswer::Cancel);
    EXPECT_EQ(tellUser(session(), QStringLiteral("Go on?"), MsgFlag::OKCancel, QStringLiteral("Question")),
              MsgAnswer::Cancel);
    const MessageRequest& shown = messageBox()->requests().first();
    EXPECT_EQ(shown.buttons, MsgFlag::OKCancel);
    EXPECT_TRUE(shown.helpFile.isEmpty());
    EXPECT_TRUE(shown.rememberName.isEmpty());
    EXPECT_EQ(shown.owner, nullptr);
}

TEST_F(MessageBoxes, SettingUpConfiguresModeAndSettingsKey) {
    setUpMessageBox(session());
    ASSERT_NE(messageBox(), nullptr);
    EXPECT_EQ(session().messageBox->Mode(), 2);
    EXPECT_EQ(session().messageBox->SettingsKey(), applicationKey());
    session().messageBox.reset();
    setUpMessageBox(session());
    ASSERT_NE(session().messageBox, nullptr);
    EXPECT_EQ(session().messageBox->SettingsKey(), applicationKey());
}

TEST_F(MessageBoxes, TickedAnswerIsRememberedAndAnsweredWithoutShowing) {
    setUpMessageBox(session());
    messageBox()->queueAnswer(MsgAnswer::Yes, true);
    EXPECT_EQ(askOverwrite(*session().messageBox), MsgAnswer::Yes);
    ASSERT_EQ(messageBox()->requests().size(), 1);
    EXPECT_TRUE(messageBox()->requests()[0].showCheckBox);
    EXPECT_EQ(messageBox()->requests()[0].checkBoxCaption, QStringLiteral("Always overwrite without asking"));

    messageBox()->queueAnswer(MsgAnswer::No);
    EXPECT_EQ(askOverwrite(*session().messageBox), MsgAnswer::Yes);
    EXPECT_EQ(messageBox()->requests().size(), 1); // not shown again

    // The choice outlives the box: it is kept in the per-user settings.
    auto later = std::make_unique<ScriptedMessageBox>();
    later->setSettingsKey(applicationKey());
    EXPECT_EQ(later->Show(QStringLiteral("?"), 36, QStringLiteral("t"), {}, 0, kOverwrite, nullptr),
              MsgAnswer::Yes);
    EXPECT_TRUE(later->requests().isEmpty());
    EXPECT_EQ(
        later->Show(QStringLiteral("?"), 36, QStringLiteral("t"), {}, 0, QStringLiteral("Other"), nullptr),
        MsgAnswer::Yes);
    EXPECT_EQ(later->requests().size(), 1);
}

TEST_F(MessageBoxes, OnlyATickedBoxWithTheAnswerItStandsForIsRemembered) {
    setUpMessageBox(session());
    messageBox()->queueAnswer(MsgAnswer::Yes, false); // not ticked
    askOverwrite(*session().messageBox);
    messageBox()->queueAnswer(MsgAnswer::No, true); // ticked, but "always overwrite" was not the answer
    EXPECT_EQ(askOverwrite(*session().messageBox), MsgAnswer::No);
    messageBox()->queueAnswer(MsgAnswer::No);
    EXPECT_EQ(askOverwrite(*session().messageBox), MsgAnswer::No);
    EXPECT_EQ(messageBox()->requests().size(), 3);

    // Without a check-box answer, whatever the ticked box answered is remembered.
    messageBox()->queueAnswer(MsgAnswer::OK, true);
    session().messageBox->setShowCheckBox(true);
    session().messageBox->Show(QStringLiteral("Report saved"), 65600, QStringLiteral("Report saved"), {}, -1,
                               QStringLiteral("Report saved confirmation"), nullptr);
    EXPECT_EQ(session().messageBox->Show(QStringLiteral("Report saved"), 65600,
                                         QStringLiteral("Report saved"), {}, -1,
                                         QStringLiteral("Report saved confirmation"), nullptr),
              MsgAnswer::OK);
    EXPECT_EQ(messageBox()->requests().size(), 4);
}

TEST_F(MessageBoxes, NothingIsRememberedWithoutNameOrSettingsKey) {
    messageBox()->queueAnswer(MsgAnswer::Yes, true); // no settings key yet
    askOverwrite(*session().messageBox);
    setUpMessageBox(session());
    messageBox()->queueAnswer(MsgAnswer::Yes, true);
    session().messageBox->setShowCheckBox(true);
    session().messageBox->Show(QStringLiteral("?"), 36, QStringLiteral("t"), {}, 0, {}, nullptr);
    messageBox()->queueAnswer(MsgAnswer::No);
    EXPECT_EQ(askOverwrite(*session().messageBox), MsgAnswer::No);
    EXPECT_EQ(messageBox()->requests().size(), 3);
}

TEST_F(MessageBoxes, CheckBoxSettingsApplyToTheNextBoxOnly) {
    session().messageBox->setShowCheckBox(true);
    session().messageBox->setCheckBoxCaption(QStringLiteral("Don't show this message again"));
    session().messageBox->setCheckedAnswer(MsgAnswer::Yes);
    showMessageBox(session(), QStringLiteral("one"), 0, QStringLiteral("t"));
    showMessageBox(session(), QStringLiteral("two"), 0, QStringLiteral("t"));
    ASSERT_EQ(messageBox()->requests().size(), 2);
    EXPECT_TRUE(messageBox()->requests()[0].showCheckBox);
    EXPECT_FALSE(messageBox()->requests()[1].showCheckBox);
    EXPECT_TRUE(messageBox()->requests()[1].checkBoxCaption.isEmpty());
    EXPECT_FALSE(session().messageBox->ShowCheckBox());
    EXPECT_EQ(session().messageBox->CheckedAnswer(), 0);
}

TEST_F(MessageBoxes, DamagedRememberedAnswersAreIgnored) {
    setUpMessageBox(session());
    writeSettingsValue(kSettingsHive, applicationKey() + QStringLiteral("\\Remembered Answers"), kOverwrite,
                       QStringLiteral("not an answer"), RegType::Text, true);
    messageBox()->queueAnswer(MsgAnswer::No);
    EXPECT_EQ(askOverwrite(*session().messageBox), MsgAnswer::No);
    EXPECT_EQ(messageBox()->requests().size(), 1);
}

TEST(ScriptedMessageBox, AnswersLikeEnterWhenNothingIsQueued) {
    struct Case {
        int flags;
        int answer;
    };
    const QList<Case> cases = {
        {MsgFlag::OKOnly, MsgAnswer::OK},
        {MsgFlag::OKCancel, MsgAnswer::OK},
        {MsgFlag::AbortRetryIgnore, MsgAnswer::Abort},
        {MsgFlag::YesNoCancel, MsgAnswer::Yes},
        {MsgFlag::YesNo | MsgFlag::Question, MsgAnswer::Yes},
        {MsgFlag::RetryCancel, MsgAnswer::Retry},
        {MsgFlag::YesNo | MsgFlag::DefaultButton2, MsgAnswer::No},
        {MsgFlag::YesNoCancel | MsgFlag::DefaultButton3, MsgAnswer::Cancel},
        {MsgFlag::OKOnly | MsgFlag::DefaultButton3, MsgAnswer::OK}, // no third button: the first
        {MsgFlag::Critical | MsgFlag::SystemModal, MsgAnswer::OK},
    };
    ScriptedMessageBox box;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(box.Show(QStringLiteral("?"), c.flags, QStringLiteral("t"), {}, 0, {}, nullptr), c.answer);
    }
    box.queueAnswer(MsgAnswer::Cancel);
    EXPECT_EQ(box.Show(QStringLiteral("?"), MsgFlag::OKCancel, QStringLiteral("t"), {}, 0, {}, nullptr),
              MsgAnswer::Cancel);
    EXPECT_EQ(box.requests().size(), cases.size() + 1);
}
