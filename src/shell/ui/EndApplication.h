#pragma once

namespace tallyrow {

struct Session;

/// Ends the whole program: marks the session ended, closes every open window, releases the
/// error reporter and stops the event loop. Each step runs even when an earlier one failed. Safe
/// to call from a handler of the error reporter's own Abort signal (the reporter is deleted
/// once control is back in the event loop).
void endApplication(Session& session);

} // namespace tallyrow
