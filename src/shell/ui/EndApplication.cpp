#include "shell/ui/EndApplication.h"

#include "support/ErrorReporter.h"
#include "support/Services.h"
#include "support/Session.h"
#include "support/StepRunner.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace tallyrow {

void endApplication(Session& session) {
    session.ended = true;
    ignoringFailures([] {
        QList<QPointer<QWidget>> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            windows << w;
        for (const QPointer<QWidget>& w : windows)
            if (w && w->isVisible())
                w->close();
    });
    ignoringFailures([&] {
        if (session.errorReporter)
            session.errorReporter.release()->deleteLater();
    });
    ignoringFailures([] { QCoreApplication::exit(0); });
}

} // namespace tallyrow
