#include "shell/ExportTool.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/PostgresUri.h"
#include "dateselector/ScheduledRange.h"
#include "output/ReportDocument.h"
#include "output/SaveReport.h"
#include "reports/ReportCsv.h"
#include "reports/repDay.h"
#include "reports/repTotals.h"
#include "shell/PreviewRequest.h"
#include "support/AtomicFile.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/Scripted.h"
#include "support/Services.h"

#include <QFileInfo>

#include <memory>

namespace tallyrow {

namespace {

void fail(FILE* err, const QString& text) {
    std::fprintf(err, "tallyrow-export: %s\n", qUtf8Printable(text));
    std::fflush(err);
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

// The command-line tool's message and error components: no screen, every box and report is
// printed on stderr, and an error report is answered "leave".
void installScriptedComponents(FILE* err) {
    auto reporter = std::make_unique<ScriptedErrorReporter>();
    reporter->setEcho(err);
    reporter->setDefaultAnswer(QString());
    reporter->setProductName(QStringLiteral("tallyrow-export"));
    reporter->setSupportAddress(kSupportAddress);
    gErrorReporter = std::move(reporter);
    auto box = std::make_unique<ScriptedMessageBox>();
    box->setEcho(err);
    gMessageBox = std::move(box);
    services().makeMessageBox = [err] {
        auto b = std::make_unique<ScriptedMessageBox>();
        b->setEcho(err);
        return std::unique_ptr<MessageBoxEx>(std::move(b));
    };
}

// The data source check of start-up, with the reason spelled out. A server URI is tested by
// connecting; it is shown without its password.
bool checkDataFile(const QString& path, FILE* err) {
    const bool server = isPostgresUri(path);
    const QString shown = server ? redactedPostgresUri(path) : path;
    if (!server) {
        const QFileInfo info(path);
        if (!info.exists()) {
            fail(err, QStringLiteral("cannot use data file %1: no such file").arg(path));
            return false;
        }
        if (info.isDir()) {
            fail(err, QStringLiteral("cannot use data file %1: it is a folder").arg(path));
            return false;
        }
    }
    try {
        Connection cn;
        cn.Open(ConnectionString(path), QString(), QString(), -1);
        cn.Close();
    } catch (const Error& e) {
        fail(err, QStringLiteral("cannot use data file %1: %2").arg(shown, e.description()));
        return false;
    } catch (const std::exception& e) {
        fail(err, QStringLiteral("cannot use data file %1: %2").arg(shown, QString::fromLocal8Bit(e.what())));
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

bool writePages(const engine::PageCollection& pages, const ExportRequest& r, FILE* err) {
    QString reason;
    if (!SaveReport(pages, r.outputFile, r.format, &reason)) {
        fail(err,
             QStringLiteral("cannot write %1: %2").arg(r.outputFile, unwritableReason(r.outputFile, reason)));
        return false;
    }
    return true;
}

// True when `output` names the same file as `input` (the data file or the report document):
// writing there would destroy what is being read.
bool sameFile(const QString& output, const QString& input) {
    if (isPostgresUri(input))
        return false;
    const QFileInfo out(output);
    const QFileInfo in(input);
    if (!out.exists() || !in.exists())
        return false;
    return out.canonicalFilePath() == in.canonicalFilePath();
}

// The range the request names: --from/--to as given, or the --last range counted from today.
std::optional<std::pair<QDate, QDate>> requestedRange(const ExportRequest& r, FILE* err) {
    if (r.last.isEmpty())
        return std::make_pair(r.from, r.to);
    const QDate today = r.asOf ? *r.asOf : services().today();
    try {
        return lastRange(periodKind(r.last), r.count, r.offset, today, services().locale().firstDayOfWeek());
    } catch (const Error& e) {
        fail(err, QStringLiteral("--last: %1").arg(e.description()));
        return std::nullopt;
    }
}

template <typename Options>
void fillCommonOptions(const ExportRequest& r, const std::pair<QDate, QDate>& range, const QString& dataPath,
                       Options& options) {
    options.StartDate = range.first;
    options.EndDate = range.second;
    options.ChartType = r.chartType;
    options.ShowDetails = r.details;
    options.UserFilter = r.user;
    options.ComputerFilter = r.computer;
    options.DataFile = dataPath;
}

// The report the request asks for, set up through the same request the main window makes; null
// (with the reason on `err`) when the options are refused.
std::unique_ptr<engine::Report> makeReport(const ExportRequest& r, const std::pair<QDate, QDate>& range,
                                           const QString& dataPath, FILE* err) {
    PreviewProblem problem;
    if (r.kind == ExportRequest::Kind::Day) {
        DayReportOptions options;
        fillCommonOptions(r, range, dataPath, options);
        options.Days = r.days;
        options.ShowEachDay = r.showEachDay;
        options.TotalType = r.totalType;
        const auto request = dayPreviewRequest(options);
        if (request.inputs) {
            auto day = std::make_unique<repDay>();
            day->setInputs(*request.inputs);
            return day;
        }
        problem = request.problem;
    } else {
        TotalsReportOptions options;
        fillCommonOptions(r, range, dataPath, options);
        options.UnitsText = QString::number(r.units);
        options.Period = r.period;
        options.Scale = r.timeScale;
        const auto request = totalsPreviewRequest(options, services().locale());
        if (request.inputs) {
            auto totals = std::make_unique<repTotals>();
            totals->setInputs(*request.inputs);
            return totals;
        }
        problem = request.problem;
    }
    fail(err, problem.message);
    return nullptr;
}

// Runs the report; true when it ran to the end and read its data.
bool runReport(engine::Report& report, const QString& dataPath, FILE* err) {
    bool completed = false;
    try {
        completed = report.Run();
    } catch (const std::exception& e) {
        fail(err, QString::fromLocal8Bit(e.what()));
        return false;
    }
    const TableReport* table = asTableReport(&report);
    if (!completed || (table && !table->hasTable())) {
        fail(err, QStringLiteral("the report could not be made from %1")
                      .arg(isPostgresUri(dataPath) ? redactedPostgresUri(dataPath) : dataPath));
        return false;
    }
    return true;
}

// Writes the report that has run in the requested format.
bool writeOutput(const engine::Report& report, const ExportRequest& r, FILE* err) {
    if (reportFormatInfo(r.format).writesPages)
        return writePages(report.pages(), r, err);
    try {
        const TableReport* table = asTableReport(&report);
        if (!table)
            throw Error(ErrNo::Unexpected, QStringLiteral("this report has no table to write"));
        writeReportCsv(*table, r.outputFile);
    } catch (const Error& e) {
        fail(err, e.description());
        return false;
    }
    return true;
}

int runDocument(const ExportRequest& r, FILE* err) {
    engine::PageCollection pages;
    try {
        pages = loadReportDocument(r.documentFile);
    } catch (const Error& e) {
        fail(err, e.description());
        return 1;
    }
    return writePages(pages, r, err) ? 0 : 1;
}

int runReportRequest(const ExportRequest& r, FILE* err) {
    const QString dataPath =
        isPostgresUri(r.dataFile) ? r.dataFile : QFileInfo(r.dataFile).absoluteFilePath();
    if (!checkDataFile(dataPath, err))
        return 1;
    const auto range = requestedRange(r, err);
    if (!range)
        return 1;
    const std::unique_ptr<engine::Report> report = makeReport(r, *range, dataPath, err);
    if (!report || !runReport(*report, dataPath, err))
        return 1;
    return writeOutput(*report, r, err) ? 0 : 1;
}

} // namespace

int runExportTool(const QStringList& arguments, FILE* out, FILE* err) {
    const ExportParse parsed = parseExportArguments(arguments);
    if (parsed.help) {
        std::fprintf(out, "%s", qUtf8Printable(exportHelpText()));
        std::fflush(out);
        return 0;
    }
    if (!parsed.request) {
        fail(err, parsed.usageError);
        std::fprintf(err, "Try 'tallyrow-export --help' for more information.\n");
        return 2;
    }
    const ExportRequest& r = *parsed.request;
    installScriptedComponents(err);

    // The program never writes a data file: an --output that names the file being read is refused
    // before anything is done.
    const QString input = r.kind == ExportRequest::Kind::Document ? r.documentFile : r.dataFile;
    if (sameFile(r.outputFile, input)) {
        fail(err,
             QStringLiteral("--output: %1 is the file being read; choose another file").arg(r.outputFile));
        std::fprintf(err, "Try 'tallyrow-export --help' for more information.\n");
        return 2;
    }
    // Saving replaces the file at --output; a device, pipe or folder there is never replaced.
    if (const auto kind = nonRegularFileKind(r.outputFile)) {
        fail(
            err,
            QStringLiteral("--output: %1 is %2, not a regular file; choose a file").arg(r.outputFile, *kind));
        std::fprintf(err, "Try 'tallyrow-export --help' for more information.\n");
        return 2;
    }
    return r.kind == ExportRequest::Kind::Document ? runDocument(r, err) : runReportRequest(r, err);
}

} // namespace tallyrow
