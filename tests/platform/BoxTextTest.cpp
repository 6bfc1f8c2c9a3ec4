#include "platform/BoxText.h"

#include <gtest/gtest.h>

namespace {

TEST(BoxText, ShortTextsStayAndLongOnesAreCutWithAnEllipsis) {
    EXPECT_EQ(BoxText::quoted("12.5", 8), "12.5");
    EXPECT_EQ(BoxText::quoted("12345678", 8), "12345678");
    EXPECT_EQ(BoxText::quoted("123456789", 8), QString::fromUtf8("1234567…"));
    EXPECT_EQ(BoxText::quoted(QString(1 << 20, 'x')).size(), BoxText::kQuotedLength);
}

TEST(BoxText, ControlCharactersShowAsReplacementsAndNoPairIsSplit) {
    EXPECT_EQ(BoxText::quoted(QString::fromUtf8("5\0\0", 3), 8), QString::fromUtf8("5\uFFFD\uFFFD"));
    EXPECT_EQ(BoxText::quoted(QString::fromUtf8("\t"), 8), QString::fromUtf8("\uFFFD"));
    // "ab" and a character outside the basic plane cut after three units keep no half of it.
    EXPECT_EQ(BoxText::quoted(QString::fromUtf8("ab😀😀"), 4), QString::fromUtf8("ab…"));
    EXPECT_EQ(BoxText::quoted(QString::fromUtf8("日本語"), 8), QString::fromUtf8("日本語"));
}

} // namespace
