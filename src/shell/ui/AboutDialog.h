#pragma once

#include <QDialog>

class QLabel;

namespace tallyrow {

/// The about box: product name, version, and the web addresses of the product and its maker
/// (settings "TyrowURL" and "QuenmarshURL", with built-in defaults).
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    static QString productVersion();
    static QString tyrowUrl();
    static QString quenmarshUrl();
};

} // namespace tallyrow
