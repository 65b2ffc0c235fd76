#pragma once

#include "support/Error.h"

#include <QString>

#include <functional>

namespace tallyrow {

/// A failure of one step of a handler or a report run, as the code that shows it gets it: the
/// error, the steps it failed in, outermost first ("reading the user list", then the error's own
/// steps), and what the program was doing.
struct Failure {
    Error error;
    QStringList steps;
    QString activity;
};

/// What the one who was told of a failure wants next.
enum class StepAnswer { Retry, Ignore, Leave };

/// Decides what follows a failure; the window asks the user, the command-line tool prints it and
/// leaves. An empty handler leaves.
using FailureHandler = std::function<StepAnswer(const Failure&)>;

/// Gives a handler or a report run its Retry / Ignore / leave semantics. The work is written as
/// a sequence of step() calls; a step that throws is handed to the failure handler with the
/// handler's step `where` (followed by the failure's own steps when `withErrorSteps` is set) and
/// the activity:
/// Retry runs the step again, Ignore goes on with the next step, Leave leaves, after which every
/// later step() does nothing. Never lets an exception out.
class StepRunner {
public:
    StepRunner(FailureHandler handler, QString where, QString activity = {}, bool withErrorSteps = true);

    /// Runs one step; returns true when it completed (false when it failed and was ignored,
    /// or the handler has been left).
    bool step(const std::function<void()>& fn);

    /// True once a failure was answered with Leave.
    bool left() const { return m_left; }

private:
    FailureHandler m_handler;
    QString m_where;
    QString m_activity;
    bool m_withErrorSteps;
    bool m_left = false;
};

/// Runs `fn` and swallows any failure: for the handlers that ignore failures and carry on.
void ignoringFailures(const std::function<void()>& fn);

} // namespace tallyrow
