#include "support/Printable.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using tallyrow::LineBreaks;
using tallyrow::printable;

TEST(Printable, ControlCharactersBecomeEscapesAndEverythingElseStays) {
    const QChar lone[] = {QChar(0xd800), u'x', QChar(0xdc00)};
    const struct {
        QString text;
        QString shown;
    } cases[] = {
        {u"a\tb\rc\x01\x7f\u0085\u009f\u2028\u2029\ufffe\uffff"_s,
         uR"(a\tb\rc\x01\x7f\x85\x9f\u2028\u2029\ufffe\uffff)"_s},
        {QString(lone, 3), uR"(\ud800x\udc00)"_s},
        // Names as people write them: a Windows domain's backslash, letters beyond ASCII.
        {u"CORP\\anna Jürgen ß İ \u00a0 😀"_s, u"CORP\\anna Jürgen ß İ \u00a0 😀"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printable(c.text), c.shown) << c.shown.toStdString();
    EXPECT_EQ(printable(u"a\tb\nc\x1b"_s, LineBreaks::Kept), u"a\tb\nc\\x1b"_s);
    // A literal escape of the workbook format reads back as written.
    EXPECT_EQ(tallyrow::ooxmlText(u"_x0041_ _x00 \x1b"_s), uR"(_x005F_x0041_ _x00 \x1b)"_s);
}
