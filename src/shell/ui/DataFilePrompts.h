#pragma once

#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace tallyrow {

class DataFileController;
struct Session;

/// What the window asks and tells about its data file: the data file dialog until a usable
/// file is chosen, and why a file does not open or could not be read.
class DataFilePrompts final {
public:
    DataFilePrompts(Session& session, DataFileController& files, std::function<int(QDialog&)> runDialog,
                    QWidget* window);

    /// Offers the data file dialog until the data file is usable; false when the user would rather
    /// close (or chose Abort in an error report about the file).
    bool settle();
    /// Offers the data file dialog; true when the user chose a file.
    bool choose();
    /// Says that the data file does not open, and where to choose another.
    void tellNotOpening();
    /// Says why the data file could not be read, as opening it for the list says it; a file put
    /// right while the error report about it was open (Retry) is read again instead, and a
    /// waiting preview made from it.
    void tellReadFailure(const QString& path, const QString& reason, bool preview);

private:
    Session& m_session;
    DataFileController& m_files;
    std::function<int(QDialog&)> m_runDialog;
    QWidget* m_window;
};

} // namespace tallyrow
