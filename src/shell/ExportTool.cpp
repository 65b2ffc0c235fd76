#include "shell/ExportTool.h"

#include "datafile/Connection.h"
#include "datafile/DataPath.h"
#include "datafile/PostgresUri.h"
#include "datafile/SnapshotStore.h"
#include "dateselector/ScheduledRange.h"
#include "output/ReportDocument.h"
#include "output/SaveReport.h"
#include "reports/ReportCsv.h"
#include "reports/repDay.h"
#include "reports/repTotals.h"
#include "support/CommandLine.h"
#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/Scripted.h"
#include "support/Services.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <memory>

namespace tallyrow {

namespace {

struct ChartName {
    QLatin1String name;
    std::int32_t code;
};
const ChartName kChartNames[] = {
    {QLatin1String("3D Bar"), 0},          {QLatin1String("2D Bar"), 1},  {QLatin1String("3D Line"), 2},
    {QLatin1String("2D Line"), 3},         {QLatin1String("3D Area"), 4}, {QLatin1String("2D Area"), 5},
    {QLatin1String("3D Step"), 6},         {QLatin1String("2D Step"), 7}, {QLatin1String("3D Combination"), 8},
    {QLatin1String("2D Combination"), 9},  {QLatin1String("2D Pie"), 14}, {QLatin1String("2D XY"), 16},
};

const QStringList kValueOptions = {
    QStringLiteral("data"),   QStringLiteral("report"),   QStringLiteral("from"),        QStringLiteral("to"),
    QStringLiteral("user"),   QStringLiteral("computer"), QStringLiteral("days"),        QStringLiteral("aggregate"),
    QStringLiteral("chart-shows"), QStringLiteral("units"), QStringLiteral("period"),    QStringLiteral("scale"),
    QStringLiteral("chart"),  QStringLiteral("format"),   QStringLiteral("output"),      QStringLiteral("document"),
    QStringLiteral("last"),   QStringLiteral("count"),    QStringLiteral("offset"),      QStringLiteral("as-of"),
};
const QStringList kFlagOptions = {QStringLiteral("details"), QStringLiteral("help"), QStringLiteral("no-cache")};

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

void fail(FILE* err, const QString& text) {
    std::fprintf(err, "tallyrow-export: %s\n", qUtf8Printable(text));
    std::fflush(err);
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
    for (const ChartName& c : kChartNames) {
        if (name.compare(c.name, Qt::CaseInsensitive) == 0)
            return c.code;
    }
    return std::nullopt;
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
        "  --no-cache               read every row from the data file, without using or saving\n"
        "                           the copy of its rows kept in $XDG_CACHE_HOME/tallyrow\n"
        "                           (~/.cache/tallyrow)\n"
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
        "  --format pdf|txt|rtf|xls|rdf|csv            file format (rdf: report document; csv: the\n"
        "                           report's table, whether or not --details is given)\n"
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
        return error("format", QStringLiteral("required (pdf, txt, rtf, xls, rdf or csv)"));
    const QStringList formats = {QStringLiteral("pdf"), QStringLiteral("txt"), QStringLiteral("rtf"),
                                 QStringLiteral("xls"), QStringLiteral("rdf"), QStringLiteral("csv")};
    const auto format = choice(val("format"), formats);
    if (!format)
        return error("format", QStringLiteral("'%1' is not one of pdf, txt, rtf, xls, rdf, csv").arg(val("format")));
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
        if (flags.contains(QStringLiteral("no-cache")))
            return error("no-cache", QStringLiteral("cannot be used with --document"));
        if (r.format == QLatin1String("csv"))
            return error("format", QStringLiteral("csv holds a report's table, which a report document does not keep"));
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
    r.noCache = flags.contains(QStringLiteral("no-cache"));
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

ScriptedComponents installScriptedComponents(FILE* err) {
    ScriptedComponents c;
    auto reporter = std::make_unique<ScriptedErrorReporter>();
    reporter->setEcho(err);
    reporter->setDefaultAnswer(QString());
    reporter->setProductName(QStringLiteral("tallyrow-export"));
    reporter->setSupportAddress(kSupportAddress);
    c.reporter = reporter.get();
    gErrorReporter = std::move(reporter);
    auto box = std::make_unique<ScriptedMessageBox>();
    box->setEcho(err);
    c.messageBox = box.get();
    gMessageBox = std::move(box);
    services().makeMessageBox = [err] {
        auto b = std::make_unique<ScriptedMessageBox>();
        b->setEcho(err);
        return std::unique_ptr<MessageBoxEx>(std::move(b));
    };
    return c;
}

// The data source check of start-up, with the reason spelled out. A server URI is tested by
// connecting; it is shown without its password.
// A data file is read once into a snapshot the report answers from (`snapshot`); a server
// source is only opened, as its server aggregates.
bool checkDataFile(const QString& path, bool noCache, std::shared_ptr<const ActivitySnapshot>& snapshot, FILE* err) {
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
        if (SnapshotStore::takesSnapshot(path)) {
            SnapshotStore store(noCache ? QString() : SnapshotStore::defaultCacheFolder());
            snapshot = store.load(path);
        } else {
            Connection cn;
            cn.Open(ConnectionString(path), QString(), QString(), -1);
            cn.Close();
        }
    } catch (const Error& e) {
        fail(err, QStringLiteral("cannot use data file %1: %2").arg(shown, e.description()));
        return false;
    } catch (const std::exception& e) {
        fail(err, QStringLiteral("cannot use data file %1: %2").arg(shown, QString::fromLocal8Bit(e.what())));
        return false;
    }
    return true;
}

// Why a file cannot be written where SaveReport gives no reason of its own.
QString unwritableReason(const QString& path) {
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (!folder.isDir())
        return QStringLiteral("no such folder %1").arg(folder.filePath());
    if (!folder.isWritable() || (info.exists() && !info.isWritable()))
        return QStringLiteral("permission denied");
    return QStringLiteral("the file could not be written");
}

bool writePages(const engine::PageCollection& pages, const ExportRequest& r, FILE* err) {
    if (!SaveReport(pages, r.outputFile, formatCode(r.format))) {
        fail(err, QStringLiteral("cannot write %1: %2").arg(r.outputFile, unwritableReason(r.outputFile)));
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
    const ScriptedComponents shown = installScriptedComponents(err);

    // The program never writes a data file: an --output that names the file being read is refused
    // before anything is done.
    const QString input = r.kind == ExportRequest::Kind::Document ? r.documentFile : r.dataFile;
    if (sameFile(r.outputFile, input)) {
        fail(err, QStringLiteral("--output: %1 is the file being read; choose another file").arg(r.outputFile));
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
        return writePages(pages, r, err) && !shown.anyShown() ? 0 : 1;
    }

    const QString dataPath =
        isPostgresUri(r.dataFile) ? r.dataFile : QFileInfo(r.dataFile).absoluteFilePath();
    std::shared_ptr<const ActivitySnapshot> snapshot;
    if (!checkDataFile(dataPath, r.noCache, snapshot, err))
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
        day->setSnapshot(snapshot);
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
        totals->setSnapshot(snapshot);
        report = std::move(totals);
    }

    bool completed = false;
    try {
        completed = report->Run();
    } catch (const std::exception& e) {
        fail(err, QString::fromLocal8Bit(e.what()));
        return 1;
    }
    if (!completed || shown.anyShown()) {
        fail(err, QStringLiteral("the report could not be made from %1")
                      .arg(isPostgresUri(dataPath) ? redactedPostgresUri(dataPath) : dataPath));
        return 1;
    }

    if (r.format == QLatin1String("csv")) {
        try {
            if (auto* day = qobject_cast<repDay*>(report.get()))
                writeReportCsv(*day, r.outputFile);
            else
                writeReportCsv(*static_cast<repTotals*>(report.get()), r.outputFile);
        } catch (const Error& e) {
            fail(err, e.description());
            return 1;
        }
        return 0;
    }
    return writePages(report->pages(), r, err) && !shown.anyShown() ? 0 : 1;
}

} // namespace tallyrow
