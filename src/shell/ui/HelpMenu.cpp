#include "shell/ui/HelpMenu.h"

#include "shell/ui/AboutDialog.h"
#include "support/ErrorReporter.h"
#include "support/FileUtils.h"
#include "support/MessageBoxEx.h"
#include "support/Services.h"
#include "support/Session.h"
#include "support/StepRunner.h"

#include <QAction>
#include <QFileInfo>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace tallyrow {

HelpMenu::HelpMenu(Session& session, std::function<ErrorReporter*()> errors, QMainWindow* window)
    : QObject(window), m_session(session), m_errors(std::move(errors)), m_window(window) {
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), window);
    key->setContext(Qt::WindowShortcut);
    connect(key, &QShortcut::activated, this, [this] { showHelp(); });

    QMenu* help = window->menuBar()->addMenu(u"&Help"_s);
    help->setObjectName(u"mnuHelp"_s);
    QAction* contents = help->addAction(u"&Contents"_s);
    contents->setObjectName(u"mnuHelpContents"_s);
    connect(contents, &QAction::triggered, this, [this] { ignoringFailures([this] { showHelp(); }); });
    // Shown beside the item; the window's own F1 shortcut opens the help from anywhere.
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    contents->setShortcutContext(Qt::WidgetShortcut);
    QAction* about = help->addAction(u"&About"_s);
    about->setObjectName(u"mnuHelpAbout"_s);
    connect(about, &QAction::triggered, this, [this] { showAbout(); });
}

void HelpMenu::showHelp() {
    const QString folder = programFolderPath();
    QString target;
    if (!m_session.helpFile.isEmpty() && QFileInfo(folder + u'/' + m_session.helpFile).isFile())
        target = folder + u'/' + m_session.helpFile;
    else
        target = folder + u"/manual/index.html"_s;
    const bool shown = services().openUrl && services().openUrl(QUrl::fromLocalFile(target).toString());
    // Without a browser (or another viewer for the file) nothing would happen at all.
    if (!shown)
        tellUser(m_session,
                 u"No program to show the help could be started. You can open the manual in a web "_s +
                     u"browser: "_s + target,
                 MsgFlag::OKOnly | MsgFlag::Exclamation, u"Help"_s);
}

void HelpMenu::showAbout() {
    StepRunner run(askThrough(m_errors()), u"showing About"_s, u"processing menu click"_s, false);
    run.step([this] {
        // One about box per window: a second click brings the open one forward.
        if (!m_about) {
            m_about = new AboutDialog(m_window);
            m_about->setAttribute(Qt::WA_DeleteOnClose);
        }
        m_about->show();
        m_about->raise();
        m_about->activateWindow();
    });
}

} // namespace tallyrow
