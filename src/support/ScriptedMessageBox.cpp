#include "support/ScriptedMessageBox.h"

#include <QList>

namespace tallyrow {

namespace {

// The answer a box gives when the user just presses Enter: its default button, else the first.
int enterAnswer(int buttons) {
    static const QList<QList<int>> kButtonSets = {
        {MsgAnswer::OK},
        {MsgAnswer::OK, MsgAnswer::Cancel},
        {MsgAnswer::Abort, MsgAnswer::Retry, MsgAnswer::Ignore},
        {MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Cancel},
        {MsgAnswer::Yes, MsgAnswer::No},
        {MsgAnswer::Retry, MsgAnswer::Cancel},
    };
    const int set = buttons & 0xF;
    const QList<int>& answers = set < kButtonSets.size() ? kButtonSets[set] : kButtonSets[0];
    const int index = (buttons & 0xF00) >> 8;
    return index < answers.size() ? answers[index] : answers[0];
}

} // namespace

int defaultMessageAnswer(int buttons) {
    return enterAnswer(buttons);
}

MessageResult ScriptedMessageBox::present(const MessageRequest& request) {
    m_requests.append(request);
    if (m_echo) {
        if (request.title.isEmpty())
            std::fprintf(m_echo, "%s\n", qUtf8Printable(request.prompt));
        else
            std::fprintf(m_echo, "%s: %s\n", qUtf8Printable(request.title), qUtf8Printable(request.prompt));
        std::fflush(m_echo);
    }
    if (!m_answers.isEmpty())
        return m_answers.dequeue();
    return MessageResult{enterAnswer(request.buttons), false};
}

} // namespace tallyrow
