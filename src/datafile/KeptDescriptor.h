#pragma once

#include <QByteArray>

#include <sys/stat.h>

namespace tallyrow {

/// A read-only descriptor of the regular file at `nativePath` that stays open for the rest of
/// the process, or -1 (with errno set) when it cannot be opened or is no regular file; `st` gets
/// what fstat says of it. SQLite's locks are POSIX record locks, which belong to the process and
/// all go with the first close of any descriptor of the file: a data file or its "-shm" that a
/// connection of this process may have locked is therefore looked into only through these, never
/// opened and closed again. Thread-safe; the caller never closes the descriptor.
int keptDescriptor(const QByteArray& nativePath, struct stat& st);

} // namespace tallyrow
