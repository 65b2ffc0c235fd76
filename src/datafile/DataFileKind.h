#pragma once

#include <QString>

namespace tallyrow {

/// What a path holds, told from the file system and the first bytes of the file.
enum class DataFileKind {
    Missing,    ///< nothing at that path
    Folder,     ///< a folder
    Unreadable, ///< a file we may not read
    Empty,      ///< a file of zero bytes
    SQLite,     ///< starts with the SQLite header
    Jet,        ///< starts with a Jet 3 / Jet 4 / ACE header (Access .mdb, .accdb)
    Other,      ///< anything else
};

struct DataFileProbe {
    DataFileKind kind = DataFileKind::Missing;
    QString detail; ///< for Unreadable: the system's reason
};

DataFileProbe probeDataFile(const QString& path);

} // namespace tallyrow
