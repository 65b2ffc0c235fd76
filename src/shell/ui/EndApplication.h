#pragma once

namespace tallyrow {

/// Ends the whole program: closes every open window, releases the error reporter and stops the
/// event loop. Each step runs even when an earlier one failed. Safe to call from a handler of
/// the error reporter's own Abort signal (the reporter is deleted once control is back in the
/// event loop).
void EndApplication();

/// True once EndApplication ran; start-up then does not enter the event loop.
bool applicationEnded();

/// Forgets an earlier EndApplication (tests run several programs in one process).
void resetApplicationEnded();

} // namespace tallyrow
