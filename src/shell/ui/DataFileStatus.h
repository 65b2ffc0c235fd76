#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QDialog;
class QLabel;
class QPushButton;
class QStatusBar;
class QTimer;
class QWidget;

namespace tallyrow {

class DataFileController;

/// The status bar's account of the data file: which one is in use, how far a read of it has
/// come (with its Cancel button), and the wait for a data file another program holds locked.
class DataFileStatus final : public QObject {
    Q_OBJECT
public:
    /// Puts its labels on `bar`, with `reportStatus` between the data file's name and the progress.
    DataFileStatus(QStatusBar* bar, QWidget* reportStatus, DataFileController& files, QObject* parent);
    ~DataFileStatus() override;

    /// Shows `shownName` as the data file in use ("" none).
    void showSource(const QString& shownName);
    /// Shows the progress of a read of the data file that began, with its Cancel button.
    void showReadStarted();
    /// Takes the progress and Cancel away: the read ended.
    void showReadEnded();
    /// Says that a report is waiting for the data file.
    void showWait(const QString& path, int waitedSeconds, int limitSeconds);
    /// Asks through `runDialog` how long a report waits while the data file is held locked,
    /// and keeps the answer.
    void askWait(const std::function<int(QDialog&)>& runDialog);

private:
    void showProgress();
    void cancelRead();

    QStatusBar* m_bar;
    DataFileController& m_files;
    QLabel* m_sourceLabel = nullptr;
    QLabel* m_progressLabel = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QTimer* m_progressTimer = nullptr;
};

} // namespace tallyrow
