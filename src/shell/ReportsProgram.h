#pragma once

#include "shell/Startup.h"

#include <QStringList>

namespace tallyrow {

/// Runs Main, reporting a failure that escapes it with the step "running the program" before its own.
/// Kept for callers that start the program as an object rather than through main().
class ReportsProgram {
public:
    ReportsProgram(Session& session, StartupHooks hooks);
    bool run(const QStringList& arguments);

private:
    Session& m_session;
    StartupHooks m_hooks;
};

} // namespace tallyrow
