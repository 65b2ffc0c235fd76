#pragma once

#include "activity/ActivityQuery.h"
#include "output/ReportFormat.h"
#include "reports/ReportCatalogue.h"
#include "reports/ReportSettings.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace tallyrow {

/// Everything one run of tallyrow-export is asked to do: the report's settings, and where the
/// run reads and writes.
struct ExportRequest : ReportSettings {
    /// The report to run; nothing when a report document is written in another format.
    std::optional<ReportDescriptor> report;
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

    bool noCache = false;           ///< read the data file afresh, without the saved copy of its rows
    std::optional<int> waitSeconds; ///< longest wait for a writer holding the data file; default 60
    std::optional<QLocale> locale;  ///< dates and numbers as in this locale; default the system's
};

/// The most --wait takes: an hour.
inline constexpr int kLongestDataFileWait = 3600;

/// The outcome of reading the command line: a request, a request for the help text, or a usage
/// error whose text names the offending option.
struct ExportParse {
    std::optional<ExportRequest> request;
    bool help = false;
    bool version = false;
    QString usageError;
};

/// Reads the arguments (without the program name). GNU style: "--name value" or "--name=value";
/// "-h" is --help. `reports` are the reports --report offers. Without --data the request's data
/// file is empty (the caller supplies the default); without --format the format is the one the
/// output's extension names.
ExportParse parseExportArguments(const QStringList& arguments,
                                 const ReportCatalogue& reports = ReportCatalogue::standard());

/// The --help text, with a part for each of `reports`.
QString exportHelpText(const ReportCatalogue& reports = ReportCatalogue::standard());

/// The format a file name's extension names (".csv", ".PDF", ".htm"); nothing for another or no
/// extension.
std::optional<ReportFormat> reportFormatOfFileName(const QString& fileName);

/// The chart-type code of a name of the main window's chart list ("2D Bar" → 1), compared
/// without regard to case; nothing for other names.
std::optional<std::int32_t> chartTypeCode(const QString& name);

} // namespace tallyrow
