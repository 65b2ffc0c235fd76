#pragma once

#include <QByteArray>
#include <QString>

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

/// The one failure type of the program: a number, a description and a source trail.
/// Helpers put their own name and "&" in front of the source before passing a failure on,
/// so the source reads as a chain of procedure names, outermost first.
class Error : public std::exception {
public:
    Error(long number, QString description, QString source = {});

    long number() const noexcept { return m_number; }
    const QString& description() const noexcept { return m_description; }
    const QString& source() const noexcept { return m_source; }

    /// Puts `entry` (normally "Name&") in front of the source text.
    Error& prependSource(const QString& entry);

    const char* what() const noexcept override;

private:
    long m_number;
    QString m_description;
    QString m_source;
    mutable QByteArray m_what;
};

/// Converts whatever is in flight inside a catch (...) block into an Error; a non-Error
/// exception becomes number ErrNo::Unexpected with its what() text.
Error currentError();

/// Runs `fn` and passes any failure on with `entry` put in front of its source: the
/// propagation rule of every helper that does not report errors itself.
template <typename F> decltype(auto) withTrail(const QString& entry, F&& fn) {
    try {
        return std::forward<F>(fn)();
    } catch (...) {
        Error e = currentError();
        e.prependSource(entry);
        throw e;
    }
}

} // namespace tallyrow
