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

/// The store of the SQLite file at `path` as it is now, made from `earlier`, the store of an
/// earlier state of the same file (`earlierState`), by reading only the rows on the table's pages
/// that changed since: the pages the write-ahead log holds since that state, or else those whose
/// checksum differs. Nothing when the change cannot be bounded that way (another file, another
/// table, a tree of another shape than SQLite builds, most pages changed, a row without a day):
/// the file is then read whole. `stateRead` gets the stamp of the state read. Fails as
/// readSqliteStore does; throws StoreDamaged when a block of `earlier` is damaged.
std::shared_ptr<const ActivityStore> updateSqliteStore(const QString& path, const ActivityStore& earlier,
                                                       const DataFileStamp& earlierState,
                                                       DataFileStamp& stateRead);

/// Fewest rows (by row id) for which the file is read by two connections; below it one reads all.
std::int64_t sqliteSplitReadRows();
/// For tests: the number above (0 restores the default).
void setSqliteSplitReadRows(std::int64_t rows);

} // namespace tallyrow
