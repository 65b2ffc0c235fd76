#pragma once

#include "support/ErrorReporter.h"
#include "support/MessageBoxEx.h"

#include <QString>

#include <memory>

namespace tallyrow {

/// What one run of the program knows for its whole length: the data file named on the command
/// line, the data file this session reads, the help file, and the components that show the user
/// its messages and failures. Start-up makes one and hands it to the window, its dialogs and the
/// data-file helpers; every test makes its own.
struct Session {
    QString commandLineDataPath; ///< the "datapath" option of this run, "" when absent
    QString commandLineDocument; ///< a report document named on the command line, "" when none
    QString dataPath;            ///< the data file or server this session reads, "" until known
    QString helpFile;            ///< the help file's bare name, chosen at start-up
    /// Shows failures with their Retry, Ignore and Abort choices: made at start-up, nullptr
    /// before it and once the program has ended.
    std::unique_ptr<ErrorReporter> errorReporter;
    /// The box every message of the session goes through, made on first use.
    std::unique_ptr<MessageBoxEx> messageBox;
    /// True once the program was told to end; start-up then does not enter the event loop.
    bool ended = false;
};

} // namespace tallyrow
