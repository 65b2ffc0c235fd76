// tallyrow-bench-postgres-queries day|totals FROM TO
// Prints, one per line and ended by ";", the PostgreSQL texts the Day report (all users, every
// weekday, average) or the Totals report (all users, periods of one day) sends for the range.
#include "activity/SqlExecutor.h"
#include "datafile/PostgresSql.h"
#include "reports/DayQuery.h"
#include "reports/ReportTexts.h"
#include "reports/TotalsQuery.h"

#include <QCoreApplication>
#include <QDate>

#include <cstdio>

using namespace tallyrow;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    const QDate from = QDate::fromString(args[2], Qt::ISODate);
    const QDate to = QDate::fromString(args[3], Qt::ISODate);
    auto print = [&](const QString& jet) {
        std::printf("%s;\n", qUtf8Printable(translateJetForPostgres(jet)));
    };
    if (args[1] == QLatin1String("day")) {
        DayReportInputs in;
        in.range = {from, to};
        print(SqlExecutor::statement(dayQuery(in)));
    } else {
        print(SqlExecutor::statement(
            totalsQuery(totalsPeriods({from, to}, periodCode(TotalsPeriod::Days), 1), {}, {})));
    }
    return 0;
}
