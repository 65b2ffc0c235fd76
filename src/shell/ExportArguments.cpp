#include "shell/ExportArguments.h"

#include "dateselector/Calendar.h"
#include "engine/ChartDefinition.h"

#include <QCommandLineParser>
#include <QSet>

#include <algorithm>
#include <functional>
#include <vector>

namespace tallyrow {

namespace {

// One line per option: its name, the name of its value (none for a flag), and whether it may go
// with --document. Which reports take an option the report catalogue says; an option no report
// names applies to every report. A report document refuses the others in this order.
struct OptionRow {
    const char* name;
    const char* valueName;
    bool withDocument;
};
const OptionRow kOptions[] = {
    {"data", "FILE", false},        {"report", "KIND", false},    {"from", "DATE", false},
    {"to", "DATE", false},          {"last", "KIND", false},      {"count", "N", false},
    {"offset", "N", false},         {"as-of", "DATE", false},     {"user", "NAME", false},
    {"computer", "NAME", false},    {"days", "DAYS", false},      {"aggregate", "KIND", false},
    {"chart-shows", "KIND", false}, {"units", "N", false},        {"period", "UNIT", false},
    {"scale", "UNIT", false},       {"by", "WHOM", false},        {"chart", "NAME", false},
    {"details", nullptr, false},    {"no-cache", nullptr, false}, {"wait", "SECONDS", false},
    {"locale", "NAME", false},      {"heat-map", nullptr, false}, {"key-figures", nullptr, false},
    {"compare", nullptr, false},    {"format", "FORMAT", true},   {"output", "FILE", true},
    {"document", "FILE", true},     {"help", nullptr, true},      {"version", nullptr, true},
};

const OptionRow* optionNamed(const QString& name) {
    for (const OptionRow& row : kOptions) {
        if (name == QLatin1String(row.name))
            return &row;
    }
    return nullptr;
}

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

// An option whose value is one of a fixed list; the index of the choice goes to the request.
struct ChoiceOption {
    const char* name;
    QStringList choices;
    const char* refusal; ///< "%1" is the value given
    std::function<void(ExportRequest&, int)> apply;
};

// The report options that pick from a list, in the order they are checked.
const std::vector<ChoiceOption>& choiceOptions() {
    static const std::vector<ChoiceOption> options = {
        {"aggregate",
         {QStringLiteral("average"), QStringLiteral("total"), QStringLiteral("maximum"),
          QStringLiteral("minimum")},
         "'%1' is not average, total, maximum or minimum",
         [](ExportRequest& r, int i) { r.totalType = DayFigure(i); }},
        {"chart-shows",
         {QStringLiteral("average"), QStringLiteral("each"), QStringLiteral("both")},
         "'%1' is not average, each or both",
         [](ExportRequest& r, int i) { r.showEachDay = DayColumns(i); }},
    };
    return options;
}

// The first thing wrong with the line as written, in argument order: an argument that is no
// option ("-x", "--", a word), an unknown option, a flag given a value, a missing value, or an
// option given twice.
std::optional<QString> firstMisspelling(const QStringList& arguments) {
    QSet<QString> seen;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (!arg.startsWith(QLatin1String("--")) || arg.size() == 2)
            return QStringLiteral("unexpected argument '%1'").arg(arg);
        const QString name = arg.mid(2).section(QLatin1Char('='), 0, 0);
        const bool valueAttached = arg.indexOf(QLatin1Char('=')) >= 0;
        const OptionRow* row = optionNamed(name);
        if (row == nullptr)
            return QStringLiteral("unknown option '--%1'").arg(name);
        if (row->valueName == nullptr) {
            if (valueAttached)
                return usage(name, QStringLiteral("takes no value"));
            continue;
        }
        if (!valueAttached && ++i >= arguments.size())
            return usage(name, QStringLiteral("a value is missing"));
        if (seen.contains(name))
            return usage(name, QStringLiteral("given more than once"));
        seen.insert(name);
    }
    return std::nullopt;
}

// The command line read into option values and flags.
class ArgumentValues {
public:
    std::optional<QString> read(const QStringList& arguments);

    bool has(const char* name) const { return m_parser.isSet(QLatin1String(name)); }
    QString value(const char* name) const { return m_parser.value(QLatin1String(name)); }
    bool flag(const char* name) const { return has(name); }

private:
    bool anyRepeated() const;

    QCommandLineParser m_parser;
};

std::optional<QString> ArgumentValues::read(const QStringList& arguments) {
    for (const OptionRow& row : kOptions) {
        QCommandLineOption option(QLatin1String(row.name));
        if (row.valueName != nullptr)
            option.setValueName(QLatin1String(row.valueName));
        m_parser.addOption(option);
    }
    // There are no one-letter options, so any word after a single dash is an error here.
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const bool parsed = m_parser.parse(QStringList{QStringLiteral("tallyrow-export")} + arguments);
    if (parsed && m_parser.positionalArguments().isEmpty() && !anyRepeated() &&
        !arguments.contains(QLatin1String("--")))
        return std::nullopt;
    // The parser reads on past a problem and keeps unknown names, stray words and repeated values
    // apart, so which came first is lost; it also takes "--" as the end of the options, where this
    // tool refuses it. The line is walked again to name its first problem.
    if (auto problem = firstMisspelling(arguments))
        return problem;
    if (!parsed)
        return m_parser.errorText();
    return std::nullopt;
}

bool ArgumentValues::anyRepeated() const {
    for (const OptionRow& row : kOptions) {
        if (row.valueName != nullptr && m_parser.values(QLatin1String(row.name)).size() > 1)
            return true;
    }
    return false;
}

using Problem = std::optional<QString>;

Problem problem(const char* option, const QString& text) {
    return usage(QLatin1String(option), text);
}

// The format names for messages: "pdf, txt, rtf, ...".
QString formatNames(const QString& separator, const QString& last) {
    QStringList names;
    for (const ReportFormatInfo& info : reportFormats())
        names << QString(info.name);
    const QString end = names.takeLast();
    return names.join(separator) + last + end;
}

// --format when given; else the format the output's extension names. A --format that another
// format's extension contradicts is refused: the file would lie about what it holds.
Problem readOutput(const ArgumentValues& a, ExportRequest& r) {
    const auto format = reportFormatNamed(a.value("format"));
    if (a.has("format") && !format)
        return problem("format",
                       QStringLiteral("'%1' is not one of %2")
                           .arg(a.value("format"), formatNames(QStringLiteral(", "), QStringLiteral(", "))));
    if (!a.has("output") || a.value("output").isEmpty())
        return problem("output", QStringLiteral("required: the file to write"));
    r.outputFile = a.value("output");
    const auto byName = reportFormatOfFileName(r.outputFile);
    if (!format && !byName)
        return problem("format", QStringLiteral("required, as the output's name does not end in the "
                                                "extension of a format (%1)")
                                     .arg(formatNames(QStringLiteral(", "), QStringLiteral(" or "))));
    if (format && byName && *byName != *format)
        return problem("format", QStringLiteral("%1 contradicts the output %2, whose extension names %3; "
                                                "leave --format out or give a file ending in %4")
                                     .arg(a.value("format"), r.outputFile, reportFormatInfo(*byName).name,
                                          reportFormatInfo(*format).extension));
    r.format = format ? *format : *byName;
    return std::nullopt;
}

Problem readDocument(const ArgumentValues& a, ExportRequest& r) {
    for (const OptionRow& row : kOptions) {
        if (!row.withDocument && a.has(row.name))
            return problem(row.name, QStringLiteral("cannot be used with --document"));
    }
    if (!reportFormatInfo(r.format).writesPages())
        return problem("format",
                       QStringLiteral("%1 holds a report's table, which a report document does not keep")
                           .arg(reportFormatInfo(r.format).name));
    if (a.value("document").isEmpty())
        return problem("document", QStringLiteral("a file name is required"));
    r.documentFile = a.value("document");
    return std::nullopt;
}

Problem readDataAndReport(const ArgumentValues& a, const ReportCatalogue& reports, ExportRequest& r) {
    if (a.has("data") && a.value("data").isEmpty())
        return problem("data", QStringLiteral("a file name or server URI is required"));
    r.dataFile = a.value("data");
    const QString names = reports.nameList(QStringLiteral(", "), QStringLiteral(" or "));
    if (!a.has("report"))
        return problem("report", QStringLiteral("required: ") + names);
    const ReportDescriptor* report = reports.named(a.value("report"));
    if (!report)
        return problem("report", QStringLiteral("'%1' is not %2").arg(a.value("report"), names));
    r.report = *report;
    for (const OptionRow& row : kOptions) {
        const QString name = QLatin1String(row.name);
        if (a.has(row.name) && reports.isReportOption(name) && !report->options.contains(name))
            return problem(row.name, QStringLiteral("applies to ") + reports.reportsTaking(name));
    }
    if (a.has("by")) {
        const auto by = choice(a.value("by"),
                               {QStringLiteral("user"), QStringLiteral("computer"), QStringLiteral("pair")});
        if (!by)
            return problem("by", QStringLiteral("'%1' is not user, computer or pair").arg(a.value("by")));
        r.by = PeopleGrouping(*by);
    }
    return std::nullopt;
}

// A date option's value: a date YYYY-MM-DD within the days a report can cover.
Problem readDate(const ArgumentValues& a, const char* option, QDate& date) {
    const auto d = isoDate(a.value(option));
    if (!d)
        return problem(option, QStringLiteral("'%1' is not a date YYYY-MM-DD").arg(a.value(option)));
    if (*d < earliestCalendarDate() || *d > latestCalendarDate())
        return problem(option, QStringLiteral("%1 is outside the days a report can cover (%2 to %3)")
                                   .arg(a.value(option), earliestCalendarDate().toString(Qt::ISODate),
                                        latestCalendarDate().toString(Qt::ISODate)));
    date = *d;
    return std::nullopt;
}

Problem readLastRange(const ArgumentValues& a, ExportRequest& r) {
    if (a.has("from"))
        return problem("from", QStringLiteral("cannot be used with --last"));
    if (a.has("to"))
        return problem("to", QStringLiteral("cannot be used with --last"));
    const QStringList kinds = {QStringLiteral("day"), QStringLiteral("week"), QStringLiteral("month"),
                               QStringLiteral("quarter"), QStringLiteral("year")};
    const auto k = choice(a.value("last"), kinds);
    if (!k)
        return problem("last",
                       QStringLiteral("'%1' is not day, week, month, quarter or year").arg(a.value("last")));
    r.last = kinds[*k];
    if (a.has("count")) {
        const auto n = wholeNumber(a.value("count"));
        if (!n || *n < 1 || *n > 10000)
            return problem(
                "count", QStringLiteral("'%1' is not a whole number from 1 to 10000").arg(a.value("count")));
        r.count = *n;
    }
    if (a.has("offset")) {
        const auto n = wholeNumber(a.value("offset"));
        if (!n || *n < 0 || *n > 10000)
            return problem(
                "offset",
                QStringLiteral("'%1' is not a whole number from 0 to 10000").arg(a.value("offset")));
        r.offset = *n;
    }
    if (a.has("as-of")) {
        QDate asOf;
        if (auto p = readDate(a, "as-of", asOf))
            return p;
        r.asOf = asOf;
    }
    return std::nullopt;
}

Problem readFromTo(const ArgumentValues& a, ExportRequest& r) {
    for (const char* o : {"count", "offset", "as-of"}) {
        if (a.has(o))
            return problem(o, QStringLiteral("applies to --last only"));
    }
    if (!a.has("from"))
        return problem("from", QStringLiteral("required (or --last)"));
    if (!a.has("to"))
        return problem("to", QStringLiteral("required (or --last)"));
    QDate from;
    QDate to;
    if (auto p = readDate(a, "from", from))
        return p;
    if (auto p = readDate(a, "to", to))
        return p;
    if (to < from)
        return problem("to", QStringLiteral("%1 is before --from %2").arg(a.value("to"), a.value("from")));
    r.from = from;
    r.to = to;
    return std::nullopt;
}

Problem readCommonOptions(const ArgumentValues& a, ExportRequest& r) {
    r.user = a.value("user");
    r.computer = a.value("computer");
    r.details = a.flag("details");
    r.heatMap = a.flag("heat-map");
    if (r.heatMap && !r.details)
        return problem("heat-map",
                       QStringLiteral("shades the cells of the table, which only --details shows; "
                                      "add --details"));
    r.keyFigures = a.flag("key-figures");
    r.noCache = a.flag("no-cache");
    r.compare = a.flag("compare");
    // Without --chart each report gets the chart the main window picks when it is set up.
    r.chartType = r.report->defaultChart;
    if (a.has("chart")) {
        const auto code = chartTypeCode(a.value("chart"));
        if (!code)
            return problem("chart",
                           QStringLiteral("'%1' is not a chart type (see --help)").arg(a.value("chart")));
        r.chartType = *code;
    }
    return std::nullopt;
}

Problem readDays(const ArgumentValues& a, ExportRequest& r) {
    if (!a.has("days"))
        return std::nullopt;
    const QStringList names = {QStringLiteral("mon"), QStringLiteral("tue"), QStringLiteral("wed"),
                               QStringLiteral("thu"), QStringLiteral("fri"), QStringLiteral("sat"),
                               QStringLiteral("sun")};
    r.days = WeekdaySet();
    for (const QString& t : a.value("days").split(QLatin1Char(','))) {
        const auto i = choice(t.trimmed(), names);
        if (!i)
            return problem("days",
                           QStringLiteral("'%1' is not one of mon, tue, wed, thu, fri, sat, sun").arg(t));
        r.days.set(Qt::DayOfWeek(*i + 1), true);
    }
    return std::nullopt;
}

Problem readReportOptions(const ArgumentValues& a, ExportRequest& r) {
    if (auto p = readDays(a, r))
        return p;
    for (const ChoiceOption& o : choiceOptions()) {
        if (!a.has(o.name))
            continue;
        const auto i = choice(a.value(o.name), o.choices);
        if (!i)
            return problem(o.name, QString::fromLatin1(o.refusal).arg(a.value(o.name)));
        o.apply(r, *i);
    }
    if (a.has("locale")) {
        const QString name = a.value("locale");
        const QLocale locale(name);
        // QLocale takes any text and falls back to C: only C, POSIX or a name it knows is taken.
        const bool plain = name == QLatin1String("C") || name == QLatin1String("POSIX");
        if (!plain && locale.language() == QLocale::C)
            return problem("locale",
                           QStringLiteral("'%1' is not a locale name such as de_DE or C").arg(name));
        r.locale = plain ? QLocale::c() : locale;
    }
    if (a.has("wait")) {
        const auto n = wholeNumber(a.value("wait"));
        if (!n || *n < 0 || *n > kLongestDataFileWait)
            return problem("wait", QStringLiteral("'%1' is not a number of seconds from 0 to %2")
                                       .arg(a.value("wait"))
                                       .arg(kLongestDataFileWait));
        r.waitSeconds = *n;
    }
    if (a.has("units")) {
        const auto n = wholeNumber(a.value("units"));
        if (!n)
            return problem("units", QStringLiteral("'%1' is not a whole number").arg(a.value("units")));
        r.units = *n;
    }
    if (a.has("period")) {
        const auto period = periodNamed(a.value("period"));
        if (!period)
            return problem("period",
                           QStringLiteral("'%1' is not days, weeks, months or years").arg(a.value("period")));
        r.period = *period;
    }
    // No period can be longer than the calendar the dates live in (years 1 to 9999).
    if (a.has("units")) {
        const std::int32_t longest[] = {3652059, 521722, 119988, 9999};
        const auto most = longest[std::clamp(static_cast<int>(r.period), 0, 3)];
        if (r.units > most)
            return problem("units", QStringLiteral("'%1' %2 is longer than the calendar holds (at most %3)")
                                        .arg(a.value("units"), periodName(r.period).toLower())
                                        .arg(most));
    }
    if (a.has("scale")) {
        const auto scale = timeScaleNamed(a.value("scale"));
        if (!scale)
            return problem("scale",
                           QStringLiteral("'%1' is not seconds, minutes or hours").arg(a.value("scale")));
        r.timeScale = *scale;
    }
    return std::nullopt;
}

// The part of the --help text after the reports' own parts.
QString exportHelpTail() {
    return QStringLiteral(
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
        "  --format pdf|txt|rtf|xls|rdf|csv|xlsx|html|json\n"
        "                           file format (default: the one the output's extension names;\n"
        "                           rdf: report document; csv: the report's table, whether or not\n"
        "                           --details is given; xlsx: that table as an Excel workbook with\n"
        "                           totals and the chart; html: a web page, as a browser or a mail\n"
        "                           program shows it; json: the table with its range and totals,\n"
        "                           described in tallyrow-export(1))\n"
        "  --output FILE            file to write (replaced once the whole report is written);\n"
        "                           - writes to standard output (as do /dev/stdout and a pipe or\n"
        "                           device named here), where a file the shell opened is appended\n"
        "                           to, never replaced; pdf, xls, xlsx and rdf are not written to a\n"
        "                           terminal\n"
        "  --document FILE          instead of --data/--report: write a saved report document (.rdf)\n"
        "                           in another format\n"
        "  -h, --help               show this text\n"
        "  --version                show the version\n");
}

} // namespace

std::optional<std::int32_t> chartTypeCode(const QString& name) {
    return engine::chartTypeFromCommandLine(name);
}

QString exportHelpText(const ReportCatalogue& reports) {
    QStringList titles;
    QString parts;
    for (const ReportDescriptor& report : reports.reports()) {
        titles << QStringLiteral("the %1 report").arg(report.title);
        parts += report.help + QLatin1Char('\n');
    }
    const QString names = reports.nameList(QStringLiteral("|"), QStringLiteral("|"));
    const QString described = titles.size() < 2
                                  ? titles.join(QString())
                                  : titles.mid(0, titles.size() - 1).join(QStringLiteral(", ")) +
                                        QStringLiteral(" or ") + titles.back();
    return QStringLiteral("Usage: tallyrow-export [--data FILE] --report %1\n").arg(names) +
           QStringLiteral(
               "                       (--from DATE --to DATE | --last KIND) [options]\n"
               "                       [--format FORMAT] --output FILE\n"
               "       tallyrow-export --document FILE [--format FORMAT] --output FILE\n"
               "       tallyrow-export --help | --version\n"
               "\n"
               "Runs the Day report or the Totals report on a data file and writes it, for scheduled and\n"
               "scripted use. Nothing is printed on success; a failed run prints the reason and exits 1, a\n"
               "bad option exits 2. Dates are written YYYY-MM-DD.\n"
               "\n"
               "Data and report:\n"
               "  --data FILE              data file (any kind the program opens), or the URI of a\n"
               "                           PostgreSQL server (postgresql://user@host:port/dbname);\n"
               "                           default: $TALLYROW_DATA, else the data file Tallyrow Reports\n"
               "                           opens\n"
               "  --report %1\n"
               "                           %2\n")
               .arg(names, described) +
           QStringLiteral(
               "  --from DATE --to DATE    first and last day of the range (both included)\n"
               "  --user NAME              only this user (default: all users)\n"
               "  --computer NAME          only this computer (default: any computer)\n"
               "  --chart NAME             chart type: \"3D Bar\", \"2D Bar\", \"3D Line\", \"2D Line\",\n"
               "                           \"3D Area\", \"2D Area\", \"3D Step\", \"2D Step\", \"3D "
               "Combination\",\n"
               "                           \"2D Combination\", \"2D Pie\", \"2D XY\" (default as the main "
               "window:\n"
               "                           \"2D Bar\" for the Day report, \"2D Line\" for Totals; the Users\n"
               "                           report always draws horizontal bars)\n"
               "  --details                show the table in the report\n"
               "  --no-cache               read every row from the data file, without using or saving\n"
               "                           the copy of its rows kept in $XDG_CACHE_HOME/tallyrow\n"
               "                           (~/.cache/tallyrow)\n"
               "  --locale NAME            dates and numbers in the reports as in this locale (de_DE, C);\n"
               "                           default: the environment's (LC_ALL, LC_TIME, LANG)\n"
               "  --wait SECONDS           how long to wait while the monitoring product holds the data\n"
               "                           file locked (default 60; 0 gives up at once)\n"
               "\n") +
           parts + exportHelpTail();
}

std::optional<ReportFormat> reportFormatOfFileName(const QString& fileName) {
    const QString name = fileName.section(QLatin1Char('/'), -1);
    if (name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive))
        return ReportFormat::Html;
    for (const ReportFormatInfo& info : reportFormats()) {
        if (name.size() > info.extension.size() && name.endsWith(info.extension, Qt::CaseInsensitive))
            return info.format;
    }
    return std::nullopt;
}

ExportParse parseExportArguments(const QStringList& arguments, const ReportCatalogue& reports) {
    ExportParse result;
    ArgumentValues a;
    QStringList spelled = arguments;
    std::replace(spelled.begin(), spelled.end(), QStringLiteral("-h"), QStringLiteral("--help"));
    if (auto error = a.read(spelled)) {
        result.usageError = *error;
        return result;
    }
    if (a.flag("help") || a.flag("version")) {
        result.help = a.flag("help");
        result.version = !result.help;
        return result;
    }
    ExportRequest r;
    // Each step reads its options into the request, or names the first one that is wrong.
    using Step = std::function<Problem(const ArgumentValues&, ExportRequest&)>;
    const auto readReport = [&reports](const ArgumentValues& values, ExportRequest& request) {
        return readDataAndReport(values, reports, request);
    };
    const std::vector<Step> steps =
        a.has("document")
            ? std::vector<Step>{readOutput, readDocument}
            : std::vector<Step>{readOutput, readReport, a.has("last") ? readLastRange : readFromTo,
                                readCommonOptions, readReportOptions};
    for (const Step& step : steps) {
        if (auto error = step(a, r)) {
            result.usageError = *error;
            return result;
        }
    }
    result.request = r;
    return result;
}

} // namespace tallyrow
