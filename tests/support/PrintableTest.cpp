#include "support/Printable.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using tallyrow::LineBreaks;
using tallyrow::ooxmlText;
using tallyrow::printable;

TEST(Printable, ControlCharactersBecomeEscapesAndEverythingElseStays) {
    const QChar lone[] = {QChar(0xd800), u'x', QChar(0xdc00)};
    const struct {
        QString text;
        QString shown;
        QString shownKeepingBreaks;
    } cases[] = {
        {u"evil\x1b]0;PWNED\x07\x1b[2J\nFAKE"_s, uR"(evil\x1b]0;PWNED\x07\x1b[2J\nFAKE)"_s,
         u"evil\\x1b]0;PWNED\\x07\\x1b[2J\nFAKE"_s},
        {u"a\tb\rc\x01\x7f\u0085\u009f"_s, uR"(a\tb\rc\x01\x7f\x85\x9f)"_s, u"a\tb\rc\\x01\\x7f\\x85\\x9f"_s},
        {u"line\u2028para\u2029\ufffe\uffff"_s, uR"(line\u2028para\u2029\ufffe\uffff)"_s,
         uR"(line\u2028para\u2029\ufffe\uffff)"_s},
        {QString(lone, 3), uR"(\ud800x\udc00)"_s, uR"(\ud800x\udc00)"_s},
        // Names as people write them, a Windows domain's backslash and letters beyond ASCII.
        {u"CORP\\anna Jürgen ß İ \u00a0 😀 \u200bx"_s, u"CORP\\anna Jürgen ß İ \u00a0 😀 \u200bx"_s,
         u"CORP\\anna Jürgen ß İ \u00a0 😀 \u200bx"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        EXPECT_EQ(printable(c.text), c.shown);
        EXPECT_EQ(printable(c.text, LineBreaks::Kept), c.shownKeepingBreaks);
    }
}

TEST(Printable, OoxmlTextKeepsALiteralEscapeLiteral) {
    EXPECT_EQ(ooxmlText(u"_x0041_ and _x001b_\x1b"_s), uR"(_x005F_x0041_ and _x005F_x001b_\x1b)"_s);
    EXPECT_EQ(ooxmlText(u"_x00 x0041_ line\nbreak"_s), u"_x00 x0041_ line\nbreak"_s);
}
