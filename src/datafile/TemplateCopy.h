#pragma once

#include <QString>

namespace tallyrow {

/// Copies the file `source` to `target`, replacing a file already there. The copy is written
/// beside the target under a temporary name and then renamed over it, so the old file stays
/// whole until the new one is complete, and a symbolic link at `target` is replaced rather than
/// written through. Fails (Error, step "copying the empty data file") without touching anything when
/// `source` cannot be read, when `target` names a folder, when `target` is a read-only file
/// (no owner write permission, whoever runs the program), or when the folder cannot be
/// written.
void copyTemplate(const QString& source, const QString& target);

} // namespace tallyrow
