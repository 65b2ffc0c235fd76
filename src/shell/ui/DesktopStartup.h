#pragma once

namespace tallyrow {

/// The desktop program: creates the application, runs the start-up sequence with the Qt
/// dialogs and the main window, then the event loop. Returns the process's exit code.
int runDesktop(int argc, char** argv);

} // namespace tallyrow
