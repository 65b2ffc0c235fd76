// A report the program does not know, registered in a catalogue, is offered by tallyrow-export
// and written in the table and page formats: nothing outside the report's own files names it.
#include "CalendarReport.h"

#include "reports/ReportCatalogue.h"
#include "shell/ExportArguments.h"
#include "shell/ExportTool.h"
#include "testsupport/ActivityData.h"
#include "testsupport/SystemTools.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

const ReportCatalogue& withCalendar() {
    static const ReportCatalogue catalogue =
        ReportCatalogue::standard().with(test::CalendarReport::descriptor());
    return catalogue;
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray readBack(FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    QByteArray text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, stream))
        text.append(buffer, qsizetype(n));
    return text;
}

} // namespace

TEST(ReportCatalogue, ARegisteredReportGetsItsOptionsHelpAndRefusals) {
    const QString help = exportHelpText(withCalendar());
    EXPECT_TRUE(help.contains(u"--report day|totals|users|calendar\n"_s));
    EXPECT_TRUE(
        help.contains(u"the Day report, the Totals report, the Users report or the Calendar report\n"_s));
    EXPECT_TRUE(help.contains(u"Calendar report:\n  (the days of the range)\n\nScheduled ranges"_s));

    const QStringList common{u"--data=x.yrd"_s, u"--from=2004-03-01"_s, u"--to=2004-03-07"_s,
                             u"--format=csv"_s, u"--output=o.csv"_s};
    const struct {
        QStringList arguments;
        QString refusal; // empty: accepted
    } cases[] = {
        {common + QStringList{u"--report=CALENDAR"_s, u"--days=mon"_s}, {}},
        {common + QStringList{u"--report=calendar"_s, u"--units=2"_s},
         u"--units: applies to the Totals report only"_s},
        {common + QStringList{u"--report=totals"_s, u"--days=mon"_s},
         u"--days: applies to the Day, Users and Calendar reports only"_s},
        {common + QStringList{u"--report=week"_s},
         u"--report: 'week' is not day, totals, users or calendar"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const ExportParse parsed = parseExportArguments(c.arguments, withCalendar());
        EXPECT_EQ(parsed.usageError, c.refusal);
        if (c.refusal.isEmpty()) {
            ASSERT_TRUE(parsed.request && parsed.request->report);
            EXPECT_EQ(parsed.request->report->name, u"calendar"_s);
        }
    }
    // The program's own catalogue does not offer it.
    EXPECT_EQ(parseExportArguments(cases[0].arguments).usageError,
              u"--report: 'CALENDAR' is not day, totals or users"_s);
}

TEST(ReportCatalogue, ARegisteredReportIsWrittenAsCsvWorkbookAndWebPage) {
    QTemporaryDir dir;
    const QString data = dir.filePath(u"office.yrd"_s);
    test::writeSqliteDataFile(data, test::officeRows());
    const auto run = [&](const QString& format) {
        const QString output = dir.filePath(u"calendar."_s + format);
        FILE* out = std::tmpfile();
        FILE* err = std::tmpfile();
        const int code =
            runExportTool({u"--data"_s, data, u"--report"_s, u"calendar"_s, u"--from"_s, u"2004-03-01"_s,
                           u"--to"_s, u"2004-03-07"_s, u"--days"_s, u"mon,sun"_s, u"--no-cache"_s,
                           u"--format"_s, format, u"--output"_s, output},
                          out, err, withCalendar());
        EXPECT_EQ(code, 0) << readBack(err).constData();
        std::fclose(out);
        std::fclose(err);
        return output;
    };
    EXPECT_EQ(contentOf(run(u"csv"_s)), QByteArray("Day,Date\r\nMonday,1\r\nSunday,7\r\n"));
    EXPECT_TRUE(contentOf(run(u"html"_s)).contains("Sunday"));

    const QString workbook = run(u"xlsx"_s);
    ASSERT_TRUE(contentOf(workbook).startsWith("PK\x03\x04"));
    const test::ProgramRun strings =
        test::runProgram(u"/usr/bin/unzip"_s, {u"-p"_s, workbook, u"xl/sharedStrings.xml"_s},
                         QProcessEnvironment::systemEnvironment());
    if (strings.exitCode != 0)
        GTEST_SKIP() << "unzip could not read the workbook";
    for (const char* text : {"Calendar", "Day", "Monday", "Sunday", "Totals"})
        EXPECT_TRUE(strings.out.contains(text)) << text;
}
