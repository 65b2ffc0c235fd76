#pragma once

#include <QString>

#include <cstdio>
#include <functional>

namespace tallyrow {

/// How far a read of a data file has come, on a terminal: "tallyrow-export: reading "office.yrd":
/// 42%", written over in place as the read goes on and wiped when it ends. Where the stream is not
/// a terminal (a log, a scheduled job's mail) nothing is written.
class ReadProgress final {
public:
    ReadProgress(FILE* stream, QString shownName);
    ~ReadProgress();
    ReadProgress(const ReadProgress&) = delete;
    ReadProgress& operator=(const ReadProgress&) = delete;

    /// What the read calls with 0 … 100; it always answers "go on". Empty when nothing is shown,
    /// so the read spends nothing on it.
    std::function<bool(int)> callback();
    /// Wipes the line if one was written; the next message starts on a clean line.
    void finish();

private:
    FILE* m_stream; ///< nullptr when not a terminal
    QString m_name;
    int m_shown = -1;
};

} // namespace tallyrow
