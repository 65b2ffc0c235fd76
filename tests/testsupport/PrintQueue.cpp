#include "PrintQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <utility>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyrow::test {

namespace {

const QString kDriver = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");

// Anyone may do anything: the server listens only on a socket in the test's own folder.
const char kServerConf[] =
    "Listen %1/cups.sock\nLogLevel debug\nBrowsing No\nWebInterface No\n"
    "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
    "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
const char kFilesConf[] = "ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\n"
                          "TempDir %1/tmp\nErrorLog %1/log/error_log\nAccessLog %1/log/access_log\n"
                          "PageLog %1/log/page_log\nPrintcap %1/printcap\nServerBin /usr/lib/cups\n"
                          "DataDir /usr/share/cups\n";

} // namespace

PrintQueue::PrintQueue() : m_savedServer(qgetenv("CUPS_SERVER")) {
    m_reason = start();
}

PrintQueue::~PrintQueue() {
    if (m_server.state() != QProcess::NotRunning) {
        run(QStringLiteral("cancel"), {QStringLiteral("-a")});
        m_server.terminate();
        if (!m_server.waitForFinished(10000))
            m_server.kill();
        m_server.waitForFinished(5000);
    }
    if (m_savedServer.isEmpty())
        qunsetenv("CUPS_SERVER");
    else
        qputenv("CUPS_SERVER", m_savedServer);
}

// The empty text when the server runs with its queue, else why not.
QString PrintQueue::start() {
    if (::geteuid() != 0)
        return QStringLiteral("the PDF printer runs only under a CUPS server started as root");
    for (const QString& needed :
         {QStringLiteral("/usr/sbin/cupsd"), QStringLiteral("/usr/lib/cups/backend/cups-pdf"), kDriver})
        if (!QFileInfo::exists(needed))
            return needed + QStringLiteral(" is missing (cups, printer-driver-cups-pdf)");
    if (!m_dir.isValid())
        return QStringLiteral("cannot make a temporary folder");
    const QString root = m_dir.path();
    for (const char* folder : {"spool", "cache", "state", "tmp", "log"})
        QDir(root).mkpath(QLatin1String(folder));
    // The filters run as the user lp: they pass through the folder and write in tmp.
    ::chmod(QFile::encodeName(root).constData(), 0755);
    ::chmod(QFile::encodeName(root + QStringLiteral("/tmp")).constData(), 01777);
    for (const auto& [name, text] :
         {std::pair{"cupsd.conf", kServerConf}, std::pair{"cups-files.conf", kFilesConf}}) {
        QFile conf(root + u'/' + QLatin1String(name));
        if (!conf.open(QIODevice::WriteOnly) ||
            conf.write(QString::fromLatin1(text).arg(root).toLocal8Bit()) < 0)
            return QStringLiteral("cannot write ") + conf.fileName();
    }
    qputenv("CUPS_SERVER", QFile::encodeName(root + QStringLiteral("/cups.sock")));
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.start(QStringLiteral("/usr/sbin/cupsd"),
                   {QStringLiteral("-f"), QStringLiteral("-c"), root + QStringLiteral("/cupsd.conf"),
                    QStringLiteral("-s"), root + QStringLiteral("/cups-files.conf")});
    QString status;
    for (int i = 0; i < 100 && m_server.state() != QProcess::NotRunning && !status.contains(u"is running");
         ++i) {
        QThread::msleep(100);
        run(QStringLiteral("lpstat"), {QStringLiteral("-r")}, &status);
    }
    if (!status.contains(u"is running"))
        return QStringLiteral("cupsd did not come up: ") + QString::fromLocal8Bit(m_server.readAll()) + log();
    if (!run(QStringLiteral("lpadmin"),
             {QStringLiteral("-p"), printerName(), QStringLiteral("-v"), QStringLiteral("cups-pdf:/"),
              QStringLiteral("-P"), kDriver, QStringLiteral("-E")}) ||
        !run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), printerName()}))
        return QStringLiteral("lpadmin could not add the PDF printer");
    return {};
}

bool PrintQueue::run(const QString& program, const QStringList& args, QString* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool finished = p.waitForFinished(30000);
    if (!finished)
        p.kill();
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PrintQueue::waitUntilIdle() {
    QString jobs;
    for (int i = 0; i < 600; ++i, QThread::msleep(100)) {
        if (run(QStringLiteral("lpstat"), {QStringLiteral("-o"), printerName()}, &jobs) &&
            jobs.trimmed().isEmpty())
            return true;
    }
    return false;
}

QStringList PrintQueue::printedFiles(const QString& title) const {
    const passwd* owner = ::getpwuid(::geteuid());
    const QDir folder(QFile::decodeName(owner ? owner->pw_dir : "/") + QStringLiteral("/PDF"));
    QStringList files;
    for (const QString& name : folder.entryList({title + QStringLiteral("*.pdf")}, QDir::Files, QDir::Name))
        files << folder.filePath(name);
    return files;
}

QString PrintQueue::log() const {
    QFile file(m_dir.filePath(QStringLiteral("log/error_log")));
    QStringList lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("E ") || line.contains("stopped with status") || line.contains("argv[5]"))
                lines << QString::fromLocal8Bit(line);
    }
    return lines.join(u'\n');
}

} // namespace tallyrow::test
