#include "shell/ReadProgress.h"

#include <utility>

#include <unistd.h>

namespace tallyrow {

ReadProgress::ReadProgress(FILE* stream, QString shownName)
    : m_stream(stream && ::isatty(::fileno(stream)) == 1 ? stream : nullptr), m_name(std::move(shownName)) {}

ReadProgress::~ReadProgress() {
    finish();
}

std::function<bool(int)> ReadProgress::callback() {
    if (!m_stream)
        return {};
    return [this](int percent) {
        if (percent != m_shown) {
            m_shown = percent;
            std::fprintf(m_stream, "\rtallyrow-export: reading \"%s\": %d%%", qUtf8Printable(m_name),
                         percent);
            std::fflush(m_stream);
        }
        return true;
    };
}

void ReadProgress::finish() {
    if (m_stream && m_shown >= 0) {
        // Back to the start of the line and clear it to its end.
        std::fputs("\r\033[K", m_stream);
        std::fflush(m_stream);
    }
    m_shown = -1;
}

} // namespace tallyrow
