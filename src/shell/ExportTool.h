#pragma once

#include "shell/ExportArguments.h"

#include <QStringList>

#include <cstdio>

namespace tallyrow {

/// Runs tallyrow-export: 0 on success (nothing printed), 1 when the run failed (the reason on
/// `err`), 2 for a usage error. Message boxes and error reports of the run go to `err`; the exit
/// code follows the run's result: the report must run to its end having read its data, and the
/// file must be written. Needs a QGuiApplication (fonts for PDF).
/// `reports` are the reports --report offers.
int runExportTool(const QStringList& arguments, FILE* out, FILE* err,
                  const ReportCatalogue& reports = ReportCatalogue::standard());

} // namespace tallyrow
