#pragma once

#include "datafile/Provider.h"

namespace tallyrow {

/// Opens an Access (Jet 3, Jet 4, ACE) data file: its Activity table is read by the child
/// process tallyrow-mdb-reader into an in-memory SQLite copy that queries then run on. The
/// copies of the four files opened most recently are kept under each file's path, size,
/// modification and change times, inode and device, so a second connection to an unchanged file
/// reads nothing again. A file that changes while it is read is read again, up to three times in
/// all; after that the open fails, saying the file changed while it was being read.
std::unique_ptr<Connection::Provider> openJetProvider(const QString& path);

/// Where tallyrow-mdb-reader is looked for, first match wins: $TALLYROW_MDB_READER, the
/// program folder, $TALLYROW_BIN, the install folder, $PATH. "" when it is nowhere.
QString mdbReaderProgram();

/// Forgets every in-memory copy (tests and benchmarks measure the first read with it).
void clearJetCache();

} // namespace tallyrow
