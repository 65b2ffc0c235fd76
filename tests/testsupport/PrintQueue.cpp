#include "PrintQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyrow::test {

namespace {

const QString kServer = QStringLiteral("/usr/sbin/cupsd");
const QString kBackend = QStringLiteral("/usr/lib/cups/backend/cups-pdf");
const QString kDriver = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");

// Everyone may do anything: the server listens only on a socket in the test's own folder.
const char kServerConf[] = R"(Listen %1/cups.sock
LogLevel debug
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
)";

const char kFilesConf[] = R"(ServerRoot %1
RequestRoot %1/spool
CacheDir %1/cache
StateDir %1/state
TempDir %1/tmp
ErrorLog %1/log/error_log
AccessLog %1/log/access_log
PageLog %1/log/page_log
Printcap %1/printcap
ServerBin /usr/lib/cups
DataDir /usr/share/cups
)";

} // namespace

PrintQueue::PrintQueue() {
    m_hadServer = qEnvironmentVariableIsSet("CUPS_SERVER");
    m_savedServer = qgetenv("CUPS_SERVER");
    m_running = start();
    if (!m_running && m_server.state() != QProcess::NotRunning) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
}

PrintQueue::~PrintQueue() {
    if (m_server.state() != QProcess::NotRunning) {
        run(QStringLiteral("cancel"), {QStringLiteral("-a"), printerName()});
        m_server.terminate();
        if (!m_server.waitForFinished(10000)) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }
    if (m_hadServer)
        qputenv("CUPS_SERVER", m_savedServer);
    else
        qunsetenv("CUPS_SERVER");
}

bool PrintQueue::start() {
    if (::geteuid() != 0) {
        m_reason = QStringLiteral("the PDF printer's backend runs only under a CUPS server started as root");
        return false;
    }
    for (const QString& needed : {kServer, kBackend, kDriver}) {
        if (!QFileInfo::exists(needed)) {
            m_reason = needed + QStringLiteral(" is missing (cups, printer-driver-cups-pdf)");
            return false;
        }
    }
    if (!m_dir.isValid()) {
        m_reason = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    const QString root = m_dir.path();
    // The filters run as the user lp: they pass through the folder and write in tmp.
    QFile::setPermissions(root, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                    QFileDevice::ExeGroup | QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                    QFileDevice::ReadOther);
    for (const char* folder : {"spool", "cache", "state", "tmp", "log"})
        QDir(root).mkpath(QLatin1String(folder));
    ::chmod(QFile::encodeName(root + QStringLiteral("/tmp")).constData(), 01777);
    if (!write(QStringLiteral("cupsd.conf"), QString::fromLatin1(kServerConf).arg(root).toLocal8Bit()) ||
        !write(QStringLiteral("cups-files.conf"), QString::fromLatin1(kFilesConf).arg(root).toLocal8Bit()))
        return false;
    qputenv("CUPS_SERVER", QFile::encodeName(root + QStringLiteral("/cups.sock")));
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.start(kServer, {QStringLiteral("-f"), QStringLiteral("-c"), root + QStringLiteral("/cupsd.conf"),
                             QStringLiteral("-s"), root + QStringLiteral("/cups-files.conf")});
    if (!m_server.waitForStarted(10000)) {
        m_reason = QStringLiteral("cupsd does not start: ") + m_server.errorString();
        return false;
    }
    QString status;
    for (int i = 0; i < 100 && !status.contains(QStringLiteral("is running")); ++i) {
        QThread::msleep(100);
        if (m_server.state() == QProcess::NotRunning)
            break;
        run(QStringLiteral("lpstat"), {QStringLiteral("-r")}, &status);
    }
    if (!status.contains(QStringLiteral("is running"))) {
        m_reason =
            QStringLiteral("cupsd did not come up: ") + QString::fromLocal8Bit(m_server.readAll()) + log();
        return false;
    }
    if (!run(QStringLiteral("lpadmin"),
             {QStringLiteral("-p"), printerName(), QStringLiteral("-v"), QStringLiteral("cups-pdf:/"),
              QStringLiteral("-P"), kDriver, QStringLiteral("-E")}) ||
        !run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), printerName()})) {
        m_reason = QStringLiteral("lpadmin could not add the PDF printer");
        return false;
    }
    return true;
}

bool PrintQueue::write(const QString& relative, const QByteArray& content) {
    QFile file(m_dir.filePath(relative));
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size())
        return true;
    m_reason = QStringLiteral("cannot write ") + file.fileName();
    return false;
}

bool PrintQueue::run(const QString& program, const QStringList& args, QString* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PrintQueue::waitUntilIdle() {
    for (int i = 0; i < 600; ++i) {
        QString jobs;
        if (run(QStringLiteral("lpstat"), {QStringLiteral("-o"), printerName()}, &jobs) &&
            jobs.trimmed().isEmpty())
            return true;
        QThread::msleep(100);
    }
    return false;
}

QStringList PrintQueue::printedFiles(const QString& title) const {
    const passwd* owner = ::getpwuid(::geteuid());
    if (!owner)
        return {};
    const QDir folder(QFile::decodeName(owner->pw_dir) + QStringLiteral("/PDF"));
    QStringList files;
    for (const QString& name : folder.entryList({title + QStringLiteral("*.pdf")}, QDir::Files, QDir::Name))
        files << folder.filePath(name);
    return files;
}

QString PrintQueue::log() const {
    QFile file(m_dir.filePath(QStringLiteral("log/error_log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Only what went wrong: the debug lines run to thousands.
    QStringList lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("E ") || line.contains("stopped with status") || line.contains("argv[5]"))
            lines << QString::fromLocal8Bit(line);
    }
    return lines.join(u'\n');
}

} // namespace tallyrow::test
