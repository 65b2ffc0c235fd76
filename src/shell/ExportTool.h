#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <optional>

namespace tallyrow {

/// Everything one run of tallyrow-export is asked to do.
struct ExportRequest {
    enum class Kind { Day, Totals, Document };
    Kind kind = Kind::Day;
    QString dataFile;
    QString documentFile;
    QString outputFile;
    QString format; ///< "pdf", "txt", "rtf", "xls", "rdf" or "csv"

    // Range: either from/to, or a "last" range relative to asOf (today when absent).
    QDate from;
    QDate to;
    QString last; ///< "" or day|week|month|quarter|year
    int count = 1;
    int offset = 1;
    std::optional<QDate> asOf;

    QString user;
    QString computer;
    bool days[7] = {true, true, true, true, true, true, true}; ///< Monday … Sunday
    std::int32_t totalType = 0;
    std::int32_t showEachDay = 0;
    std::int32_t units = 1;
    QString period = QStringLiteral("Days");
    std::int32_t timeScale = 1;
    std::int32_t chartType = 1; ///< as the main window sets each report up: "2D Bar" for the Day report, "2D Line" for the Totals report
    bool details = false;
    bool noCache = false; ///< read the data file afresh, without the saved copy of its rows
};

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

/// Runs tallyrow-export: 0 on success (nothing printed), 1 when the run failed (the reason on
/// `err`), 2 for a usage error. Message boxes and error reports of the run go to `err`, and a run
/// that showed any counts as failed. Needs a QGuiApplication (fonts for PDF).
int runExportTool(const QStringList& arguments, FILE* out, FILE* err);

} // namespace tallyrow
