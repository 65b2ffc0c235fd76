#include "datafile/ui/BrowseButton.h"

#include "datafile/HostPropertyStore.h"
#include "support/FileUtils.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

// Design measures of the control, in twips (1/1440 inch).
constexpr int kDesignWidth = 4800;
constexpr int kTextWidth = 2175;
constexpr int kButtonLeft = 3720;
constexpr int kButtonWidth = 975;
constexpr int kTextGap = 30;

const QString kPath = u"Path"_s;
const QString kCaption = u"Caption"_s;
const QString kFilterIndex = u"FilterIndex"_s;
const QString kFilter = u"Filter"_s;
const QString kDialogTitle = u"DialogTitle"_s;
const QString kEnabled = u"Enabled"_s;

// True when a directory search for `name` yields an entry; a last component with * or ? is
// matched as a pattern, as the other file helpers do.
bool searchFinds(const QString& name) {
    const qsizetype slash = name.lastIndexOf(u'/');
    const QString last = name.mid(slash + 1);
    if (last.contains(u'*') || last.contains(u'?')) {
        const QString folder = slash < 0 ? u"."_s : (slash == 0 ? u"/"_s : name.left(slash));
        const QDir dir(folder);
        return !dir.entryList({last}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                    .isEmpty();
    }
    return QFileInfo::exists(name);
}

// Whether a file or a folder of that name exists. NULs and surrounding blanks are ignored.
bool doesFileOrFolderExist(const QString& fileName) {
    QString name = fileName;
    name.remove(QChar(u'\0'));
    name = name.trimmed();
    if (name.isEmpty())
        return false;
    if (searchFinds(name))
        return true;
    // A miss is tried once more as a folder name, like the file helpers' folder search.
    return !name.endsWith(u'/') && searchFinds(name + u'/');
}

// The part of `path` up to and including its last "/", or "" when it has none.
QString ExtractFolder(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

} // namespace

BrowseButton::BrowseButton(QWidget* parent)
    : QWidget(parent), txtPath(new QLineEdit(this)), cmdBrowse(new QPushButton(kDefaultCaption, this)) {
    txtPath->setObjectName(u"txtPath"_s);
    cmdBrowse->setObjectName(u"cmdBrowse"_s);
    cmdBrowse->setAutoDefault(false); // Enter in a host dialog belongs to the host's buttons

    const int height = qMax(txtPath->sizeHint().height(), cmdBrowse->sizeHint().height());
    const int buttonWidth = qMax(twipsToPixels(kButtonWidth), cmdBrowse->sizeHint().width());
    txtPath->setGeometry(0, 0, twipsToPixels(kTextWidth), height);
    cmdBrowse->setGeometry(twipsToPixels(kButtonLeft), 0, buttonWidth, height);

    setFocusProxy(txtPath);
    setTabOrder(txtPath, cmdBrowse);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    resize(sizeHint());

    connect(txtPath, &QLineEdit::textChanged, this, &BrowseButton::Change);
    connect(cmdBrowse, &QPushButton::clicked, this, &BrowseButton::cmdBrowse_Click);
}

BrowseButton::~BrowseButton() = default;

QString BrowseButton::Path() const {
    return txtPath->text();
}

void BrowseButton::setPath(const QString& path) {
    txtPath->setText(path);
    emit propertyChanged(kPath);
}

QString BrowseButton::Caption() const {
    return cmdBrowse->text();
}

void BrowseButton::setCaption(const QString& caption) {
    cmdBrowse->setText(caption);
    emit propertyChanged(kCaption);
}

void BrowseButton::setFilterIndex(int index) {
    m_filterIndex = index;
    emit propertyChanged(kFilterIndex);
}

void BrowseButton::setFilter(const QString& filter) {
    m_filter = filter;
    emit propertyChanged(kFilter);
}

void BrowseButton::setDialogTitle(const QString& title) {
    m_dialogTitle = title;
    emit propertyChanged(kDialogTitle);
}

bool BrowseButton::Enabled() const {
    return cmdBrowse->isEnabledTo(this);
}

void BrowseButton::setControlEnabled(bool enabled) {
    cmdBrowse->setEnabled(enabled);
    txtPath->setEnabled(enabled);
    emit propertyChanged(kEnabled);
}

void BrowseButton::ReadProperties(const HostPropertyStore& store) {
    txtPath->setText(store.read(kPath, QString()).toString());
    cmdBrowse->setText(store.read(kCaption, kDefaultCaption).toString());
    m_filterIndex = store.read(kFilterIndex, 1).toInt();
    m_filter = store.read(kFilter, kDefaultFilter).toString();
    m_dialogTitle = store.read(kDialogTitle, kDefaultDialogTitle).toString();
    cmdBrowse->setEnabled(store.read(kEnabled, true).toBool());
}

void BrowseButton::WriteProperties(HostPropertyStore& store) const {
    store.write(kPath, txtPath->text(), QString());
    store.write(kCaption, cmdBrowse->text(), kDefaultCaption);
    store.write(kFilterIndex, m_filterIndex, 1);
    store.write(kFilter, m_filter, kDefaultFilter);
    store.write(kDialogTitle, m_dialogTitle, kDefaultDialogTitle);
    store.write(kEnabled, Enabled(), true);
}

void BrowseButton::setFileChooser(std::shared_ptr<FileChooser> chooser) {
    m_chooser = std::move(chooser);
}

QSize BrowseButton::sizeHint() const {
    return {twipsToPixels(kDesignWidth), cmdBrowse->height()};
}

void BrowseButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutParts();
}

void BrowseButton::layoutParts() {
    // The button keeps its width at the right edge, even past the left edge of a control too
    // narrow for it; the field fills what is left up to a small gap, never with a negative width.
    const int buttonWidth = cmdBrowse->width();
    cmdBrowse->move(width() - buttonWidth, cmdBrowse->y());
    txtPath->setGeometry(0, 0, std::abs(width() - buttonWidth - twipsToPixels(kTextGap)), txtPath->height());
}

int BrowseButton::twipsToPixels(int twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}

QString BrowseButton::initialFolder() const {
    QString programFolder = programFolderPath();
    QString text = txtPath->text();
    text.remove(u'"');
    text = text.trimmed();
    if (text.isEmpty())
        return programFolder;
    if (doesFileOrFolderExist(text))
        return text;
    QString folder = ExtractFolder(text);
    if (!folder.isEmpty() && doesFileOrFolderExist(folder))
        return folder;
    return programFolder;
}

void BrowseButton::cmdBrowse_Click() {
    // A failing dialog ends the click quietly and leaves the path as it was.
    try {
        if (m_filter.isEmpty())
            m_filter = kDefaultFilter;
        if (m_filterIndex <= 0)
            m_filterIndex = 1;
        if (!m_chooser)
            m_chooser = std::make_shared<DialogFileChooser>();
        const std::shared_ptr<FileChooser> chooser = m_chooser; // stays alive if the host swaps it meanwhile
        const std::optional<QString> chosen =
            chooser->chooseFile(this, m_dialogTitle, m_filter, m_filterIndex, initialFolder());
        if (chosen && *chosen != txtPath->text())
            txtPath->setText(*chosen);
    } catch (...) {
    }
}

} // namespace tallyrow
