// The change-data-file dialog takes a server URI where it takes a file path.
#include "ScratchDatabase.h"

#include "datafile/DataPath.h"
#include "datafile/PostgresUri.h"
#include "datafile/ui/BrowseButton.h"
#include "datafile/ui/SelectDataDialog.h"
#include "support/CommandLine.h"
#include "testsupport/TestEnv.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tallyrow;

namespace {

class ServerDialog : public test::ServicesFixture {
protected:
    void SetUp() override {
        ServicesFixture::SetUp();
        if (test::testServerUri().isEmpty())
            GTEST_SKIP() << test::kNoTestServer;
        session().dataPath.clear();
        session().commandLineDataPath.clear();
        m_db = std::make_unique<test::ScratchDatabase>();
        ASSERT_TRUE(m_db->ok());
        ASSERT_TRUE(m_db->loadSchema());
        session().dataPath = env().path(QStringLiteral("old.yrd"));
        dialog = std::make_unique<SelectDataDialog>(session());
    }
    void TearDown() override {
        dialog.reset();
        session().dataPath.clear();
        m_db.reset();
        ServicesFixture::TearDown();
    }

    QPushButton* button(const char* name) const {
        return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    void type(const QString& text) {
        QLineEdit* field = dialog->findChild<BrowseButton*>(QStringLiteral("brsDataPath"))
                               ->findChild<QLineEdit*>(QStringLiteral("txtPath"));
        ASSERT_NE(field, nullptr);
        field->clear();
        QTest::keyClicks(field, text);
    }

    std::unique_ptr<test::ScratchDatabase> m_db;
    std::unique_ptr<SelectDataDialog> dialog;
};

TEST_F(ServerDialog, AUriEnablesOkAndBecomesTheSessionsSource) {
    type(m_db->uri());
    EXPECT_TRUE(button("cmdOK")->isEnabled());
    EXPECT_TRUE(button("cmdApply")->isEnabled());
    button("cmdOK")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dataPathOf(session(), kDefaultDataFileName).toStdString(), m_db->uri().toStdString());
    EXPECT_TRUE(errorReporter()->calls().isEmpty());
    EXPECT_TRUE(messageBox()->requests().isEmpty());
}

TEST_F(ServerDialog, AServerThatRefusesIsReportedWithoutThePassword) {
    const QString wrong = test::withPassword(m_db->uri(), QStringLiteral("Not-The-Password"));
    type(wrong);
    ASSERT_TRUE(button("cmdApply")->isEnabled());
    button("cmdApply")->click();

    EXPECT_EQ(dataPathOf(session(), kDefaultDataFileName).toStdString(),
              env().path(QStringLiteral("old.yrd")).toStdString());
    ASSERT_EQ(errorReporter()->calls().size(), 1);
    const QString reported = errorReporter()->calls().first().description;
    EXPECT_TRUE(reported.contains(QStringLiteral("refused the password"))) << reported.toStdString();
    EXPECT_TRUE(reported.contains(redactedPostgresUri(wrong))) << reported.toStdString();
    ASSERT_EQ(messageBox()->requests().size(), 1);
    const QString prompt = messageBox()->requests().first().prompt;
    EXPECT_TRUE(prompt.contains(redactedPostgresUri(wrong))) << prompt.toStdString();
    for (const QString& text : {reported, prompt})
        EXPECT_FALSE(text.contains(QStringLiteral("Not-The-Password"))) << text.toStdString();
}

} // namespace
