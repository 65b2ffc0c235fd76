#pragma once

#include "support/StepRunner.h"

#include <QObject>
#include <QString>

namespace tallyrow {

class Error;

/// Answers of an error report the program acts on; anything else means "leave".
namespace ReportAnswer {
inline const QString Retry = QStringLiteral("4");
inline const QString Ignore = QStringLiteral("5");
inline const QString Abort = QStringLiteral("3");
} // namespace ReportAnswer

/// Shows error reports (product, description, number, where trail, activity) and returns the
/// user's answer as text: "4" Retry, "5" Ignore, "3" Abort. Choosing Abort also raises Abort()
/// and sets Aborted(). Implementations: Qt dialogs (support/ui) and ScriptedErrorReporter.
class ErrorReporter : public QObject {
    Q_OBJECT
public:
    explicit ErrorReporter(QObject* parent = nullptr);
    ~ErrorReporter() override;

    /// `flag` and `extra` are kept for callers' sake (every caller passes true and 0).
    virtual QString ReportError(bool flag, const QString& description, long number, const QString& where,
                                long extra, const QString& activity) = 0;

    /// Convenience: reports `e` with where-text `where` (the caller decides whether the
    /// failure's source is appended to it).
    QString ReportError(const Error& e, const QString& where, const QString& activity = {});

    bool Aborted() const { return m_aborted; }
    QString ProductName() const { return m_productName; }
    void setProductName(const QString& name) { m_productName = name; }
    QString SupportAddress() const { return m_supportAddress; }
    void setSupportAddress(const QString& address) { m_supportAddress = address; }
    /// What the user can do about a failure of ordinary work, beyond the buttons (the window's
    /// way to another data file); shown under such a failure's sentence.
    QString Advice() const { return m_advice; }
    void setAdvice(const QString& advice) { m_advice = advice; }

Q_SIGNALS:
    void Abort();

protected:
    /// Marks the reporter aborted and raises Abort(); implementations call it on an Abort answer.
    void raiseAbort();

private:
    bool m_aborted = false;
    QString m_productName;
    QString m_supportAddress;
    QString m_advice;
};

/// A failure handler that shows each failure through `reporter` and acts on the answer (Retry,
/// Ignore, anything else Leave); leaves quietly when there is no reporter or it has gone.
FailureHandler askThrough(ErrorReporter* reporter);

} // namespace tallyrow
