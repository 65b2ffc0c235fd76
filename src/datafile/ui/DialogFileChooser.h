#pragma once

#include "datafile/ui/FileChooser.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tallyrow {

/// The desktop's chooser: a modal QFileDialog in open mode that accepts names of files that do
/// not exist yet.
class DialogFileChooser final : public FileChooser {
public:
    std::optional<QString> chooseFile(QWidget* parent, const QString& title, const QString& filter,
                                      int filterIndex, const QString& initialFolder) override;
};

/// Turns a "description|patterns|description|patterns|" filter list into QFileDialog name
/// filters ("description (pattern pattern)"). Patterns separated by ";" become blank-separated,
/// and "*.*" becomes "*" so that names without a dot are listed as well. A description without
/// its pattern item is dropped.
QStringList qtNameFilters(const QString& filter);

} // namespace tallyrow
