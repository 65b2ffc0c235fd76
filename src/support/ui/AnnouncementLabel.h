#pragma once

#include <QLabel>

namespace tallyrow {

/// A line of text that a screen reader speaks when it changes, whatever has the focus: it is
/// offered to assistive technology as a notification, and each announce() shows it anew. Meant
/// for the end of something the user waited for, such as a report that has finished.
class AnnouncementLabel final : public QLabel {
    Q_OBJECT

public:
    explicit AnnouncementLabel(QWidget* parent = nullptr);

    /// Shows `text` and has it spoken; an empty text clears the line silently.
    void announce(const QString& text);
};

} // namespace tallyrow
