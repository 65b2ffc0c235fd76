#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tallyrow::test {

/// A CUPS server of the test's own, on a socket in a temporary folder, with one queue: the PDF
/// printer (cups-pdf), its default. The process's CUPS_SERVER points at it while the object
/// lives, so Qt's print dialog lists that queue; set up before anything in the process asks for
/// printers. cups-pdf writes each job to the PDF folder of the job's owner. Needs root: the PDF
/// printer's backend runs only under a CUPS server started as root.
class PrintQueue {
public:
    PrintQueue();
    ~PrintQueue();
    PrintQueue(const PrintQueue&) = delete;
    PrintQueue& operator=(const PrintQueue&) = delete;

    bool running() const { return m_running; }
    QString whyNotRunning() const { return m_reason; }
    QString printerName() const { return QStringLiteral("TallyrowPdf"); }

    /// Waits until the queue holds no job, a minute at most; false if one is still there.
    bool waitUntilIdle();
    /// The PDF files cups-pdf wrote for the jobs whose title starts with `title`.
    QStringList printedFiles(const QString& title) const;
    /// The server's log, for a message when a job went wrong.
    QString log() const;

private:
    bool start();
    bool write(const QString& relative, const QByteArray& content);
    bool run(const QString& program, const QStringList& args, QString* output = nullptr);

    QTemporaryDir m_dir;
    QProcess m_server;
    QByteArray m_savedServer;
    bool m_hadServer = false;
    bool m_running = false;
    QString m_reason;
};

} // namespace tallyrow::test
