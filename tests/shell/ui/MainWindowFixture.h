#pragma once

#include "datafile/DataPath.h"
#include "datafile/ui/SelectDataDialog.h"
#include "engine/ui/ReportViewer.h"
#include "shell/ui/EndApplication.h"
#include "shell/ui/MainWindow.h"
#include "support/CommandLine.h"
#include "testsupport/ActivityData.h"
#include "testsupport/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace tallyrow::test {

/// A main window loaded on a data file the test writes, with every modal dialog answered by
/// the test instead of a person.
class MainWindowFixture : public ServicesFixture {
protected:
    void SetUp() override {
        ServicesFixture::SetUp();
        ensureWidgetsApp();
        session().dataPath.clear();
        session().ended = false;
        dataPath = env().path(QStringLiteral("office.yrd"));
        session().commandLineDataPath = dataPath;
        MainWindow::setStoreCacheFolder(env().path(QStringLiteral("snapshots")));
        MainWindow::setDialogRunner([this](QDialog& dialog) {
            dialogs << dialog.objectName();
            return onDialog ? onDialog(dialog) : int(QDialog::Rejected);
        });
    }

    void TearDown() override {
        window.reset();
        MainWindow::setDialogRunner(nullptr);
        MainWindow::setStoreCacheFolder(std::nullopt);
        session().dataPath.clear();
        session().ended = false;
        ServicesFixture::TearDown();
    }

    /// Writes the data file and loads a window on it.
    MainWindow& load(const QVector<ActivityRow>& rows) {
        writeSqliteDataFile(dataPath, rows);
        window = std::make_unique<MainWindow>(session());
        EXPECT_TRUE(window->load());
        EXPECT_TRUE(waitForData());
        return *window;
    }

    /// Waits until the window has read its data file (the list is filled then).
    bool waitForData() {
        return QTest::qWaitFor([this] { return !window->isLoadingData(); }, 20000);
    }

    /// A few people over the week before today (2024-05-15), this user on this computer among them.
    static QVector<ActivityRow> office() {
        QVector<ActivityRow> rows;
        for (int d = 1; d <= 14; ++d) {
            const QDate day(2024, 5, d);
            rows.append(dayRow(QStringLiteral("tester"), QStringLiteral("TESTPC"), day, officeHours(2400)));
            rows.append(dayRow(QStringLiteral("alice"), QStringLiteral("PC1"), day, officeHours(1800)));
            rows.append(dayRow(QStringLiteral("alice"), QStringLiteral("TESTPC"), day, officeHours(600)));
        }
        return rows;
    }

    template <typename T> T* child(const QString& name) const {
        T* found = window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QAction* action(const QString& name) const { return child<QAction>(name); }
    engine::ReportViewer* viewer() const { return child<engine::ReportViewer>(QStringLiteral("arvPreview")); }

    /// Presses the preview button and waits until the viewer has shown the report.
    bool previewAndWait() {
        child<QPushButton>(QStringLiteral("cmdPreviewReport"))->click();
        return QTest::qWaitFor([this] { return action(QStringLiteral("mnuFileSave"))->isEnabled(); }, 10000);
    }

    /// Shows the window and makes it active so that focus moves can be checked.
    void showActive() {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    QString dataPath;
    std::unique_ptr<MainWindow> window;
    QStringList dialogs;
    std::function<int(QDialog&)> onDialog;
};

} // namespace tallyrow::test
