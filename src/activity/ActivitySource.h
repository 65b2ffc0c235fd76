#pragma once

#include "activity/ActivityQuery.h"

namespace tallyrow {

/// What answers a report's questions about the activity data. A report connects once, asks its
/// questions and disconnects; it never learns where the figures come from.
class ActivitySource {
public:
    virtual ~ActivitySource();

    /// Makes the data ready to answer; false when there is nothing to reach. Fails with an
    /// Error (kind DataSource) naming the reason when the source does not open: telling the
    /// user is the caller's business.
    virtual bool connect() = 0;
    /// Lets go of what connect() took (a data file's read transaction, say); answers after it
    /// connect again.
    virtual void disconnect() {}
    /// The answer to `query`. Fails with an Error naming the source and the reason.
    virtual ActivityAnswer answer(const ActivityQuery& query) = 0;
};

} // namespace tallyrow
