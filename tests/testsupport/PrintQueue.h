#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tallyrow::test {

/// A CUPS server of the test's own, on a socket in a temporary folder, whose one queue (and
/// default) is the PDF printer, cups-pdf. CUPS_SERVER points at it while the object lives, so set
/// it up before anything in the process asks for printers. cups-pdf writes each job into the PDF
/// folder of the job's owner. Needs root: the PDF printer runs only under a server started as root.
class PrintQueue {
public:
    PrintQueue();
    ~PrintQueue();
    PrintQueue(const PrintQueue&) = delete;
    PrintQueue& operator=(const PrintQueue&) = delete;

    bool running() const { return m_reason.isEmpty(); }
    QString whyNotRunning() const { return m_reason; }
    QString printerName() const { return QStringLiteral("TallyrowPdf"); }

    /// Waits until the queue holds no job, a minute at most; false if one is still there.
    bool waitUntilIdle();
    /// The PDF files written for the jobs whose title starts with `title`.
    QStringList printedFiles(const QString& title) const;
    /// The server log's errors and each job's options, for a failure's message.
    QString log() const;

private:
    QString start();
    static bool run(const QString& program, const QStringList& args, QString* output = nullptr);

    QTemporaryDir m_dir;
    QProcess m_server;
    QByteArray m_savedServer;
    QString m_reason;
};

} // namespace tallyrow::test
