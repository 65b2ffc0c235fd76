#pragma once

#include "support/Session.h"

#include <QString>
#include <QStringList>

namespace tallyrow {

/// Value of option `name` in `commandLine` ("name=value", options separated by commas, name
/// matched anywhere without regard to case), trimmed; `def` when the option is absent.
QString commandParameter(const QString& name, const QString& commandLine, const QString& def);

/// Fills the session's command-line data path from the process arguments (without the program
/// name) joined with blanks.
void parseCommandLine(Session& session, const QStringList& arguments);

/// Chooses the session's help file: the compiled one when a handler for it is registered, else
/// the classic one.
bool chooseHelpFile(Session& session, const QString& compiled, const QString& classic);

} // namespace tallyrow
