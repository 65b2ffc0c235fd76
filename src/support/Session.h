#pragma once

#include <QString>

namespace tallyrow {

/// What one run of the program knows for its whole length about where it reads and where its
/// help is: the data file named on the command line, the data file this session reads, and the
/// help file. Start-up makes one and hands it to the window, its dialogs and the data-file
/// helpers; every test makes its own.
struct Session {
    QString commandLineDataPath; ///< the "datapath" option of this run, "" when absent
    QString dataPath;            ///< the data file or server this session reads, "" until known
    QString helpFile;            ///< the help file's bare name, chosen at start-up
};

} // namespace tallyrow
