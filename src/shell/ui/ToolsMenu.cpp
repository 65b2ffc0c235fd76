#include "shell/ui/ToolsMenu.h"

#include "shell/ui/DataFileStatus.h"
#include "support/CommandLine.h"
#include "support/ErrorReporter.h"
#include "support/MessageBoxEx.h"
#include "support/Registry.h"
#include "support/Services.h"
#include "support/Session.h"
#include "support/StepRunner.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

using namespace Qt::StringLiterals;

namespace tallyrow {

ToolsMenu::ToolsMenu(Session& session, Actions actions, DataFileStatus& status, QMainWindow* window)
    : QObject(window), m_session(session), m_actions(std::move(actions)) {
    QMenu* tools = window->menuBar()->addMenu(u"&Tools"_s);
    tools->setObjectName(u"mnuTools"_s);
    auto makeAction = [this, tools](const QString& name, const QString& caption, auto handler) {
        QAction* action = tools->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    makeAction(u"mnuSelectDataPath"_s, u"&Change Data File..."_s, [this] {
        m_actions.changeDataFile();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    tools->addSeparator();
    makeAction(u"mnuDataFileWait"_s, u"&Wait for a Locked Data File..."_s,
               [this, &status] { status.askWait(m_actions.runDialog); });
    makeAction(u"mnuResetAnswers"_s, u"&Reset Remembered Answers..."_s, [this] { resetAnswers(); });
}

void ToolsMenu::resetAnswers() {
    StepRunner run(askThrough(m_actions.errors()), u"resetting the remembered answers"_s,
                   u"processing menu click"_s, false);
    run.step([this] {
        const int answer =
            showMessageBox(m_session,
                           u"Show again every message you asked not to be shown, with its choices? "_s +
                               u"Answers you told the program to remember will be forgotten."_s,
                           MsgFlag::YesNo | MsgFlag::Question, u"Reset remembered answers"_s, QString(), 0,
                           QString(), nullptr);
        if (answer != MsgAnswer::Yes)
            return;
        if (!ForgetRememberedAnswers(applicationKey()))
            tellUser(m_session,
                     u"The remembered answers could not be reset: the settings file "_s +
                         hiveFilePath(kSettingsHive) + u" cannot be written."_s,
                     MsgFlag::OKOnly | MsgFlag::Exclamation, u"Reset remembered answers"_s);
    });
}

} // namespace tallyrow
