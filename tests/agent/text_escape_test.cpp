#include "agent/text_escape.h"

#include <string>

#include <gtest/gtest.h>

namespace KXL {
namespace {

TEST(TextEscape, PrintableTextIsUnchanged)
{
    EXPECT_EQ(escapeText("Intel PRO/1000 MT"), "Intel PRO/1000 MT");
    EXPECT_EQ(escapeText("Ünïcode 日本語 ✓"), "Ünïcode 日本語 ✓");
    EXPECT_EQ(escapeText(""), "");
}

TEST(TextEscape, ControlCharactersAreEscaped)
{
    EXPECT_EQ(escapeText("\x1b[31mred"), "\\x1b[31mred");
    EXPECT_EQ(escapeText("a\tb\nc\rd"), "a\\tb\\nc\\rd");
    EXPECT_EQ(escapeText(std::string("nul\0end", 7)), "nul\\x00end");
    EXPECT_EQ(escapeText("\x7f"), "\\x7f");
    EXPECT_EQ(escapeText("\xc2\x9b" "2J"), "\\u{009b}2J"); // C1 control sequence introducer
}

TEST(TextEscape, ReorderingAndLineSeparatorsAreEscaped)
{
    EXPECT_EQ(escapeText("abc\xe2\x80\xaexyz"), "abc\\u{202e}xyz"); // right-to-left override
    EXPECT_EQ(escapeText("\xe2\x81\xa6"), "\\u{2066}");
    EXPECT_EQ(escapeText("a\xe2\x80\xa8" "b"), "a\\u{2028}b");
}

TEST(TextEscape, InvalidUtf8BecomesHexBytes)
{
    EXPECT_EQ(escapeText("\xff"), "\\xff");
    EXPECT_EQ(escapeText("ab\xe2\x82"), "ab\\xe2\\x82"); // truncated sequence
    EXPECT_EQ(escapeText("\xc0\xaf"), "\\xc0\\xaf"); // overlong '/'
    EXPECT_EQ(escapeText("\xed\xa0\x80"), "\\xed\\xa0\\x80"); // surrogate
    EXPECT_EQ(escapeText("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80"); // above U+10FFFF
    EXPECT_EQ(escapeText("\x80" "A"), "\\x80A"); // a stray continuation byte alone
}

TEST(TextEscape, DistinctInputsStayDistinct)
{
    EXPECT_EQ(escapeText("\\"), "\\\\");
    EXPECT_NE(escapeText("\\x1b"), escapeText("\x1b"));
    EXPECT_NE(escapeText("\\u{0085}"), escapeText("\xc2\x85"));
    EXPECT_NE(escapeText("\\xff"), escapeText("\xff"));
}

TEST(TextEscape, QuotedTextEscapesTheQuote)
{
    EXPECT_EQ(quoteText("say \"hi\"\n"), "\"say \\\"hi\\\"\\n\"");
    EXPECT_EQ(quoteText(""), "\"\"");
}

TEST(TextEscape, DisplayWidthCountsColumns)
{
    EXPECT_EQ(displayWidth("VirtIO"), 6u);
    EXPECT_EQ(displayWidth("日本"), 4u);
    EXPECT_EQ(displayWidth("e\xcc\x81"), 1u); // e + combining acute accent
    EXPECT_EQ(displayWidth("Ü"), 1u);
    EXPECT_EQ(displayWidth("\U0001F680"), 2u); // rocket: an emoji, wide
    EXPECT_EQ(displayWidth("\u0E01\u0E31"), 1u); // Thai KO KAI + MAI HAN-AKAT, a combining vowel
    EXPECT_EQ(displayWidth(""), 0u);
}

} // namespace
} // namespace KXL
