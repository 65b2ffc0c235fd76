#pragma once

#include "activity/ActivityQuery.h"
#include "output/ReportFormat.h"
#include "reports/DayQuery.h"
#include "reports/TotalsQuery.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace tallyrow {

/// Everything one run of tallyrow-export is asked to do.
struct ExportRequest {
    enum class Kind { Day, Totals, Users, Document };
    Kind kind = Kind::Day;
    QString dataFile;
    QString documentFile;
    QString outputFile;
    ReportFormat format = ReportFormat::Pdf;

    // Range: either from/to, or a "last" range relative to asOf (today when absent).
    QDate from;
    QDate to;
    QString last; ///< "" or day|week|month|quarter|year
    int count = 1;
    int offset = 1;
    std::optional<QDate> asOf;

    QString user;
    QString computer;
    WeekdaySet days = WeekdaySet::all();
    DayFigure totalType = DayFigure::Average;
    DayColumns showEachDay = DayColumns::Average;
    std::int32_t units = 1;
    TotalsPeriod period = TotalsPeriod::Days;
    TimeScale timeScale = TimeScale::Minutes;
    std::int32_t chartType = 1; ///< as the main window sets each report up: "2D Bar" for the Day report, "2D
                                ///< Line" for the Totals report
    bool details = false;
    bool heatMap = false;    ///< Day report: shade the table
    bool keyFigures = false; ///< Day report: the key-figures band
    bool noCache = false;    ///< read the data file afresh, without the saved copy of its rows
    bool compare = false;    ///< Totals report: also show the previous range of the same length
    PeopleGrouping by = PeopleGrouping::User; ///< Users report: a line per user, computer or pair
    std::optional<int> waitSeconds;           ///< longest wait for a writer holding the data file; default 60
    std::optional<QLocale> locale;            ///< dates and numbers as in this locale; default the system's
};

/// The most --wait takes: an hour.
inline constexpr int kLongestDataFileWait = 3600;

/// The outcome of reading the command line: a request, a request for the help text, or a usage
/// error whose text names the offending option.
struct ExportParse {
    std::optional<ExportRequest> request;
    bool help = false;
    QString usageError;
};

/// Reads the arguments (without the program name). GNU style: "--name value" or "--name=value".
ExportParse parseExportArguments(const QStringList& arguments);

/// The --help text.
QString exportHelpText();

/// The chart-type code of a name of the main window's chart list ("2D Bar" → 1), compared
/// without regard to case; nothing for other names.
std::optional<std::int32_t> chartTypeCode(const QString& name);

} // namespace tallyrow
