#include "support/Printable.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

QString hexEscape(char16_t c) {
    if (c < 0x100)
        return u"\\x"_s + QString::number(c, 16).rightJustified(2, u'0');
    return u"\\u"_s + QString::number(c, 16).rightJustified(4, u'0');
}

bool actsRatherThanShows(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 || c == 0xfffe || c == 0xffff;
}

} // namespace

QString printable(QStringView text, LineBreaks breaks) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += text[i];
            out += text[++i];
            continue;
        }
        const bool lineBreak = c == u'\n' || c == u'\r' || c == u'\t';
        if (lineBreak && breaks == LineBreaks::Kept) {
            out += QChar(c);
        } else if (lineBreak) {
            out += c == u'\n' ? u"\\n"_s : c == u'\r' ? u"\\r"_s : u"\\t"_s;
        } else if (actsRatherThanShows(c) || QChar::isSurrogate(c)) {
            out += hexEscape(c);
        } else {
            out += QChar(c);
        }
    }
    return out;
}

QString ooxmlText(QStringView text) {
    static const QRegularExpression escapedLooking(u"_(x[0-9A-Fa-f]{4}_)"_s);
    QString out = printable(text, LineBreaks::Kept);
    out.replace(escapedLooking, u"_x005F_\\1"_s);
    return out;
}

} // namespace tallyrow
