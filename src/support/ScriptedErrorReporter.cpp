#include "support/ScriptedErrorReporter.h"

#include <QStringList>

namespace tallyrow {

ScriptedErrorReporter::ScriptedErrorReporter(QObject* parent) : ErrorReporter(parent) {}

QString ScriptedErrorReporter::ReportError(bool /*flag*/, const QString& description, long number,
                                           const QString& where, long /*extra*/, const QString& activity) {
    m_calls.append(Call{description, number, where, activity});
    if (m_echo) {
        std::fprintf(m_echo, "%s: error %ld: %s\n", qUtf8Printable(ProductName()), number,
                     qUtf8Printable(description));
        std::fprintf(m_echo, "  where: %s\n", qUtf8Printable(where));
        if (!activity.isEmpty())
            std::fprintf(m_echo, "  while %s\n", qUtf8Printable(activity));
        std::fflush(m_echo);
    }
    QString answer = m_answers.isEmpty() ? m_defaultAnswer : m_answers.dequeue();
    if (answer == ReportAnswer::Abort)
        raiseAbort();
    return answer;
}

} // namespace tallyrow
