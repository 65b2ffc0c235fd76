#pragma once

#include "support/StepRunner.h"

#include <QObject>
#include <QString>

namespace tallyrow {

/// The user's answer to an error report. Retry runs the failed step again, Ignore goes on with
/// the next; Abort (which also ends the program) and a report closed otherwise (Leave) leave.
enum class ReportAnswer { Leave, Retry, Ignore, Abort };

/// Shows error reports (product, description, number, steps, activity) and returns the user's
/// answer. Choosing Abort also raises Abort() and sets Aborted(). Implementations: Qt dialogs
/// (support/ui) and ScriptedErrorReporter.
class ErrorReporter : public QObject {
    Q_OBJECT
public:
    explicit ErrorReporter(QObject* parent = nullptr);
    ~ErrorReporter() override;

    virtual ReportAnswer ReportError(const Failure& failure) = 0;

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
