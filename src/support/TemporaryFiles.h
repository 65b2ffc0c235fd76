#pragma once

namespace tallyrow {

/// Temporary files that a signal ending the program must not leave behind.
///
/// A file is registered before it is created and released once it is renamed into place or
/// removed. The list is a fixed table written and read with lock-free atomics only, so the
/// handler of a signal may walk it. A registration that finds no free place returns -1; the file
/// is then made all the same, only not removed on a signal.
int registerTemporary(const char* path);

/// Takes the registration `slot` (from registerTemporary) off the list; -1 is ignored.
void releaseTemporary(int slot);

/// Removes every registered file, then every registered folder that is empty by then. Safe to
/// call from a signal handler.
void removeRegisteredTemporaries();

/// From now on SIGINT, SIGTERM and SIGHUP remove the registered files and then end the program
/// as the signal would have without the handler, so a parent still sees "killed by signal".
/// A signal the process was started with ignored (nohup) stays ignored.
void removeTemporariesOnSignals();

} // namespace tallyrow
