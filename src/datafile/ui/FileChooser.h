#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace tallyrow {

/// The Open-file dialog behind a BrowseButton. The desktop shows QFileDialog; tests put a fake
/// in its place so that no real dialog ever blocks them.
class FileChooser {
public:
    virtual ~FileChooser();

    /// Lets the user pick a file, which need not exist. `filter` is the "description|patterns|"
    /// list of the control, `filterIndex` 1-based; `initialFolder` may name a folder or a file
    /// (the dialog then starts in that file's folder). Returns the chosen full path, or nullopt
    /// when the user cancelled.
    virtual std::optional<QString> chooseFile(QWidget* parent, const QString& title, const QString& filter,
                                              int filterIndex, const QString& initialFolder) = 0;
};

} // namespace tallyrow
