#include "shell/ReportsProgram.h"

#include "support/Error.h"
#include "support/ErrorReporter.h"
#include "support/Services.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace tallyrow {

ReportsProgram::ReportsProgram(Session& session, StartupHooks hooks)
    : m_session(session), m_hooks(std::move(hooks)) {}

bool ReportsProgram::run(const QStringList& arguments) {
    try {
        return startProgram(m_session, arguments, m_hooks);
    } catch (...) {
        const Error e = currentError();
        if (m_session.errorReporter)
            m_session.errorReporter->ReportError(
                Failure{e, QStringList{u"running the program"_s} + e.steps(), {}});
        return false;
    }
}

} // namespace tallyrow
