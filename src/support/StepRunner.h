#pragma once

#include <QString>

#include <functional>

namespace tallyrow {

class ErrorReporter;

/// Gives an event handler its Retry / Ignore / leave semantics. The handler is written as a
/// sequence of step() calls; a step that throws is reported through the reporter with the
/// where-text (followed by the failure's source when `appendSource` is set) and the activity:
/// "4" runs the step again, "5" goes on with the next step, anything else leaves, after
/// which every later step() does nothing. Never lets an exception out.
class StepRunner {
public:
    StepRunner(ErrorReporter* reporter, QString where, QString activity = {}, bool appendSource = true);

    /// Runs one step; returns true when it completed (false when it failed and was ignored,
    /// or the handler has been left).
    bool step(const std::function<void()>& fn);

    /// True once a failure was answered with anything but Retry or Ignore.
    bool left() const { return m_left; }

private:
    ErrorReporter* m_reporter;
    QString m_where;
    QString m_activity;
    bool m_appendSource;
    bool m_left = false;
};

/// Runs `fn` and swallows any failure: for the handlers that ignore failures and carry on.
void ignoringFailures(const std::function<void()>& fn);

} // namespace tallyrow
