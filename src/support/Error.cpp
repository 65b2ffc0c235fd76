#include "support/Error.h"

#include <utility>

namespace tallyrow {

Error::Error(long number, QString description, QStringList steps)
    : m_number(number), m_description(std::move(description)), m_steps(std::move(steps)),
      m_kind(number == ErrNo::DataSource ? ErrorKind::DataSource : ErrorKind::General) {}

Error::Error(long number, QString description, const QString& step)
    : Error(number, std::move(description), step.isEmpty() ? QStringList() : QStringList{step}) {}

Error& Error::addStep(const QString& step) {
    m_steps.prepend(step);
    return *this;
}

const char* Error::what() const noexcept {
    // Built on demand so the usual path (number/description/source) costs nothing extra.
    try {
        m_what = QStringLiteral("%1 (%2) [%3]")
                     .arg(m_description)
                     .arg(m_number)
                     .arg(m_steps.join(QStringLiteral(" > ")))
                     .toUtf8();
        return m_what.constData();
    } catch (...) {
        return "tallyrow::Error";
    }
}

Error currentError() {
    try {
        throw;
    } catch (const Error& e) {
        return e;
    } catch (const std::exception& e) {
        return Error(ErrNo::Unexpected, QString::fromUtf8(e.what()));
    } catch (...) {
        return Error(ErrNo::Unexpected, QStringLiteral("Unexpected failure"));
    }
}

} // namespace tallyrow
