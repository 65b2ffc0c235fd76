#pragma once

#include "activity/ActivityStore.h"
#include "activity/DataFileStamp.h"

#include <QString>

#include <functional>
#include <memory>

namespace tallyrow {

/// Reads the Activity table of a SQLite data file into a store in one read transaction (see
/// readActivityStore). A large file kept with a rollback journal is read by two connections
/// at once, each half of the rows: while the first holds its shared lock no writer can commit,
/// so the second, opened after it, reads the same committed state. `stateRead`, when given,
/// gets the stamp of the state read, taken inside the read transaction and checked against
/// one taken before it began, so it never names a later commit than the rows are of.
std::shared_ptr<const ActivityStore> readSqliteStore(const QString& path,
                                                     const std::function<bool(int)>& progress,
                                                     DataFileStamp* stateRead = nullptr);

/// Fewest rows (by row id) for which the file is read by two connections; below it one reads all.
std::int64_t sqliteSplitReadRows();
/// For tests: the number above (0 restores the default).
void setSqliteSplitReadRows(std::int64_t rows);

} // namespace tallyrow
