#pragma once

#include "support/MessageBoxEx.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <cstdio>

namespace tallyrow {

/// The answer of a box with `buttons` (message-box flags) when the user presses Enter: the
/// default button the flags name, else the first button.
int defaultMessageAnswer(int buttons);

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
