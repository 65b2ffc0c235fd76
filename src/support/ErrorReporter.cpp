#include "support/ErrorReporter.h"

#include "support/Error.h"

namespace tallyrow {

ErrorReporter::ErrorReporter(QObject* parent) : QObject(parent) {}

ErrorReporter::~ErrorReporter() = default;

QString ErrorReporter::ReportError(const Error& e, const QString& where, const QString& activity) {
    return ReportError(true, e.description(), e.number(), where, 0, activity);
}

void ErrorReporter::raiseAbort() {
    m_aborted = true;
    Q_EMIT Abort();
}

} // namespace tallyrow
