#pragma once

#include "support/ErrorReporter.h"
#include "support/MessageBoxEx.h"
#include "support/ScriptedMessageBox.h" // the tests' scripted components come as a pair

#include <QList>
#include <QQueue>
#include <QString>

#include <cstdio>

namespace tallyrow {

/// Error reporter without a screen: answers come from a queue (empty queue: `defaultAnswer`,
/// "" = leave), every call is recorded, and with an echo stream each report is also printed
/// (to stderr, say). Used by tests.
class ScriptedErrorReporter final : public ErrorReporter {
    Q_OBJECT
public:
    struct Call {
        QString description;
        long number = 0;
        QString where;
        QString activity;
    };

    explicit ScriptedErrorReporter(QObject* parent = nullptr);

    QString ReportError(bool flag, const QString& description, long number, const QString& where, long extra,
                        const QString& activity) override;
    using ErrorReporter::ReportError;

    void queueAnswer(const QString& answer) { m_answers.enqueue(answer); }
    void setDefaultAnswer(const QString& answer) { m_defaultAnswer = answer; }
    void setEcho(FILE* stream) { m_echo = stream; }
    const QList<Call>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }

private:
    QQueue<QString> m_answers;
    QString m_defaultAnswer;
    QList<Call> m_calls;
    FILE* m_echo = nullptr;
};

} // namespace tallyrow
