// Opens the main window on a data file, sets up one report, previews it and, once the report is
// shown, touches a "ready" file so that docs/take-screenshots.sh can capture the screen. Runs
// until it is killed. Not installed: it only serves the manual's screenshots.
//
//   tallyrow-screenshot-driver --data FILE --report day|totals --from YYYY-MM-DD --to YYYY-MM-DD
//                              --ready FILE

#include "dateselector/ui/DateSelector.h"
#include "engine/PagePainter.h"
#include "shell/ui/MainWindow.h"
#include "support/CommandLine.h"
#include "support/ErrorReporter.h"
#include "support/Registry.h"
#include "support/Services.h"
#include "support/ui/QtErrorReporter.h"
#include "support/ui/QtMessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QIcon>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tallyrow;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QApplication::setWindowIcon(QIcon(u":/tallyrow-reports.svg"_s));
    installWidgetServices();
    engine::registerReportFonts();

    QString data, report = u"day"_s, ready;
    QDate from, to;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString& key = args[i];
        const QString& value = args[i + 1];
        if (key == u"--data")
            data = value;
        else if (key == u"--report")
            report = value;
        else if (key == u"--from")
            from = QDate::fromString(value, Qt::ISODate);
        else if (key == u"--to")
            to = QDate::fromString(value, Qt::ISODate);
        else if (key == u"--ready")
            ready = value;
    }
    if (data.isEmpty() || ready.isEmpty() || !from.isValid() || !to.isValid()) {
        std::fprintf(stderr, "usage: tallyrow-screenshot-driver --data FILE --report day|totals "
                             "--from YYYY-MM-DD --to YYYY-MM-DD --ready FILE\n");
        return 2;
    }

    Session session;
    session.errorReporter = std::make_unique<QtErrorReporter>();
    session.errorReporter->setProductName(kProductName);
    setUpMessageBox(session);
    session.commandLineDataPath = data;

    MainWindow window(session);
    if (!window.load())
        return 1;
    window.setGeometry(0, 0, 1280, 800);
    window.show();
    // The data file is read on a worker thread; the list is filled once it is in.
    while (window.isLoadingData())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    const bool day = report == u"day";
    window.findChild<QAction*>(day ? u"mnuReportsDay"_s : u"mnuReportsTotals"_s)->trigger();
    auto* dates = window.findChild<DateSelector*>(u"dtmDateReport"_s);
    dates->setStartDate(from);
    dates->setEndDate(to);
    auto* users = window.findChild<QComboBox*>(u"cboUserName"_s);
    users->setCurrentIndex(users->count() - 1); // everybody, when the office has several people
    window.findChild<QCheckBox*>(u"chkDateShowDetails"_s)->setChecked(true);
    if (day) {
        window.findChild<QComboBox*>(u"cboShowEachDay"_s)->setCurrentIndex(2);
        window.findChild<QTabWidget*>(u"tabOptions"_s)->setCurrentIndex(1);
    }
    window.findChild<QPushButton*>(u"cmdPreviewReport"_s)->click();

    auto* save = window.findChild<QAction*>(u"mnuFileSave"_s);
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [poll, save, ready] {
        if (!save->isEnabled())
            return;
        poll->stop();
        // Give the viewer a moment to paint the first page before the screen is captured.
        QTimer::singleShot(700, save, [ready] {
            QFile f(ready);
            f.open(QIODevice::WriteOnly);
        });
    });
    poll->start(100);
    return QApplication::exec();
}
