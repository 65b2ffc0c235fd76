#pragma once

#include "datafile/ui/DialogFileChooser.h"
#include "datafile/ui/FileChooser.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class QLineEdit;
class QPushButton;

namespace tallyrow {

class HostPropertyStore;

/// A path field with a "Browse" button beside it that opens an Open-file dialog and writes the
/// chosen file back into the field.
///
/// Hosts hold their settings for the control in a HostPropertyStore (ReadProperties when the
/// host is created, WriteProperties when it saves); the setters emit propertyChanged(name) so
/// the host knows its stored values are out of date.
class BrowseButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Path READ Path WRITE setPath NOTIFY Change)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(int FilterIndex READ FilterIndex WRITE setFilterIndex)
    Q_PROPERTY(QString Filter READ Filter WRITE setFilter)
    Q_PROPERTY(QString DialogTitle READ DialogTitle WRITE setDialogTitle)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setControlEnabled)

public:
    static inline const QString kDefaultFilter = QStringLiteral("All Files (*.*)|*.*|");
    static inline const QString kDefaultCaption = QStringLiteral("Browse");
    static inline const QString kDefaultDialogTitle = QStringLiteral("Open");

    explicit BrowseButton(QWidget* parent = nullptr);
    ~BrowseButton() override;

    /// The text of the path field, exactly as typed (not trimmed).
    QString Path() const;
    /// Replaces the field's text; Change follows when the text differs.
    void setPath(const QString& path);

    QString Caption() const;
    void setCaption(const QString& caption);

    /// 1-based index into Filter of the filter the dialog starts with.
    int FilterIndex() const { return m_filterIndex; }
    void setFilterIndex(int index);

    QString Filter() const { return m_filter; }
    void setFilter(const QString& filter);

    QString DialogTitle() const { return m_dialogTitle; }
    void setDialogTitle(const QString& title);

    /// Reports the button's own enabled state (not whether an ancestor is disabled).
    bool Enabled() const;
    /// Enables or disables the button and the path field together.
    void setControlEnabled(bool enabled);

    /// Loads the six stored settings; a missing key gives the design value. Setting the path
    /// this way raises Change like any other change of the text.
    void ReadProperties(const HostPropertyStore& store);
    /// Stores the six settings; values equal to their design value are removed from the store.
    void WriteProperties(HostPropertyStore& store) const;

    /// Replaces the Open-file dialog (tests pass a fake). Null restores the desktop dialog.
    void setFileChooser(std::shared_ptr<FileChooser> chooser);

    QSize sizeHint() const override;

Q_SIGNALS:
    /// Every change of the path text: typing, a browse result, or setPath.
    void Change();
    /// A stored setting changed: "Path", "Caption", "FilterIndex", "Filter", "DialogTitle" or
    /// "Enabled".
    void propertyChanged(const QString& name);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void cmdBrowse_Click();
    QString initialFolder() const;
    void layoutParts();
    int twipsToPixels(int twips) const;

    QLineEdit* txtPath;
    QPushButton* cmdBrowse;
    std::shared_ptr<FileChooser> m_chooser;
    QString m_filter = kDefaultFilter;
    int m_filterIndex = 1;
    QString m_dialogTitle = kDefaultDialogTitle;
};

} // namespace tallyrow
