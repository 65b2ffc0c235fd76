#pragma once

#include "support/ErrorReporter.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QDialogButtonBox;
class QLabel;
class QPushButton;

namespace tallyrow {

/// What one error report shows.
struct ErrorReportContent {
    QString productName;
    QString supportAddress;
    QString description;
    long number = 0;
    QStringList steps; ///< outermost first
    QString activity;
    QString advice;

    /// The report as plain text, as "Copy details" puts it on the clipboard.
    QString detailsText() const;
};

/// The error report window (objectName "frmErrorReport"): a failure met in ordinary work (a file
/// missing or refused, a data source that cannot be read) shows its description as the message;
/// others say the product met a problem, with the description under it. Under a failure of
/// ordinary work, lblWhatToDo says what each answer does (Abort loses nothing: the program only
/// reads its data) and the content's advice. The number, the steps (joined by " > ") and the
/// activity are behind cmdShowDetails. Buttons cmdAbort, cmdRetry, cmdIgnore, cmdCopyDetails.
/// answer() is the matching answer after a button, Leave when the window was closed otherwise.
class ErrorReportDialog final : public QDialog {
    Q_OBJECT
public:
    explicit ErrorReportDialog(const ErrorReportContent& content, QWidget* parent = nullptr);

    ReportAnswer answer() const { return m_answer; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void finishWith(ReportAnswer answer);
    /// Abort, Retry, Ignore, Show details and Copy details.
    QDialogButtonBox* buildButtons();

    ErrorReportContent m_content;
    QWidget* m_details = nullptr;
    ReportAnswer m_answer = ReportAnswer::Leave;
};

} // namespace tallyrow
