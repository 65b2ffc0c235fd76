#pragma once

#include <QString>
#include <QStringList>

namespace tallyrow {

/// The value of the "datapath" option of this run, "" when absent. Read by the data file location.
extern QString CommandLineDataPath;

/// The application's help file, a bare name chosen by SetHelpFile.
extern QString ApplicationHelpFile;

/// Value of option `name` in `commandLine` ("name=value", options separated by commas, name
/// matched anywhere without regard to case), trimmed; `def` when the option is absent.
QString ExtractCommandParamater(const QString& name, const QString& commandLine, const QString& def);

/// Fills CommandLineDataPath from the process arguments (without the program name) joined
/// with blanks.
void ParseCommandLine(const QStringList& arguments);

/// Chooses the compiled help file when a handler for it is registered, else the classic one.
bool SetHelpFile(const QString& compiled, const QString& classic);

} // namespace tallyrow
