#include "shell/ExportTool.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/PostgresUri.h"
#include "dateselector/ScheduledRange.h"
#include "engine/ChartDefinition.h"
#include "output/ReportDocument.h"
#include "output/SaveReport.h"
#include "output/XlsxExport.h"
#include "reports/ReportCsv.h"
#include "reports/repDay.h"
#include "reports/repTotals.h"
#include "support/AtomicFile.h"
#include "support/CommandLine.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/Scripted.h"
#include "support/Services.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tallyrow {

namespace {

const QStringList kValueOptions = {
    QStringLiteral("data"),   QStringLiteral("report"),   QStringLiteral("from"),        QStringLiteral("to"),
    QStringLiteral("user"),   QStringLiteral("computer"), QStringLiteral("days"),        QStringLiteral("aggregate"),
    QStringLiteral("chart-shows"), QStringLiteral("units"), QStringLiteral("period"),    QStringLiteral("scale"),
    QStringLiteral("chart"),  QStringLiteral("format"),   QStringLiteral("output"),      QStringLiteral("document"),
    QStringLiteral("last"),   QStringLiteral("count"),    QStringLiteral("offset"),      QStringLiteral("as-of"),
};
const QStringList kFlagOptions = {QStringLiteral("details"), QStringLiteral("help")};

// Which report an option belongs to, for the check that it fits the chosen report.
const QStringList kDayOnly = {QStringLiteral("days"), QStringLiteral("aggregate"), QStringLiteral("chart-shows")};
const QStringList kTotalsOnly = {QStringLiteral("units"), QStringLiteral("period"), QStringLiteral("scale")};

QString usage(const QString& option, const QString& text) {
    return QStringLiteral("--") + option + QStringLiteral(": ") + text;
}

std::optional<QDate> isoDate(const QString& text) {
    if (text.size() != 10)
        return std::nullopt;
    const QDate d = QDate::fromString(text, Qt::ISODate);
    if (!d.isValid())
        return std::nullopt;
    return d;
}

std::optional<int> wholeNumber(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || text.trimmed() != text)
        return std::nullopt;
    return v;
}

// Picks one of `choices`, compared without regard to case; returns its index.
std::optional<int> choice(const QString& value, const QStringList& choices) {
    for (int i = 0; i < choices.size(); ++i) {
        if (value.compare(choices[i], Qt::CaseInsensitive) == 0)
            return i;
    }
    return std::nullopt;
}

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
        const QString lines = QString::fromUtf8(m_buffer + m_taken, qsizetype(m_size - m_taken));
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

// Prints the tool's sentence, then the lines held back so far. Nothing printed shows a password.
void fail(FILE* err, const QString& text) {
    std::fprintf(err, "tallyrow-export: %s\n", qUtf8Printable(withoutPasswords(text)));
    if (g_heldBack)
        std::fputs(qUtf8Printable(withoutPasswords(g_heldBack->take())), err);
    std::fflush(err);
}

// A source or target as the user named it, for messages: a server URI without its password.
QString shownName(const QString& path) {
    return withoutPasswords(isPostgresUri(path) ? redactedPostgresUri(path) : path);
}

// The reason of a failure description that starts by naming what failed ("Cannot open the data
// file "x": the file is empty."), without that start and the full stop; the whole description
// when it does not start that way.
QString reasonOf(QString description, const QString& start) {
    description = description.trimmed();
    if (!start.isEmpty() && description.startsWith(start, Qt::CaseInsensitive))
        description.remove(0, start.size());
    if (description.endsWith(QLatin1Char('.')))
        description.chop(1);
    return description;
}

int formatCode(const QString& format) {
    if (format == QLatin1String("pdf"))
        return ReportFileFormat::Pdf;
    if (format == QLatin1String("txt"))
        return ReportFileFormat::Txt;
    if (format == QLatin1String("rtf"))
        return ReportFileFormat::Rtf;
    if (format == QLatin1String("xls"))
        return ReportFileFormat::Xls;
    return ReportFileFormat::Rdf;
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

} // namespace

std::optional<std::int32_t> chartTypeCode(const QString& name) {
    return engine::chartTypeFromCommandLine(name);
}

QString exportHelpText() {
    return QStringLiteral(
        "Usage: tallyrow-export --data FILE --report day|totals (--from DATE --to DATE | --last KIND)\n"
        "                       [options] --format FORMAT --output FILE\n"
        "       tallyrow-export --document FILE --format FORMAT --output FILE\n"
        "\n"
        "Runs the Day report or the Totals report on a data file and writes it, for scheduled and\n"
        "scripted use. Nothing is printed on success; a failed run prints the reason and exits 1, a\n"
        "bad option exits 2. Dates are written YYYY-MM-DD.\n"
        "\n"
        "Data and report:\n"
        "  --data FILE              data file (any kind the program opens), or the URI of a\n"
        "                           PostgreSQL server (postgresql://user@host:port/dbname)\n"
        "  --report day|totals      the Day report or the Totals report\n"
        "  --from DATE --to DATE    first and last day of the range (both included)\n"
        "  --user NAME              only this user (default: all users)\n"
        "  --computer NAME          only this computer (default: any computer)\n"
        "  --chart NAME             chart type: \"3D Bar\", \"2D Bar\", \"3D Line\", \"2D Line\",\n"
        "                           \"3D Area\", \"2D Area\", \"3D Step\", \"2D Step\", \"3D Combination\",\n"
        "                           \"2D Combination\", \"2D Pie\", \"2D XY\" (default as the main window:\n"
        "                           \"2D Bar\" for the Day report, \"2D Line\" for Totals)\n"
        "  --details                show the table in the report\n"
        "\n"
        "Day report:\n"
        "  --days mon,tue,wed,thu,fri,sat,sun\n"
        "                           weekdays to include (default all seven), taken as given\n"
        "  --aggregate average|total|maximum|minimum   over the range (default average)\n"
        "  --chart-shows average|each|both             the chart shows the average of the selected\n"
        "                           days, each day separately, or both (default average)\n"
        "\n"
        "Totals report:\n"
        "  --units N                period units per period (default 1)\n"
        "  --period days|weeks|months|years            period unit (default days)\n"
        "  --scale seconds|minutes|hours               unit of the totals (default minutes)\n"
        "\n"
        "Scheduled ranges (instead of --from/--to):\n"
        "  --last day|week|month|quarter|year\n"
        "                           the last complete range of that kind before today, counted\n"
        "                           from 1 January 2000; weeks start on the locale's first day\n"
        "  --count N                periods per range (default 1)\n"
        "  --offset N               ranges back from the one holding today (default 1)\n"
        "  --as-of DATE             take DATE as today, to rerun a missed schedule\n"
        "  Mind the first day of a range: run ON the first day of a range, the result lies one\n"
        "  range further back. Run on 1 June, --last month gives April, not May; run on the first\n"
        "  day of a week, --last week gives the week before last; run on 1 January, --last year\n"
        "  gives the year before last. Schedule jobs for the second day of a range or later.\n"
        "\n"
        "Output:\n"
        "  --format pdf|txt|rtf|xls|rdf|csv|xlsx       file format (rdf: report document; csv: the\n"
        "                           report's table, whether or not --details is given; xlsx: that\n"
        "                           table as an Excel workbook with totals and the chart)\n"
        "  --output FILE            file to write (replaced if it exists)\n"
        "  --document FILE          instead of --data/--report: write a saved report document (.rdf)\n"
        "                           in another format\n"
        "  --help                   show this text\n");
}

ExportParse parseExportArguments(const QStringList& arguments) {
    ExportParse result;
    QHash<QString, QString> values;
    QSet<QString> flags;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (!arg.startsWith(QLatin1String("--")) || arg.size() == 2) {
            result.usageError = QStringLiteral("unexpected argument '%1'").arg(arg);
            return result;
        }
        QString name = arg.mid(2);
        std::optional<QString> value;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        }
        if (kFlagOptions.contains(name)) {
            if (value) {
                result.usageError = usage(name, QStringLiteral("takes no value"));
                return result;
            }
            flags.insert(name);
            continue;
        }
        if (!kValueOptions.contains(name)) {
            result.usageError = QStringLiteral("unknown option '--%1'").arg(name);
            return result;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                result.usageError = usage(name, QStringLiteral("a value is missing"));
                return result;
            }
            value = arguments[++i];
        }
        if (values.contains(name)) {
            result.usageError = usage(name, QStringLiteral("given more than once"));
            return result;
        }
        values.insert(name, *value);
    }
    if (flags.contains(QStringLiteral("help"))) {
        result.help = true;
        return result;
    }

    ExportRequest r;
    auto has = [&](const char* name) { return values.contains(QLatin1String(name)); };
    auto val = [&](const char* name) { return values.value(QLatin1String(name)); };
    auto error = [&](const char* name, const QString& text) {
        result.usageError = usage(QLatin1String(name), text);
        return result;
    };

    if (!has("format"))
        return error("format", QStringLiteral("required (pdf, txt, rtf, xls, rdf, csv or xlsx)"));
    const QStringList formats = {QStringLiteral("pdf"), QStringLiteral("txt"), QStringLiteral("rtf"),
                                 QStringLiteral("xls"), QStringLiteral("rdf"), QStringLiteral("csv"),
                                 QStringLiteral("xlsx")};
    const auto format = choice(val("format"), formats);
    if (!format)
        return error("format", QStringLiteral("'%1' is not one of pdf, txt, rtf, xls, rdf, csv, xlsx").arg(val("format")));
    r.format = formats[*format];
    if (!has("output") || val("output").isEmpty())
        return error("output", QStringLiteral("required: the file to write"));
    r.outputFile = val("output");

    if (has("document")) {
        for (const char* other : {"data", "report", "from", "to", "last", "count", "offset", "as-of", "user",
                                  "computer", "days", "aggregate", "chart-shows", "units", "period", "scale",
                                  "chart"}) {
            if (has(other))
                return error(other, QStringLiteral("cannot be used with --document"));
        }
        if (flags.contains(QStringLiteral("details")))
            return error("details", QStringLiteral("cannot be used with --document"));
        if (r.format == QLatin1String("csv") || r.format == QLatin1String("xlsx"))
            return error("format", QStringLiteral("%1 holds a report's table, which a report document does not keep")
                                       .arg(r.format));
        if (val("document").isEmpty())
            return error("document", QStringLiteral("a file name is required"));
        r.kind = ExportRequest::Kind::Document;
        r.documentFile = val("document");
        result.request = r;
        return result;
    }

    if (!has("data") || val("data").isEmpty())
        return error("data", QStringLiteral("required: the data file"));
    r.dataFile = val("data");
    if (!has("report"))
        return error("report", QStringLiteral("required: day or totals"));
    const auto kind = choice(val("report"), {QStringLiteral("day"), QStringLiteral("totals")});
    if (!kind)
        return error("report", QStringLiteral("'%1' is not day or totals").arg(val("report")));
    r.kind = *kind == 0 ? ExportRequest::Kind::Day : ExportRequest::Kind::Totals;
    for (const QString& o : r.kind == ExportRequest::Kind::Day ? kTotalsOnly : kDayOnly) {
        if (values.contains(o)) {
            result.usageError = usage(o, r.kind == ExportRequest::Kind::Day
                                             ? QStringLiteral("applies to the Totals report only")
                                             : QStringLiteral("applies to the Day report only"));
            return result;
        }
    }

    // Range
    if (has("last")) {
        if (has("from"))
            return error("from", QStringLiteral("cannot be used with --last"));
        if (has("to"))
            return error("to", QStringLiteral("cannot be used with --last"));
        const QStringList kinds = {QStringLiteral("day"), QStringLiteral("week"), QStringLiteral("month"),
                                   QStringLiteral("quarter"), QStringLiteral("year")};
        const auto k = choice(val("last"), kinds);
        if (!k)
            return error("last", QStringLiteral("'%1' is not day, week, month, quarter or year").arg(val("last")));
        r.last = kinds[*k];
        if (has("count")) {
            const auto n = wholeNumber(val("count"));
            if (!n || *n < 1 || *n > 10000)
                return error("count", QStringLiteral("'%1' is not a whole number from 1 to 10000").arg(val("count")));
            r.count = *n;
        }
        if (has("offset")) {
            const auto n = wholeNumber(val("offset"));
            if (!n || *n < 0 || *n > 10000)
                return error("offset",
                             QStringLiteral("'%1' is not a whole number from 0 to 10000").arg(val("offset")));
            r.offset = *n;
        }
        if (has("as-of")) {
            const auto d = isoDate(val("as-of"));
            if (!d)
                return error("as-of", QStringLiteral("'%1' is not a date YYYY-MM-DD").arg(val("as-of")));
            r.asOf = *d;
        }
    } else {
        for (const char* o : {"count", "offset", "as-of"}) {
            if (has(o))
                return error(o, QStringLiteral("applies to --last only"));
        }
        if (!has("from"))
            return error("from", QStringLiteral("required (or --last)"));
        if (!has("to"))
            return error("to", QStringLiteral("required (or --last)"));
        const auto from = isoDate(val("from"));
        if (!from)
            return error("from", QStringLiteral("'%1' is not a date YYYY-MM-DD").arg(val("from")));
        const auto to = isoDate(val("to"));
        if (!to)
            return error("to", QStringLiteral("'%1' is not a date YYYY-MM-DD").arg(val("to")));
        if (*to < *from)
            return error("to", QStringLiteral("%1 is before --from %2").arg(val("to"), val("from")));
        r.from = *from;
        r.to = *to;
    }

    r.user = val("user");
    r.computer = val("computer");
    r.details = flags.contains(QStringLiteral("details"));
    // Without --chart each report gets the chart the main window picks when it is set up.
    r.chartType = r.kind == ExportRequest::Kind::Totals ? 3 : 1;
    if (has("chart")) {
        const auto code = chartTypeCode(val("chart"));
        if (!code)
            return error("chart", QStringLiteral("'%1' is not a chart type (see --help)").arg(val("chart")));
        r.chartType = *code;
    }

    if (has("days")) {
        const QStringList names = {QStringLiteral("mon"), QStringLiteral("tue"), QStringLiteral("wed"),
                                   QStringLiteral("thu"), QStringLiteral("fri"), QStringLiteral("sat"),
                                   QStringLiteral("sun")};
        for (bool& d : r.days)
            d = false;
        const QStringList tokens = val("days").split(QLatin1Char(','));
        for (const QString& t : tokens) {
            const auto i = choice(t.trimmed(), names);
            if (!i)
                return error("days", QStringLiteral("'%1' is not one of mon, tue, wed, thu, fri, sat, sun").arg(t));
            r.days[*i] = true;
        }
    }
    if (has("aggregate")) {
        const auto i = choice(val("aggregate"), {QStringLiteral("average"), QStringLiteral("total"),
                                                 QStringLiteral("maximum"), QStringLiteral("minimum")});
        if (!i)
            return error("aggregate",
                         QStringLiteral("'%1' is not average, total, maximum or minimum").arg(val("aggregate")));
        r.totalType = *i;
    }
    if (has("chart-shows")) {
        const auto i = choice(val("chart-shows"),
                              {QStringLiteral("average"), QStringLiteral("each"), QStringLiteral("both")});
        if (!i)
            return error("chart-shows", QStringLiteral("'%1' is not average, each or both").arg(val("chart-shows")));
        r.showEachDay = *i;
    }
    if (has("units")) {
        const auto n = wholeNumber(val("units"));
        if (!n)
            return error("units", QStringLiteral("'%1' is not a whole number").arg(val("units")));
        r.units = *n;
    }
    if (has("period")) {
        const QStringList periods = {QStringLiteral("Days"), QStringLiteral("Weeks"), QStringLiteral("Months"),
                                     QStringLiteral("Years")};
        const auto i = choice(val("period"), periods);
        if (!i)
            return error("period", QStringLiteral("'%1' is not days, weeks, months or years").arg(val("period")));
        r.period = periods[*i];
    }
    if (has("scale")) {
        const auto i = choice(val("scale"), {QStringLiteral("seconds"), QStringLiteral("minutes"),
                                             QStringLiteral("hours")});
        if (!i)
            return error("scale", QStringLiteral("'%1' is not seconds, minutes or hours").arg(val("scale")));
        r.timeScale = *i;
    }
    result.request = r;
    return result;
}

namespace {

// The command-line tool's message and error components: no screen, every box and report is
// printed on stderr, and an error report is answered "leave".
struct ScriptedComponents {
    ScriptedErrorReporter* reporter = nullptr;
    ScriptedMessageBox* messageBox = nullptr;

    bool anyShown() const { return !reporter->calls().isEmpty() || !messageBox->requests().isEmpty(); }
};

ScriptedComponents installScriptedComponents(FILE* echo) {
    ScriptedComponents c;
    auto reporter = std::make_unique<ScriptedErrorReporter>();
    reporter->setEcho(echo);
    reporter->setDefaultAnswer(QString());
    reporter->setProductName(QStringLiteral("tallyrow-export"));
    reporter->setSupportAddress(kSupportAddress);
    c.reporter = reporter.get();
    gErrorReporter = std::move(reporter);
    auto box = std::make_unique<ScriptedMessageBox>();
    box->setEcho(echo);
    c.messageBox = box.get();
    gMessageBox = std::move(box);
    services().makeMessageBox = [echo] {
        auto b = std::make_unique<ScriptedMessageBox>();
        b->setEcho(echo);
        return std::unique_ptr<MessageBoxEx>(std::move(b));
    };
    return c;
}

// The data source check of start-up, with the reason spelled out in one sentence that names
// the source as the user gave it (`given`). A server URI is tested by connecting; it is shown
// without its password.
bool checkDataFile(const QString& path, const QString& given, FILE* err) {
    const bool server = isPostgresUri(path);
    const QString cannot = server ? QStringLiteral("cannot read the database \"%1\": %2.")
                                  : QStringLiteral("cannot read the data file \"%1\": %2.");
    const QString shown = shownName(given);
    if (!server) {
        const QFileInfo info(path);
        if (!info.exists()) {
            fail(err, cannot.arg(shown, QStringLiteral("the file does not exist")));
            return false;
        }
        if (info.isDir()) {
            fail(err, cannot.arg(shown, QStringLiteral("it is a folder, not a file")));
            return false;
        }
    }
    // The connection's description names the source again; the sentence above already does.
    const QString start =
        server ? QStringLiteral("Cannot open the database \"%1\": ").arg(redactedPostgresUri(path))
               : QStringLiteral("Cannot open the data file \"%1\": ").arg(path);
    try {
        Connection cn;
        cn.Open(ConnectionString(path), QString(), QString(), -1);
        cn.Close();
    } catch (const Error& e) {
        fail(err, cannot.arg(shown, reasonOf(e.description(), start)));
        return false;
    } catch (const std::exception& e) {
        fail(err, cannot.arg(shown, reasonOf(QString::fromLocal8Bit(e.what()), start)));
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

// Something the run reported although the file was written: the run still fails.
bool nothingReported(const ScriptedComponents& shown, const ExportRequest& r, FILE* err) {
    if (!shown.anyShown())
        return true;
    fail(err,
         QStringLiteral("the report was written to \"%1\", but problems were reported while it was made:")
             .arg(shownName(r.outputFile)));
    return false;
}

bool writePages(const engine::PageCollection& pages, const ExportRequest& r, FILE* err) {
    QString reason;
    if (!SaveReport(pages, r.outputFile, formatCode(r.format), &reason)) {
        fail(err, QStringLiteral("cannot write the report to \"%1\": %2.")
                      .arg(shownName(r.outputFile), unwritableReason(r.outputFile, reason)));
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
    HeldBackLines heldBack;
    g_heldBack = &heldBack;
    const ScriptedComponents shown = installScriptedComponents(heldBack.stream() ? heldBack.stream() : err);
    struct Release {
        FILE* err;
        ~Release() {
            // Whatever is still held back is printed all the same, and anything reported after
            // the run goes straight to stderr.
            std::fputs(qUtf8Printable(withoutPasswords(g_heldBack->take())), err);
            std::fflush(err);
            g_heldBack = nullptr;
            installScriptedComponents(err);
        }
    } release{err};

    // The program never writes a data file: an --output that names the file being read is refused
    // before anything is done.
    const QString input = r.kind == ExportRequest::Kind::Document ? r.documentFile : r.dataFile;
    if (sameFile(r.outputFile, input)) {
        fail(err, QStringLiteral("--output: %1 is the file being read; choose another file")
                      .arg(shownName(r.outputFile)));
        std::fprintf(err, "Try 'tallyrow-export --help' for more information.\n");
        return 2;
    }
    // Saving replaces the file at --output; a device, pipe or folder there is never replaced.
    if (const auto kind = nonRegularFileKind(r.outputFile)) {
        fail(err,
             QStringLiteral("--output: %1 is %2, not a regular file; choose a file").arg(r.outputFile, *kind));
        std::fprintf(err, "Try 'tallyrow-export --help' for more information.\n");
        return 2;
    }

    if (r.kind == ExportRequest::Kind::Document) {
        engine::PageCollection pages;
        try {
            pages = loadReportDocument(r.documentFile);
        } catch (const Error& e) {
            fail(err, e.description());
            return 1;
        }
        return writePages(pages, r, err) && nothingReported(shown, r, err) ? 0 : 1;
    }

    const QString dataPath =
        isPostgresUri(r.dataFile) ? r.dataFile : QFileInfo(r.dataFile).absoluteFilePath();
    if (!checkDataFile(dataPath, r.dataFile, err))
        return 1;
    CommandLineDataPath = dataPath;
    SessionDataPath = dataPath;

    QDate from = r.from;
    QDate to = r.to;
    if (!r.last.isEmpty()) {
        const QDate today = r.asOf ? *r.asOf : services().today();
        try {
            const auto range = lastRange(periodKind(r.last), r.count, r.offset, today,
                                         services().locale().firstDayOfWeek());
            from = range.first;
            to = range.second;
        } catch (const Error& e) {
            fail(err, QStringLiteral("--last: %1").arg(e.description()));
            return 1;
        }
    }

    std::unique_ptr<engine::Report> report;
    if (r.kind == ExportRequest::Kind::Day) {
        auto day = std::make_unique<repDay>();
        DayReportInputs in;
        in.StartDate = from;
        in.EndDate = to;
        in.IncludeMonday = r.days[0];
        in.IncludeTuesday = r.days[1];
        in.IncludeWednesday = r.days[2];
        in.IncludeThursday = r.days[3];
        in.IncludeFriday = r.days[4];
        in.IncludeSaturday = r.days[5];
        in.IncludeSunday = r.days[6];
        in.ShowEachDay = r.showEachDay;
        in.TotalType = r.totalType;
        in.ChartType = r.chartType;
        in.ShowDetails = r.details;
        in.UserFilter = r.user;
        in.ComputerFilter = r.computer;
        day->setInputs(in);
        report = std::move(day);
    } else {
        auto totals = std::make_unique<repTotals>();
        TotalsReportInputs in;
        in.StartDate = from;
        in.EndDate = to;
        in.Units = r.units;
        in.Period = r.period;
        in.ChartType = r.chartType;
        in.ShowDetails = r.details;
        in.UserFilter = r.user;
        in.ComputerFilter = r.computer;
        in.ReportTimeScale = r.timeScale;
        totals->setInputs(in);
        report = std::move(totals);
    }

    const auto cannotMake = [&](const QString& reason) {
        return QStringLiteral("cannot make the %1 report from \"%2\": %3.")
            .arg(r.kind == ExportRequest::Kind::Day ? QStringLiteral("Day") : QStringLiteral("Totals"),
                 shownName(r.dataFile), reason);
    };
    bool completed = false;
    try {
        completed = report->Run();
    } catch (const std::exception& e) {
        fail(err, cannotMake(reasonOf(QString::fromLocal8Bit(e.what()), QString())));
        return 1;
    }
    if (!completed || shown.anyShown()) {
        // The first thing reported is the cause; what followed are its consequences.
        QString reason = QStringLiteral("the report stopped before it was complete");
        if (!shown.reporter->calls().isEmpty())
            reason = reasonOf(shown.reporter->calls().first().description, QString());
        else if (!shown.messageBox->requests().isEmpty())
            reason = reasonOf(shown.messageBox->requests().first().prompt, QString());
        fail(err, cannotMake(reason));
        return 1;
    }

    if (r.format == QLatin1String("csv") || r.format == QLatin1String("xlsx")) {
        const bool csv = r.format == QLatin1String("csv");
        try {
            if (auto* day = qobject_cast<repDay*>(report.get()))
                csv ? writeReportCsv(*day, r.outputFile) : writeReportXlsx(*day, r.outputFile);
            else if (csv)
                writeReportCsv(*static_cast<repTotals*>(report.get()), r.outputFile);
            else
                writeReportXlsx(*static_cast<repTotals*>(report.get()), r.outputFile);
        } catch (const Error& e) {
            fail(err,
                 QStringLiteral("cannot write the report to \"%1\": %2.")
                     .arg(shownName(r.outputFile),
                          reasonOf(e.description(), QStringLiteral("Cannot write %1: ").arg(r.outputFile))));
            return 1;
        }
        return 0;
    }
    return writePages(report->pages(), r, err) && nothingReported(shown, r, err) ? 0 : 1;
}

} // namespace tallyrow
