#pragma once

#include "support/ErrorReporter.h"
#include "support/MessageBoxEx.h"
#include "support/ScriptedMessageBox.h" // the tests' scripted components come as a pair

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

namespace tallyrow {

/// Error reporter without a screen: answers come from a queue (empty queue: `defaultAnswer`,
/// Leave unless set) and every call is recorded. Used by tests.
class ScriptedErrorReporter final : public ErrorReporter {
    Q_OBJECT
public:
    struct Call {
        QString description;
        long number = 0;
        QStringList steps;
        QString activity;
    };

    explicit ScriptedErrorReporter(QObject* parent = nullptr);

    ReportAnswer ReportError(const Failure& failure) override;

    void queueAnswer(ReportAnswer answer) { m_answers.enqueue(answer); }
    void setDefaultAnswer(ReportAnswer answer) { m_defaultAnswer = answer; }
    const QList<Call>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }

private:
    QQueue<ReportAnswer> m_answers;
    ReportAnswer m_defaultAnswer = ReportAnswer::Leave;
    QList<Call> m_calls;
};

} // namespace tallyrow
