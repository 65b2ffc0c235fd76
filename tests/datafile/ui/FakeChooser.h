#pragma once

#include "datafile/ui/BrowseButton.h"

#include <QString>

#include <optional>

namespace tallyrow::test {

/// Stands in for the Open-file dialog: remembers what it was shown with and answers with
/// `answer` (nullopt = the user cancelled).
class FakeChooser final : public FileChooser {
public:
    std::optional<QString> chooseFile(QWidget* /*parent*/, const QString& title, const QString& filter,
                                      int filterIndex, const QString& initialFolder) override {
        ++calls;
        lastTitle = title;
        lastFilter = filter;
        lastFilterIndex = filterIndex;
        lastInitialFolder = initialFolder;
        return answer;
    }

    std::optional<QString> answer;
    int calls = 0;
    QString lastTitle;
    QString lastFilter;
    int lastFilterIndex = 0;
    QString lastInitialFolder;
};

} // namespace tallyrow::test
