#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <exception>
#include <utility>

namespace tallyrow {

/// Error numbers the program raises and tests for. The numbering follows the runtime the
/// program's data files and messages come from, so numbers users quote stay meaningful.
namespace ErrNo {
inline constexpr long InvalidProcedureCall = 5;
inline constexpr long Overflow = 6;
inline constexpr long TypeMismatch = 13;
inline constexpr long BadFileName = 52;
inline constexpr long FileNotFound = 53;
inline constexpr long PermissionDenied = 70;
inline constexpr long PathFileAccess = 75;
inline constexpr long PathNotFound = 76;
inline constexpr long ObjectUnloaded = 364;
inline constexpr long DataSource = -2147467259; // 0x80004005, the provider's "unspecified error"
inline constexpr long Unexpected = 440;
} // namespace ErrNo

/// What sort of failure an Error is, for the code that decides how to tell it.
enum class ErrorKind {
    General,        ///< anything else: a fault, a refused value
    DataSource,     ///< the data file or server could not be opened or read
    ConnectionLost, ///< the server ended the session while a report read from it
    RefusedRow,     ///< a row of the data holds a value the monitoring product never writes
};

/// The one failure type of the program: a kind, a number, a plain sentence (the description),
/// the file or source it concerns and why, when there are such, and the steps it passed
/// through, outermost first ("finding the data file", "reading a setting"), for the details of an
/// error report.
class Error : public std::exception {
public:
    /// The kind follows from the number unless set: ErrNo::DataSource is a DataSource failure.
    Error(long number, QString description, QStringList steps = {});
    /// With the one step `step` ("" for none).
    Error(long number, QString description, const QString& step);

    long number() const noexcept { return m_number; }
    const QString& description() const noexcept { return m_description; }
    /// The steps the failure passed through, outermost first.
    const QStringList& steps() const noexcept { return m_steps; }
    ErrorKind kind() const noexcept { return m_kind; }
    Error& setKind(ErrorKind kind) {
        m_kind = kind;
        return *this;
    }
    /// The data file, server or output file the failure concerns ("" when none).
    const QString& file() const noexcept { return m_file; }
    Error& setFile(const QString& file) {
        m_file = file;
        return *this;
    }

    /// Why the failure concerns file(), in words that fit after its name and a colon ("the file
    /// is empty"), for a sentence that names the file itself; "" when the description is all.
    const QString& reason() const noexcept { return m_reason; }
    Error& setReason(const QString& reason) {
        m_reason = reason;
        return *this;
    }

    /// Adds `step` as the outermost step the failure passed through.
    Error& addStep(const QString& step);

    const char* what() const noexcept override;

private:
    long m_number;
    QString m_description;
    QStringList m_steps;
    QString m_file;
    QString m_reason;
    ErrorKind m_kind = ErrorKind::General;
    mutable QByteArray m_what;
};

/// Converts whatever is in flight inside a catch (...) block into an Error; a non-Error
/// exception becomes number ErrNo::Unexpected with its what() text.
Error currentError();

/// Runs `fn` and passes any failure on with `step` added as its outermost step: the
/// propagation rule of every helper that does not report errors itself.
template <typename F> decltype(auto) withStep(const QString& step, F&& fn) {
    try {
        return std::forward<F>(fn)();
    } catch (...) {
        Error e = currentError();
        e.addStep(step);
        throw e;
    }
}

} // namespace tallyrow
