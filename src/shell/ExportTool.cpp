#include "shell/ExportTool.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/DataSource.h"
#include "support/Session.h"
#include "datafile/PostgresUri.h"
#include "datafile/SqliteDatabase.h"
#include "datafile/SqliteProvider.h"
#include "activity/ActivityPlanner.h"
#include "dateselector/Calendar.h"
#include "dateselector/ScheduledRange.h"
#include "output/ReportDocument.h"
#include "output/SaveReport.h"
#include "reports/TableReport.h"
#include "shell/PreviewRequest.h"
#include "shell/ReadProgress.h"
#include "support/AtomicFile.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/Printable.h"
#include "support/Services.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyrow {

namespace {

// The lines the report and save code print while the tool runs: error reports with their
// numbers and where-texts, message boxes. They mean little to a command-line user on their own,
// so they are held back and follow the tool's own sentence that says what failed.
class HeldBackLines {
public:
    HeldBackLines() : m_stream(open_memstream(&m_buffer, &m_size)) {}
    ~HeldBackLines() {
        if (m_stream)
            std::fclose(m_stream);
        std::free(m_buffer);
    }
    HeldBackLines(const HeldBackLines&) = delete;
    HeldBackLines& operator=(const HeldBackLines&) = delete;

    /// Where the lines go; nullptr when no memory could be had for them (they are then printed
    /// at once).
    FILE* stream() const { return m_stream; }
    /// The lines not yet taken.
    QString take() {
        if (!m_stream || std::fflush(m_stream) != 0)
            return {};
        QString lines = QString::fromUtf8(m_buffer + m_taken, qsizetype(m_size - m_taken));
        m_taken = m_size;
        return lines;
    }

private:
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    std::size_t m_taken = 0;
    FILE* m_stream = nullptr;
};

HeldBackLines* g_heldBack = nullptr;
// The progress line of a read, wiped before anything else is printed.
ReadProgress* g_progress = nullptr;

// Prints the tool's sentence, then the lines held back so far. Nothing printed shows a password.
void fail(FILE* err, const QString& text) {
    if (g_progress)
        g_progress->finish();
    std::fprintf(err, "tallyrow-export: %s\n", qUtf8Printable(withoutPasswords(text)));
    if (g_heldBack)
        std::fputs(qUtf8Printable(withoutPasswords(g_heldBack->take())), err);
    std::fflush(err);
}

// A source or target as the user named it, for messages: a server URI without its password, a
// control character in a file's name as its escape.
QString shownName(const QString& path) {
    if (path == QLatin1String("-"))
        return QStringLiteral("standard output");
    return printable(withoutPasswords(DataSource(path).shownName()));
}

// `text` without its full stop, to go inside a sentence of the tool's.
QString withoutFullStop(QString text) {
    text = text.trimmed();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// Why `error` happened, to follow the name of what failed in a sentence that names it itself:
// its reason when it has one, else its whole description.
QString reasonOf(const Error& error) {
    return withoutFullStop(error.reason().isEmpty() ? error.description() : error.reason());
}

DatePeriod periodKind(const QString& last) {
    if (last == QLatin1String("day"))
        return DatePeriod::Day;
    if (last == QLatin1String("week"))
        return DatePeriod::Week;
    if (last == QLatin1String("quarter"))
        return DatePeriod::Quarter;
    if (last == QLatin1String("year"))
        return DatePeriod::Year;
    return DatePeriod::Month;
}

// Where the lines of a run go: held back to follow the tool's own sentence when memory allows.
FILE* heldBackOr(FILE* err) {
    return g_heldBack && g_heldBack->stream() ? g_heldBack->stream() : err;
}

// The tool's answer to what a report run meets: each failure is printed with its number and
// step and answered "leave", each notice is printed; the lines are held back.
void printRunFeedback(TableReport& report, FILE* echo) {
    report.setFailureHandler([echo](const Failure& f) {
        std::fprintf(echo, "tallyrow-export: error %ld: %s\n", f.error.number(),
                     qUtf8Printable(f.error.description()));
        QString where; // each step followed by "&", outermost first
        for (const QString& step : f.steps)
            where += step + u'&';
        std::fprintf(echo, "  where: %s\n", qUtf8Printable(where));
        if (!f.activity.isEmpty())
            std::fprintf(echo, "  while %s\n", qUtf8Printable(f.activity));
        return StepAnswer::Leave;
    });
    report.setNoticeHandler([echo](const ReportNotice& n) {
        std::fprintf(echo, "%s: %s\n", qUtf8Printable(n.title), qUtf8Printable(n.text));
    });
}

// The first thing the run met: the cause; what followed are its consequences. Empty when
// nothing was met.
QString firstReported(const TableReport* report) {
    if (!report)
        return {};
    if (!report->failures().isEmpty())
        return report->failures().first().error.description();
    if (!report->notices().isEmpty())
        return report->notices().first().text;
    return {};
}

// The data source check of start-up, with the reason spelled out in one sentence that names
// the source as the user gave it (`given`). A server URI is tested by connecting; it is shown
// without its password. A data file gets a planner (`source`): the saved copy of its rows
// answers when it is of the file as it is now (unless `noCache`), else the file is opened here
// to be sure it is one, and the report's questions go to SQL or to a new read of the file by
// their size.
bool checkDataFile(const DataSource& data, const QString& given, bool noCache,
                   std::shared_ptr<ActivitySource>& source, FILE* err) {
    ActivityPlanner::Policy policy;
    if (g_progress)
        policy.progress = g_progress->callback();
    const QString& path = data.location();
    const QString cannot = QStringLiteral("cannot read %1 \"%2\": %3.").arg(data.noun());
    const QString shown = shownName(given);
    if (const QString absence = data.absence(); !absence.isEmpty()) {
        fail(err, cannot.arg(shown, absence));
        return false;
    }
    try {
        std::shared_ptr<StoreCache> cache;
        if (data.keepsSavedCopy()) {
            cache = std::make_shared<StoreCache>(noCache ? QString() : StoreCache::defaultCacheFolder());
            if (const QString problem = cache->folderProblem(); !problem.isEmpty())
                std::fprintf(err, "tallyrow-export: %s\n", qUtf8Printable(problem));
        }
        source = openActivitySource(path, cache, policy);
        auto* planner = dynamic_cast<ActivityPlanner*>(source.get());
        if (!planner) {
            // The connection that proves the source opens is the one the report reads through.
            source->connect();
        } else if (!planner->isFresh()) {
            Connection cn;
            cn.Open(connectionStringOf(path), QString(), QString(), -1);
            cn.Close();
        }
    } catch (...) {
        // The sentence names the source; the failure's reason follows it.
        fail(err, cannot.arg(shown, reasonOf(currentError())));
        return false;
    }
    return true;
}

// Why a file cannot be written: the folder's state when that explains it, else the reason the
// write itself gave (a full disk, say).
QString unwritableReason(const QString& path, const QString& writeReason) {
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (!folder.isDir())
        return QStringLiteral("no such folder %1").arg(folder.filePath());
    if (!folder.isWritable() || (info.exists() && !info.isWritable()))
        return QStringLiteral("permission denied");
    return writeReason.isEmpty() ? QStringLiteral("the file could not be written") : writeReason;
}

// Where the report goes: `path` is what the writers are given, a file or the name of an open
// descriptor (/dev/fd/N) that is written straight through.
struct OutputTarget {
    QString path;
    int fd = -1;        ///< the descriptor written through; -1 for a file that is replaced
    bool owned = false; ///< the descriptor was opened here

    OutputTarget() = default;
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;
    ~OutputTarget() {
        if (owned)
            ::close(fd);
    }
};

bool writePages(const engine::PageCollection& pages, const ExportRequest& r, const OutputTarget& target,
                FILE* err) {
    QString reason;
    if (!saveReport(pages, target.path, r.format, &reason)) {
        fail(err, QStringLiteral("cannot write the report to \"%1\": %2.")
                      .arg(shownName(r.outputFile),
                           target.fd >= 0 ? reason : unwritableReason(r.outputFile, reason)));
        return false;
    }
    return true;
}

// True when `output` names the same file as `input` (the data file or the report document):
// writing there would destroy what is being read.
bool sameFile(const QString& output, const QString& input) {
    const QFileInfo out(output);
    const QFileInfo in(input);
    if (!out.exists() || !in.exists())
        return false;
    return out.canonicalFilePath() == in.canonicalFilePath();
}

// "3 weeks", "1 day".
QString periodsText(int n, const QString& kind) {
    return QStringLiteral("%1 %2%3").arg(n).arg(kind, n == 1 ? QString() : QStringLiteral("s"));
}

// The largest n in [low, high] for which `works` holds, when it holds for low and not for high+1;
// low - 1 when it does not hold for low.
template <typename T, typename Works> T largestThatWorks(T low, T high, const Works& works) {
    if (!works(low))
        return low - 1;
    while (low < high) {
        const T middle = low + (high - low + 1) / 2;
        if (works(middle))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

// Why the --last range of `r` counted from `today` leaves the calendar, in one sentence that
// names the option, its value and the limit it passes. A range is found by looking up to a range
// ahead of the one holding today and reaches count × offset periods back, so either end of the
// calendar can be met.
QString lastRangeProblem(const ExportRequest& r, QDate today, Qt::DayOfWeek firstDay) {
    const DatePeriod kind = periodKind(r.last);
    const auto works = [&](int count, int offset, QDate day) {
        try {
            lastRange(kind, count, offset, day, firstDay);
            return true;
        } catch (const Error&) {
            return false;
        }
    };
    const QString earliest = earliestCalendarDate().toString(Qt::ISODate);
    const QString latest = latestCalendarDate().toString(Qt::ISODate);
    const QString day = today.toString(Qt::ISODate);
    // A day in the middle of the calendar: when the range can be counted from it but not from
    // today, today is too late.
    const QDate middle(5000, 1, 1);
    if (today > middle && works(r.count, r.offset, middle)) {
        const qint64 lastDay =
            largestThatWorks<qint64>(middle.toJulianDay(), today.toJulianDay() - 1, [&](qint64 d) {
                return works(r.count, r.offset, QDate::fromJulianDay(d));
            });
        return QStringLiteral(
                   "%1 is after %2, the last day from which --last %3 --count %4 --offset %5 can be "
                   "counted: the range after it would end after %6, the last day a report can cover")
            .arg(r.asOf ? QStringLiteral("--as-of: ") + day : QStringLiteral("--last: today, ") + day + u',',
                 QDate::fromJulianDay(lastDay).toString(Qt::ISODate), r.last)
            .arg(r.count)
            .arg(r.offset)
            .arg(latest);
    }
    const int count = largestThatWorks(1, r.count - 1, [&](int n) { return works(n, r.offset, today); });
    if (count >= 1)
        return QStringLiteral("--count: %1, %2 back from %3, would start before %4, the earliest day a "
                              "report can cover; at most %5 reach back that far")
            .arg(periodsText(r.count, r.last), periodsText(r.offset, QStringLiteral("range")), day, earliest,
                 periodsText(count, r.last));
    const int offset = largestThatWorks(0, r.offset - 1, [&](int n) { return works(1, n, today); });
    return QStringLiteral("--offset: %1 of %2 back from %3 would start before %4, the earliest day a report "
                          "can cover; at most %5 reach back that far")
        .arg(periodsText(r.offset, QStringLiteral("range")), periodsText(r.count, r.last), day, earliest)
        .arg(offset);
}

// The range the request names: --from/--to as given, or the --last range counted from today.
std::optional<DateRange> requestedRange(const ExportRequest& r, FILE* err) {
    if (r.last.isEmpty())
        return DateRange{r.from, r.to};
    const QDate today = r.asOf ? *r.asOf : services().today();
    const Qt::DayOfWeek firstDay = services().locale().firstDayOfWeek();
    try {
        const auto [start, end] = lastRange(periodKind(r.last), r.count, r.offset, today, firstDay);
        return DateRange{start, end};
    } catch (const Error&) {
        fail(err, lastRangeProblem(r, today, firstDay));
        return std::nullopt;
    }
}

// The report the request asks for over `range`, set up through the same check the main window
// makes; null (with the reason on `err`) when the options are refused.
std::unique_ptr<engine::Report> makeReport(const ExportRequest& r, const DateRange& range,
                                           const QString& dataPath,
                                           const std::shared_ptr<ActivitySource>& source, FILE* err) {
    ReportSettings settings = r;
    settings.range = range;
    settings.dataFile = dataPath;
    PreparedReport prepared = previewRequest(*r.report, settings, source);
    if (!prepared.report)
        fail(err, prepared.problem.message);
    return std::move(prepared.report);
}

// The one line that says a data source failed while the report read it.
QString sourceFailure(const Error& error, const ExportRequest& r) {
    if (error.kind() == ErrorKind::ConnectionLost)
        return QStringLiteral("the server closed the connection during the report: %1.").arg(reasonOf(error));
    return QStringLiteral("cannot read %1 \"%2\": %3.")
        .arg(DataSource(r.dataFile).noun(), shownName(r.dataFile), reasonOf(error));
}

// Runs the report; true when it ran to the end, read its data and met nothing (a failure
// answered "leave" may end a step early and leave a table short of its rows).
bool runReport(engine::Report& report, const ExportRequest& r, FILE* err) {
    const auto cannotMake = [&](const QString& reason) {
        return QStringLiteral("cannot make the %1 report from \"%2\": %3.")
            .arg(r.report->title, shownName(r.dataFile), reason);
    };
    auto* table = dynamic_cast<TableReport*>(&report);
    if (table)
        printRunFeedback(*table, heldBackOr(err));
    bool completed = false;
    try {
        completed = report.Run();
    } catch (...) {
        fail(err, cannotMake(reasonOf(currentError())));
        return false;
    }
    const QString reported = firstReported(table);
    if (completed && table && table->hasTable() && reported.isEmpty())
        return true;
    // The data is read as the report asks for it: a source that fails then is named as the
    // check before the run names it, in one line: the report's own account of the same failure
    // (its number, the step it stopped in) would only repeat it.
    if (table && !table->failures().isEmpty()) {
        const Error& first = table->failures().first().error;
        if (first.kind() == ErrorKind::DataSource || first.kind() == ErrorKind::ConnectionLost) {
            if (g_heldBack)
                g_heldBack->take();
            fail(err, sourceFailure(first, r));
            return false;
        }
    }
    fail(err, cannotMake(reported.isEmpty() ? QStringLiteral("the report stopped before it was complete")
                                            : withoutFullStop(reported)));
    return false;
}

// Writes the report that has run in the requested format.
bool writeOutput(const engine::Report& report, const ExportRequest& r, const OutputTarget& target,
                 FILE* err) {
    if (reportFormatInfo(r.format).writesPages())
        return writePages(report.pages(), r, target, err);
    try {
        writeReportTable(report, r.format, target.path);
    } catch (const Error& e) {
        fail(err, QStringLiteral("cannot write the report to \"%1\": %2.")
                      .arg(shownName(r.outputFile), reasonOf(e)));
        return false;
    }
    return true;
}

// Something the run met although the file was written: the run still fails.
bool nothingReported(const TableReport* report, const ExportRequest& r, FILE* err) {
    if (firstReported(report).isEmpty())
        return true;
    fail(err,
         QStringLiteral("the report was written to \"%1\", but problems were reported while it was made:")
             .arg(shownName(r.outputFile)));
    return false;
}

int runDocument(const ExportRequest& r, const OutputTarget& target, FILE* err) {
    engine::PageCollection pages;
    try {
        pages = loadReportDocument(r.documentFile);
    } catch (const Error& e) {
        fail(err, e.description());
        return 1;
    }
    return writePages(pages, r, target, err) ? 0 : 1;
}

int runReportRequest(const ExportRequest& r, const OutputTarget& target, FILE* err) {
    const DataSource data = DataSource(r.dataFile).absolute();
    const QString& dataPath = data.location();
    // While the monitoring product holds the file locked, the report waits, and says so once.
    setDataFileBusyTimeout(r.waitSeconds ? std::chrono::seconds(*r.waitSeconds) : savedDataFileWait());
    auto toldOfWait = std::make_shared<std::atomic_bool>(false);
    SqliteDatabase::setBusyWaitObserver([err, toldOfWait](const SqliteDatabase::BusyWait& wait) {
        if (toldOfWait->exchange(true))
            return;
        if (g_progress)
            g_progress->finish();
        std::fprintf(
            err,
            "tallyrow-export: waiting for \"%s\": another program is writing to it (up to %lld "
            "seconds; --wait changes this)\n",
            qUtf8Printable(wait.path),
            static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(wait.limit).count()));
        std::fflush(err);
    });
    struct StopTelling {
        ~StopTelling() { SqliteDatabase::setBusyWaitObserver({}); }
    } stopTelling;
    ReadProgress progress(err, shownName(r.dataFile));
    g_progress = &progress;
    struct Forget {
        ~Forget() { g_progress = nullptr; }
    } forget;
    std::shared_ptr<ActivitySource> source;
    if (!checkDataFile(data, r.dataFile, r.noCache, source, err))
        return 1;
    const auto range = requestedRange(r, err);
    if (!range)
        return 1;
    const std::unique_ptr<engine::Report> report = makeReport(r, *range, dataPath, source, err);
    if (!report || !runReport(*report, r, err))
        return 1;
    progress.finish();
    return writeOutput(*report, r, target, err) && nothingReported(asTableReport(report.get()), r, err) ? 0
                                                                                                        : 1;
}

// The data source when --data is not given: $TALLYROW_DATA, else the one the window opens.
QString defaultDataSource() {
    QString named = qEnvironmentVariable("TALLYROW_DATA");
    if (!named.isEmpty())
        return named;
    try {
        Session session;
        return dataPathOf(session, kDefaultDataFileName);
    } catch (const Error&) {
        return {};
    }
}

// An --output refused before anything is done: a usage error.
int refuseOutput(FILE* err, const QString& text) {
    fail(err, QStringLiteral("--output: ") + text);
    std::fprintf(err, "Try 'tallyrow-export --help' for more information.\n");
    return 2;
}

// Sets `target` up for --output; 0, or the exit code of a refusal already printed. Standard
// output, a name of an open descriptor, a pipe or a character device is written straight
// through; a file is replaced once the report is whole; a folder or any other kind is refused.
int openOutput(const ExportRequest& r, OutputTarget& target, FILE* err) {
    target.path = r.outputFile;
    if (r.outputFile == QLatin1String("-")) {
        target.path = QStringLiteral("/dev/fd/1");
        target.fd = 1;
    } else if (const auto fd = descriptorNamedBy(r.outputFile)) {
        target.fd = *fd;
    } else if (const auto kind = nonRegularFileKind(r.outputFile)) {
        struct stat st {};
        const QByteArray native = QFile::encodeName(r.outputFile);
        if (::stat(native.constData(), &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)))
            return refuseOutput(err, QStringLiteral("%1 is %2, not a regular file; choose a file")
                                         .arg(shownName(r.outputFile), *kind));
        // A pipe's open waits for its reader, as any program writing to it would.
        target.fd = ::open(native.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (target.fd < 0) {
            fail(err, QStringLiteral("cannot write the report to \"%1\": %2.")
                          .arg(shownName(r.outputFile), QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }
        target.owned = true;
        target.path = QStringLiteral("/dev/fd/%1").arg(target.fd);
    }
    const ReportFormatInfo& format = reportFormatInfo(r.format);
    if (target.fd >= 0 && format.binary && ::isatty(target.fd) == 1)
        return refuseOutput(err, QStringLiteral("%1 is a terminal, and %2 is a binary format that is not "
                                                "written to one; give a file name or send it through a pipe")
                                     .arg(shownName(r.outputFile), QString(format.name).toUpper()));
    return 0;
}

} // namespace

int runExportTool(const QStringList& arguments, FILE* out, FILE* err, const ReportCatalogue& reports) {
    const ExportParse parsed = parseExportArguments(arguments, reports);
    if (parsed.help || parsed.version) {
        std::fprintf(out, "%s",
                     qUtf8Printable(parsed.help ? exportHelpText(reports)
                                                : QStringLiteral("tallyrow-export %1\n")
                                                      .arg(QCoreApplication::applicationVersion())));
        std::fflush(out);
        return 0;
    }
    std::optional<ExportRequest> request = parsed.request;
    QString usageError = parsed.usageError;
    if (request && request->report && request->dataFile.isEmpty()) {
        request->dataFile = defaultDataSource();
        if (request->dataFile.isEmpty())
            usageError = QStringLiteral("--data: required, as no data file is set (TALLYROW_DATA, or the "
                                        "data file chosen in Tallyrow Reports)");
    }
    if (!request || !usageError.isEmpty()) {
        fail(err, usageError);
        std::fprintf(err, "Try 'tallyrow-export --help' for more information.\n");
        return 2;
    }
    const ExportRequest& r = *request;
    if (r.locale)
        QLocale::setDefault(*r.locale);
    HeldBackLines heldBack;
    g_heldBack = &heldBack;
    struct Release {
        FILE* err;
        ~Release() {
            // Whatever is still held back is printed all the same, and anything reported after
            // the run goes straight to stderr.
            std::fputs(qUtf8Printable(withoutPasswords(g_heldBack->take())), err);
            std::fflush(err);
            g_heldBack = nullptr;
        }
    } release{err};

    // The program never writes a data file: an --output that names the file being read is refused
    // before anything is done.
    const QString output = r.outputFile == QLatin1String("-") ? QStringLiteral("/dev/stdout") : r.outputFile;
    const DataSource data(r.dataFile);
    const QString input = r.report ? data.filePath() : r.documentFile;
    if (sameFile(output, input))
        return refuseOutput(
            err,
            QStringLiteral("%1 is the file being read; choose another file").arg(shownName(r.outputFile)));
    // Nor one of the files its writer keeps beside it: a log holds commits not yet in the file.
    if (const auto part = r.report ? data.partAt(output) : std::nullopt)
        return refuseOutput(
            err, QStringLiteral("%1 is %2; choose another file").arg(shownName(r.outputFile), *part));
    OutputTarget target;
    if (const int code = openOutput(r, target, err))
        return code;
    return r.report ? runReportRequest(r, target, err) : runDocument(r, target, err);
}

} // namespace tallyrow
