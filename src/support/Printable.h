#pragma once

#include <QString>
#include <QStringView>

namespace tallyrow {

/// Whether printable() escapes tab, line feed and carriage return too, or leaves them to a
/// writer that has its own rule for them (a web page's <br/>, a cell's line break).
enum class LineBreaks { Escaped, Kept };

/// `text` with every character that acts rather than shows written as a visible escape: the C0
/// controls as \n, \r, \t or \xHH, DEL and the C1 controls as \xHH, the line and paragraph
/// separators, unpaired surrogates and U+FFFE/U+FFFF as \uHHHH (hex digits in lower case).
/// Everything else, backslashes and letters of every script included, is left as it is. Names
/// from a data file go through it before they reach a terminal, a log line or a markup file: a
/// message stays one line, and no escape sequence reaches the terminal.
QString printable(QStringView text, LineBreaks breaks = LineBreaks::Escaped);

/// `text` for a string of an Office Open XML part: printable() with line breaks kept, and a
/// literal "_xHHHH_" with its underscore written as "_x005F_", so that a reader does not take
/// it for an escaped character and shows it as it was written.
QString ooxmlText(QStringView text);

} // namespace tallyrow
