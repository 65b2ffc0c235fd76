#include "shell/ui/EndApplication.h"

#include "support/ErrorReporter.h"
#include "support/Services.h"
#include "support/StepRunner.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace tallyrow {

namespace {
bool g_ended = false;
}

void EndApplication() {
    g_ended = true;
    ignoringFailures([] {
        QList<QPointer<QWidget>> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            windows << w;
        for (const QPointer<QWidget>& w : windows)
            if (w && w->isVisible())
                w->close();
    });
    ignoringFailures([] {
        if (gErrorReporter)
            gErrorReporter.release()->deleteLater();
    });
    ignoringFailures([] { QCoreApplication::exit(0); });
}

bool applicationEnded() {
    return g_ended;
}

void resetApplicationEnded() {
    g_ended = false;
}

} // namespace tallyrow
