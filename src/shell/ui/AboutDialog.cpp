#include "shell/ui/AboutDialog.h"

#include "support/FileUtils.h"
#include "support/Registry.h"
#include "support/Services.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

#ifndef TALLYROW_VERSION
#define TALLYROW_VERSION "0.0.0"
#endif

namespace tallyrow {

QString AboutDialog::productVersion() {
    return QString::fromLatin1(TALLYROW_VERSION);
}

QString AboutDialog::tyrowUrl() {
    return readSetting(u"TyrowURL"_s, u"https://www.tallyrow.example/"_s, QString(), true, kSettingsHive);
}

QString AboutDialog::quenmarshUrl() {
    return readSetting(u"QuenmarshURL"_s, u"https://www.quenmarsh.example/"_s, QString(), true,
                       kSettingsHive);
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"About "_s + kProductName);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setObjectName(u"imgIcon"_s);
    icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    top->addWidget(icon, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    auto* name = new QLabel(kProductName, this);
    name->setObjectName(u"lblProductName"_s);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    name->setFont(big);
    texts->addWidget(name);
    auto* version = new QLabel(u"Version "_s + productVersion(), this);
    version->setObjectName(u"lblVersion"_s);
    texts->addWidget(version);
    auto* blurb =
        new QLabel(u"Reports on the activity that Tallyrow records on the computers of your office."_s, this);
    blurb->setWordWrap(true);
    texts->addWidget(blurb);

    auto link = [this](const QString& objectName, const QString& caption, const QString& url) {
        auto* label = new QLabel(this);
        label->setObjectName(objectName);
        label->setText(caption + u": <a href=\""_s + url.toHtmlEscaped() + u"\">"_s + url.toHtmlEscaped() +
                       u"</a>"_s);
        label->setTextFormat(Qt::RichText);
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
        label->setOpenExternalLinks(false);
        connect(label, &QLabel::linkActivated, this,
                [this](const QString& address) { openWebSite(address, this); });
        return label;
    };
    texts->addWidget(link(u"lblTyrowURL"_s, u"Tallyrow"_s, tyrowUrl()));
    texts->addWidget(link(u"lblQuenmarshURL"_s, u"Quenmarsh"_s, quenmarshUrl()));
    top->addLayout(texts, 1);
    layout->addLayout(top);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setObjectName(u"cmdOK"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

} // namespace tallyrow
