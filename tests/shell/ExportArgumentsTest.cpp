// The command line of tallyrow-export: which arguments are refused and with which words. Scripts
// match these texts, so they are compared whole.
#include "shell/ExportArguments.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using tallyrow::ExportRequest;
using tallyrow::parseExportArguments;

namespace {

QStringList dayRun() {
    return {u"--data"_s, u"x.yrd"_s,      u"--report"_s, u"day"_s, u"--from"_s,   u"2004-03-01"_s,
            u"--to"_s,   u"2004-03-31"_s, u"--format"_s, u"csv"_s, u"--output"_s, u"out.csv"_s};
}

QString errorOf(const QStringList& arguments) {
    const auto parsed = parseExportArguments(arguments);
    EXPECT_FALSE(parsed.request) << arguments.join(u' ').toStdString();
    return parsed.usageError;
}

struct Case {
    QStringList arguments;
    QString error;
};

void expectErrors(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        EXPECT_EQ(errorOf(c.arguments).toStdString(), c.error.toStdString());
    }
}

} // namespace

TEST(ExportArguments, ArgumentsThatAreNoOptionOfOursAreNamed) {
    expectErrors({
        {{u"--bogus"_s}, u"unknown option '--bogus'"_s},
        {{u"--bogus=1"_s}, u"unknown option '--bogus'"_s},
        {{u"--=x"_s}, u"unknown option '--'"_s},
        {{u"extra"_s}, u"unexpected argument 'extra'"_s},
        {dayRun() << u"extra"_s, u"unexpected argument 'extra'"_s},
        // Options are spelled with two dashes only; "--" does not end them.
        {{u"-data"_s, u"x.yrd"_s}, u"unexpected argument '-data'"_s},
        {{u"-d"_s}, u"unexpected argument '-d'"_s},
        {{u"-"_s}, u"unexpected argument '-'"_s},
        {{u"--"_s}, u"unexpected argument '--'"_s},
        {dayRun() << u"--"_s, u"unexpected argument '--'"_s},
        {{u"--"_s, u"--help"_s}, u"unexpected argument '--'"_s},
    });
}

TEST(ExportArguments, ValuesFlagsAndRepeats) {
    expectErrors({
        {dayRun() << u"--user"_s, u"--user: a value is missing"_s},
        {dayRun() << u"--data"_s << u"y.yrd"_s, u"--data: given more than once"_s},
        {dayRun() << u"--data=y.yrd"_s, u"--data: given more than once"_s},
        {dayRun() << u"--details=yes"_s, u"--details: takes no value"_s},
        {{u"--help="_s}, u"--help: takes no value"_s},
        {{u"--data="_s}, u"--output: required: the file to write"_s},
        {{u"--format=csv"_s, u"--output"_s, u"o.csv"_s, u"--data="_s},
         u"--data: a file name or server URI is required"_s},
    });
    // The argument after an option that takes a value is that value, whatever it looks like.
    const auto dashes = parseExportArguments(dayRun() << u"--user"_s << u"--bogus"_s << u"--computer=-"_s);
    ASSERT_TRUE(dashes.request) << dashes.usageError.toStdString();
    EXPECT_EQ(dashes.request->user, u"--bogus"_s);
    EXPECT_EQ(dashes.request->computer, u"-"_s);
    // A flag given twice is simply set.
    const auto twice = parseExportArguments(dayRun() << u"--details"_s << u"--no-cache"_s << u"--details"_s);
    ASSERT_TRUE(twice.request) << twice.usageError.toStdString();
    EXPECT_TRUE(twice.request->details);
    EXPECT_TRUE(twice.request->noCache);
}

TEST(ExportArguments, TheFirstProblemInArgumentOrderIsTheOneNamed) {
    expectErrors({
        {{u"--bogus"_s, u"extra"_s}, u"unknown option '--bogus'"_s},
        {{u"extra"_s, u"--bogus"_s}, u"unexpected argument 'extra'"_s},
        {{u"--bogus"_s, u"--user"_s}, u"unknown option '--bogus'"_s},
        {{u"--data"_s, u"a"_s, u"--data"_s, u"b"_s, u"--bogus"_s}, u"--data: given more than once"_s},
        {{u"--bogus"_s, u"--data"_s, u"a"_s, u"--data"_s, u"b"_s}, u"unknown option '--bogus'"_s},
        {{u"--details=1"_s, u"--bogus"_s}, u"--details: takes no value"_s},
        {{u"-x"_s, u"--data"_s, u"a"_s, u"--data"_s, u"b"_s}, u"unexpected argument '-x'"_s},
        {{u"--data"_s, u"a"_s, u"--data"_s, u"b"_s, u"-x"_s}, u"--data: given more than once"_s},
        // Reading the line comes before --help.
        {{u"--help"_s, u"--bogus"_s}, u"unknown option '--bogus'"_s},
    });
    EXPECT_TRUE(parseExportArguments({u"--help"_s, u"--data"_s, u"x.yrd"_s}).help);
    EXPECT_TRUE(parseExportArguments(dayRun() << u"--help"_s).help);
}

TEST(ExportArguments, OptionsAreCheckedInAFixedOrder) {
    const QStringList document = {u"--document"_s, u"r.rdf"_s,    u"--format"_s,
                                  u"pdf"_s,        u"--output"_s, u"o.pdf"_s};
    const QStringList totals = [] {
        QStringList a = dayRun();
        a[3] = u"totals"_s;
        return a;
    }();
    const QStringList last =
        dayRun().mid(0, 4) + QStringList{u"--format"_s, u"csv"_s, u"--output"_s, u"o.csv"_s};
    expectErrors({
        {{}, u"--output: required: the file to write"_s},
        {{u"--format"_s, u"doc"_s},
         u"--format: 'doc' is not one of pdf, rtf, txt, xls, rdf, csv, xlsx, html, json"_s},
        {{u"--format"_s, u"pdf"_s, u"--output="_s}, u"--output: required: the file to write"_s},
        {document + QStringList{u"--user"_s, u"a"_s, u"--data"_s, u"x"_s},
         u"--data: cannot be used with --document"_s},
        {document + QStringList{u"--no-cache"_s, u"--details"_s},
         u"--details: cannot be used with --document"_s},
        {document + QStringList{u"--chart"_s, u"2D Bar"_s}, u"--chart: cannot be used with --document"_s},
        {QStringList{u"--document="_s, u"--format=pdf"_s, u"--output=o.pdf"_s},
         u"--document: a file name is required"_s},
        {QStringList{u"--document=r.rdf"_s, u"--format=csv"_s, u"--output=o.csv"_s},
         u"--format: csv holds a report's table, which a report document does not keep"_s},
        {{u"--format=csv"_s, u"--output=o"_s, u"--data=x"_s}, u"--report: required: day, totals or users"_s},
        {{u"--format=csv"_s, u"--output=o"_s, u"--data=x"_s, u"--report=week"_s},
         u"--report: 'week' is not day, totals or users"_s},
        {dayRun() << u"--scale"_s << u"hours"_s << u"--units"_s << u"2"_s,
         u"--units: applies to the Totals report only"_s},
        {totals + QStringList{u"--chart-shows"_s, u"each"_s, u"--days"_s, u"mon"_s},
         u"--days: applies to the Day and Users reports only"_s},
        {dayRun() << u"--by=pair"_s, u"--by: applies to the Users report only"_s},
        {QStringList(totals).replaceInStrings(u"totals"_s, u"users"_s) << u"--chart=2D Bar"_s,
         u"--chart: applies to the Day and Totals reports only"_s},
        {dayRun() << u"--last"_s << u"week"_s, u"--from: cannot be used with --last"_s},
        {last + QStringList{u"--last"_s, u"fortnight"_s},
         u"--last: 'fortnight' is not day, week, month, quarter or year"_s},
        {last + QStringList{u"--last=week"_s, u"--count=0"_s},
         u"--count: '0' is not a whole number from 1 to 10000"_s},
        {last + QStringList{u"--last=week"_s, u"--offset= 1"_s},
         u"--offset: ' 1' is not a whole number from 0 to 10000"_s},
        {last + QStringList{u"--last=week"_s, u"--as-of=2004-3-1"_s},
         u"--as-of: '2004-3-1' is not a date YYYY-MM-DD"_s},
        {dayRun() << u"--as-of=2004-03-01"_s, u"--as-of: applies to --last only"_s},
        {last + QStringList{u"--to=2004-03-01"_s}, u"--from: required (or --last)"_s},
        {last + QStringList{u"--from=0099-12-31"_s, u"--to=2004-03-01"_s},
         u"--from: 0099-12-31 is outside the days a report can cover (0100-01-01 to 9999-12-31)"_s},
        {last + QStringList{u"--last=day"_s, u"--as-of=0001-01-01"_s},
         u"--as-of: 0001-01-01 is outside the days a report can cover (0100-01-01 to 9999-12-31)"_s},
        {last + QStringList{u"--from=2004-03-31"_s, u"--to=2004-03-01"_s},
         u"--to: 2004-03-01 is before --from 2004-03-31"_s},
        {dayRun() << u"--chart=3D Pie"_s, u"--chart: '3D Pie' is not a chart type (see --help)"_s},
        {dayRun() << u"--days=mon,funday"_s,
         u"--days: 'funday' is not one of mon, tue, wed, thu, fri, sat, sun"_s},
        {dayRun() << u"--aggregate=median"_s << u"--chart-shows=all"_s,
         u"--aggregate: 'median' is not average, total, maximum or minimum"_s},
        {dayRun() << u"--chart-shows=all"_s, u"--chart-shows: 'all' is not average, each or both"_s},
        {totals + QStringList{u"--units=x"_s}, u"--units: 'x' is not a whole number"_s},
        {totals + QStringList{u"--units=2147483647"_s},
         u"--units: '2147483647' days is longer than the calendar holds (at most 3652059)"_s},
        {totals + QStringList{u"--units=10000"_s, u"--period=years"_s},
         u"--units: '10000' years is longer than the calendar holds (at most 9999)"_s},
        {dayRun() << u"--wait=-1"_s, u"--wait: '-1' is not a number of seconds from 0 to 3600"_s},
        {totals + QStringList{u"--period=decades"_s},
         u"--period: 'decades' is not days, weeks, months or years"_s},
        {totals + QStringList{u"--scale=days"_s}, u"--scale: 'days' is not seconds, minutes or hours"_s},
    });
}

TEST(ExportArguments, AWholeRequest) {
    const auto parsed = parseExportArguments(
        {u"--data=x.yrd"_s, u"--report"_s, u"TOTALS"_s, u"--last"_s, u"Month"_s, u"--count=3"_s,
         u"--offset"_s, u"0"_s, u"--as-of=2004-06-01"_s, u"--units"_s, u"2"_s, u"--period=weeks"_s,
         u"--scale=hours"_s, u"--format=xlsx"_s, u"--output"_s, u"o.xlsx"_s, u"--user="_s});
    ASSERT_TRUE(parsed.request) << parsed.usageError.toStdString();
    const ExportRequest& r = *parsed.request;
    ASSERT_TRUE(r.report);
    EXPECT_EQ(r.report->name, u"totals"_s);
    EXPECT_EQ(r.dataFile, u"x.yrd"_s);
    EXPECT_EQ(r.last, u"month"_s);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.offset, 0);
    EXPECT_EQ(r.asOf, QDate(2004, 6, 1));
    EXPECT_EQ(r.units, 2);
    EXPECT_EQ(r.period, tallyrow::TotalsPeriod::Weeks);
    EXPECT_EQ(r.timeScale, tallyrow::TimeScale::Hours);
    EXPECT_EQ(r.format, tallyrow::ReportFormat::Xlsx);
    EXPECT_EQ(r.outputFile, u"o.xlsx"_s);
    EXPECT_TRUE(r.user.isEmpty());
}

// The format follows the output's name unless --format says otherwise; a name that says another
// format is refused, so a file never lies about what it holds.
TEST(ExportArguments, TheFormatFollowsTheOutputsExtensionAndMayNotContradictIt) {
    const QStringList run = dayRun().mid(0, 8);
    const struct {
        const char* output;
        tallyrow::ReportFormat format;
    } named[] = {{"o.PDF", tallyrow::ReportFormat::Pdf},   {"dir.csv/o.json", tallyrow::ReportFormat::Json},
                 {"o.htm", tallyrow::ReportFormat::Html},  {"o.xls", tallyrow::ReportFormat::Xls},
                 {"o.xlsx", tallyrow::ReportFormat::Xlsx}, {"report.rdf", tallyrow::ReportFormat::Rdf}};
    for (const auto& n : named) {
        SCOPED_TRACE(n.output);
        const auto parsed =
            parseExportArguments(run + QStringList{u"--output"_s, QString::fromLatin1(n.output)});
        ASSERT_TRUE(parsed.request) << parsed.usageError.toStdString();
        EXPECT_EQ(parsed.request->format, n.format);
    }
    // A name without a format's extension takes any --format.
    const auto dat = parseExportArguments(run + QStringList{u"--format=txt"_s, u"--output=-"_s});
    ASSERT_TRUE(dat.request);
    EXPECT_EQ(dat.request->format, tallyrow::ReportFormat::Txt);
    expectErrors({
        {run + QStringList{u"--output=-"_s},
         u"--format: required, as the output's name does not end in the extension of a format (pdf, rtf, "
         u"txt, xls, rdf, csv, xlsx, html or json)"_s},
        {run + QStringList{u"--format=pdf"_s, u"--output=x.txt"_s},
         u"--format: pdf contradicts the output x.txt, whose extension names txt; leave --format out or "
         u"give a file ending in .pdf"_s},
        {{u"--document=r.rdf"_s, u"--format=xls"_s, u"--output=r.xlsx"_s},
         u"--format: xls contradicts the output r.xlsx, whose extension names xlsx; leave --format out or "
         u"give a file ending in .xls"_s},
    });
}

TEST(ExportArguments, ShortHelpVersionAndTheDataFileLeftToTheCaller) {
    EXPECT_TRUE(parseExportArguments({u"-h"_s}).help);
    const auto version = parseExportArguments({u"--version"_s});
    EXPECT_TRUE(version.version);
    EXPECT_FALSE(version.help);
    const auto noData = parseExportArguments(dayRun().mid(2));
    ASSERT_TRUE(noData.request) << noData.usageError.toStdString();
    EXPECT_TRUE(noData.request->dataFile.isEmpty());
}
