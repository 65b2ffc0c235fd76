#include "engine/RowSet.h"
#include "engine/ValueText.h"

#include <gtest/gtest.h>

using namespace tallyrow::engine;
using namespace Qt::StringLiterals;

TEST(RowSet, StoresValuesAsTheColumnType) {
    RowSet rows;
    rows.appendColumn(u"Period"_s, RowSet::Type::Text, 5);
    rows.appendColumn(u"Total"_s, RowSet::Type::Int32);
    rows.appendColumn(u"Share"_s, RowSet::Type::Double);
    rows.appendRow({u"01/03/2004"_s, 2.5, u"0.25"_s});
    rows.appendRow({u"x"_s, 3.5, QVariant()});
    rows.appendRow({u"y"_s, 1e12});

    EXPECT_EQ(rows.value(0, 0).toString(), u"01/03"_s) << "text is cut to the column's length";
    EXPECT_EQ(rows.value(0, 1).toInt(), 2) << "halves go to the even neighbour";
    EXPECT_EQ(rows.value(1, 1).toInt(), 4);
    EXPECT_EQ(rows.value(2, 1).toInt(), 2147483647) << "out-of-range numbers clamp instead of wrapping";
    EXPECT_DOUBLE_EQ(rows.value(0, 2).toDouble(), 0.25);
    EXPECT_TRUE(rows.value(1, 2).isNull());
    EXPECT_TRUE(rows.value(2, 2).isNull()) << "missing trailing values are null";
    EXPECT_TRUE(rows.value(7, 0).isNull());
    EXPECT_TRUE(rows.value(0, 9).isNull());
}

TEST(RowSet, FindsColumnsWithoutRegardToCaseAndAnswersNullForMissingOnes) {
    RowSet rows;
    rows.appendColumn(u"All Days"_s, RowSet::Type::Int32);
    rows.appendRow({7});
    rows.toFirst();
    EXPECT_EQ(rows.columnIndex(u"all days"_s), 0);
    EXPECT_EQ(rows.field(u"ALL DAYS"_s).toInt(), 7);
    EXPECT_EQ(rows.columnIndex(u"Monday"_s), -1);
    EXPECT_TRUE(rows.field(u"Monday"_s).isNull());
    rows.next();
    EXPECT_TRUE(rows.atEnd());
    EXPECT_TRUE(rows.field(u"All Days"_s).isNull()) << "nothing is read past the last row";
}

TEST(RowSet, CloneHasItsOwnCursorAndRows) {
    RowSet rows;
    rows.appendColumn(u"Total"_s, RowSet::Type::Int32);
    for (int i = 0; i < 3; ++i)
        rows.appendRow({i});
    EXPECT_EQ(rows.currentRow(), 2) << "an appended row becomes current";

    RowSet copy = rows.clone();
    EXPECT_EQ(copy.currentRow(), 0);
    copy.next();
    EXPECT_EQ(rows.currentRow(), 2);
    rows.appendRow({9});
    EXPECT_EQ(copy.rowCount(), 3) << "rows added to the original later stay out of the copy";
}

TEST(ValueText, ShowsNumbersAsPlainDecimalDigits) {
    EXPECT_EQ(plainNumber(1234567), u"1234567"_s);
    EXPECT_EQ(plainNumber(-7), u"-7"_s);
    EXPECT_EQ(plainNumber(12.5), u"12.5"_s);
    EXPECT_EQ(plainNumber(0.1 + 0.2), u"0.3"_s);
    EXPECT_EQ(plainNumber(3e12), u"3000000000000"_s);
    EXPECT_EQ(valueText(QVariant()), QString());
    EXPECT_EQ(valueText(QVariant(42)), u"42"_s);
}

TEST(ValueText, ReadsTheLeadingNumberOfATextAndCountsOthersZero) {
    EXPECT_EQ(numericValue(u"12 min"_s), 12);
    EXPECT_EQ(numericValue(u" 2.5"_s), 2.5);
    EXPECT_EQ(numericValue(u""_s), 0);
    EXPECT_EQ(numericValue(u"abc"_s), 0);
    EXPECT_EQ(numericValue(QVariant()), 0);
    EXPECT_EQ(numericValue(QVariant(5)), 5);
}
