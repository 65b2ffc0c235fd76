#include "shell/ui/DataFileStatus.h"

#include "datafile/DataPath.h"
#include "datafile/SqliteDatabase.h"
#include "datafile/SqliteProvider.h"
#include "shell/ui/DataFileController.h"
#include "support/Registry.h"

#include <QApplication>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <chrono>

using namespace Qt::StringLiterals;

namespace tallyrow {

DataFileStatus::DataFileStatus(QStatusBar* bar, QWidget* reportStatus, DataFileController& files,
                               QObject* parent)
    : QObject(parent), m_bar(bar), m_files(files) {
    m_sourceLabel = new QLabel(bar);
    m_sourceLabel->setObjectName(u"lblDataSource"_s);
    bar->addWidget(m_sourceLabel, 1);
    bar->addPermanentWidget(reportStatus);
    m_progressLabel = new QLabel(bar);
    m_progressLabel->setObjectName(u"lblLoadProgress"_s);
    bar->addPermanentWidget(m_progressLabel);
    m_cancelButton = new QPushButton(u"Cancel"_s, bar);
    m_cancelButton->setObjectName(u"cmdCancelLoad"_s);
    m_cancelButton->setToolTip(u"Stop reading the data file"_s);
    bar->addPermanentWidget(m_cancelButton);
    m_progressLabel->hide();
    m_cancelButton->hide();
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { cancelRead(); });
    connect(bar, &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (!message.isEmpty())
            return;
        m_bar->setToolTip(QString());
        if (m_files.isReading())
            m_progressLabel->show();
    });
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, [this] { showProgress(); });

    setDataFileBusyTimeout(savedDataFileWait());
    // The wait is told from whichever thread waits: on this one the window cannot run its events
    // meanwhile, so the message is drawn at once.
    SqliteDatabase::setBusyWaitObserver(
        [status = QPointer<DataFileStatus>(this)](const SqliteDatabase::BusyWait& w) {
            const auto whole = [](std::chrono::milliseconds t) {
                return int(std::chrono::duration_cast<std::chrono::seconds>(t).count());
            };
            const int waited = whole(w.waited);
            const int limit = whole(w.limit);
            QMetaObject::invokeMethod(
                qApp,
                [status, path = w.path, waited, limit] {
                    if (status)
                        status->showWait(path, waited, limit);
                },
                QThread::currentThread() == qApp->thread() ? Qt::DirectConnection : Qt::QueuedConnection);
        });
}

DataFileStatus::~DataFileStatus() {
    SqliteDatabase::setBusyWaitObserver({});
}

void DataFileStatus::showSource(const QString& shownName) {
    m_sourceLabel->setText(shownName.isEmpty() ? QString() : u"Data: "_s + shownName);
    m_sourceLabel->setToolTip(shownName);
}

void DataFileStatus::showReadStarted() {
    showProgress();
    m_progressLabel->show();
    m_cancelButton->show();
    m_cancelButton->setEnabled(true);
    m_progressTimer->start();
}

void DataFileStatus::showReadEnded() {
    m_progressTimer->stop();
    m_progressLabel->hide();
    m_cancelButton->hide();
}

void DataFileStatus::showProgress() {
    if (m_files.isReading())
        m_progressLabel->setText(u"Reading data file\u2026 %1%"_s.arg(m_files.progress()));
}

void DataFileStatus::cancelRead() {
    if (!m_files.isReading())
        return;
    m_files.cancel();
    m_cancelButton->setEnabled(false);
    m_progressLabel->setText(u"Stopping\u2026"_s);
}

void DataFileStatus::askWait(const std::function<int(QDialog&)>& runDialog) {
    QInputDialog dialog(m_bar->window());
    dialog.setObjectName(u"dlgDataFileWait"_s);
    dialog.setWindowTitle(u"Wait for a locked data file"_s);
    dialog.setLabelText(u"While the monitoring product holds the data file locked, a report waits for it.\n"
                        "Longest wait, in seconds (0 to 3600):"_s);
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(0, 3600);
    dialog.setIntValue(int(savedDataFileWait().count()));
    if (runDialog(dialog) != QDialog::Accepted)
        return;
    const std::chrono::seconds wait(dialog.intValue());
    setDataFileBusyTimeout(wait);
    if (!saveDataFileWait(wait))
        m_bar->showMessage(
            u"The wait applies until the program ends: the settings file %1 cannot be written."_s.arg(
                hiveFilePath(kSettingsHive)),
            15000);
}

void DataFileStatus::showWait(const QString& path, int waitedSeconds, int limitSeconds) {
    // The read stands still while it waits: its percentage gives way to the message (Cancel
    // stays), and comes back when the message goes.
    // The line says what happens; how to change the wait is the bar's tooltip, so the line fits
    // beside Cancel.
    m_progressLabel->hide();
    m_bar->setToolTip(u"Tools > Wait for a Locked Data File changes how long the program waits"_s);
    m_bar->showMessage(
        u"Waiting for the data file \"%1\": another program is writing to it (%2 of at most %3 seconds)"_s
            .arg(QFileInfo(path).fileName())
            .arg(waitedSeconds)
            .arg(limitSeconds),
        3000);
    m_bar->repaint();
}

} // namespace tallyrow
