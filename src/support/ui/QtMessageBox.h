#pragma once

#include "support/MessageBoxEx.h"

class QMessageBox;
class QWidget;

namespace tallyrow {

/// The desktop program's message box: a QMessageBox with the flags' buttons (objectNames cmdOK,
/// cmdCancel, cmdAbort, cmdRetry, cmdIgnore, cmdYes, cmdNo), icon and default button, and the
/// check box chkRemember when asked for.
class QtMessageBox final : public MessageBoxEx {
protected:
    MessageResult present(const MessageRequest& request) override;
};

/// A plain modal message box for `request` (no check box); returns the answer code. The desktop
/// program's last resort when its message box fails.
int showPlainMessageBox(const MessageRequest& request);

/// Sets up the services of the desktop program that need widgets: message boxes, the plain
/// fallback box and opening addresses with the desktop's handler.
void installWidgetServices();

} // namespace tallyrow
