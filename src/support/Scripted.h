#pragma once

#include "support/ErrorReporter.h"
#include "support/MessageBoxEx.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <cstdio>

namespace tallyrow {

/// The answer of a box with `buttons` (message-box flags) when the user presses Enter: the
/// default button the flags name, else the first button.
int defaultMessageAnswer(int buttons);

/// Error reporter without a screen: answers come from a queue (empty queue: `defaultAnswer`,
/// "" = leave), every call is recorded, and with an echo stream each report is also printed
/// (the command-line tool prints to stderr). Used by tests and by tallyrow-export.
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

/// Message box without a screen: answers come from a queue (empty queue: the box's first
/// button, OK or Yes or Abort... as a user pressing Enter on a box without a default would get,
/// or the default button when the flags name one); every request is recorded; with an echo
/// stream each prompt is printed.
class ScriptedMessageBox final : public MessageBoxEx {
public:
    void queueAnswer(int answer, bool checked = false) { m_answers.enqueue({answer, checked}); }
    void setEcho(FILE* stream) { m_echo = stream; }
    const QList<MessageRequest>& requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

protected:
    MessageResult present(const MessageRequest& request) override;

private:
    QQueue<MessageResult> m_answers;
    QList<MessageRequest> m_requests;
    FILE* m_echo = nullptr;
};

} // namespace tallyrow
