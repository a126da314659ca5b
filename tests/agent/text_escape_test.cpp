#include "common/text_escape.h"

#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace KXL {
namespace {

TEST(TextEscape, PrintableTextIsUnchanged)
{
    EXPECT_EQ(escapeText("Intel PRO/1000 MT"), "Intel PRO/1000 MT");
    EXPECT_EQ(escapeText("Ünïcode 日本語 ✓"), "Ünïcode 日本語 ✓");
    EXPECT_EQ(escapeText(""), "");
}

// A text is known to be plain exactly when escaping leaves it as it is, wherever the byte
// that decides it sits.
TEST(TextEscape, PlainTextIsKnownWhereverTheOtherByteIs)
{
    for (std::size_t size = 0; size <= 40; ++size) {
        std::string text(size, 'a');
        ASSERT_TRUE(escapesToItself(text)) << size;
        for (std::size_t at = 0; at < size; ++at) {
            for (const char other : {'\x1f', '\x7f', '\x80', '\xff', '\\', ' ', '~'}) {
                text[at] = other;
                ASSERT_EQ(escapesToItself(text), escapeText(text) == text) << size << " " << at << " " << int(other);
            }
            text[at] = 'a';
        }
    }
}

TEST(TextEscape, ControlCharactersAreEscaped)
{
    EXPECT_EQ(escapeText("\x1b[31mred"), "\\x1b[31mred");
    EXPECT_EQ(escapeText("a\tb\nc\rd"), "a\\tb\\nc\\rd");
    EXPECT_EQ(escapeText(std::string("nul\0end", 7)), "nul\\x00end");
    EXPECT_EQ(escapeText("\x7f"), "\\x7f");
    EXPECT_EQ(escapeText("\xc2\x9b" "2J"), "\\u{009b}2J"); // C1 control sequence introducer
    // In a message as in a value, but a part escaped already keeps its single backslashes.
    EXPECT_EQ(escapeMessage("name \"a\\\\b\"\x1b[2J\xff\u202e"), "name \"a\\\\b\"\\x1b[2J\\xff\\u{202e}");
}

TEST(TextEscape, ReorderingAndLineSeparatorsAreEscaped)
{
    EXPECT_EQ(escapeText("abc\xe2\x80\xaexyz"), "abc\\u{202e}xyz"); // right-to-left override
    EXPECT_EQ(escapeText("\xe2\x81\xa6"), "\\u{2066}");
    EXPECT_EQ(escapeText("a\xe2\x80\xa8" "b"), "a\\u{2028}b");
}

// A joiner inside an emoji ZWJ sequence is part of one glyph; anywhere else it hides a
// boundary and is shown.
TEST(TextEscape, ZeroWidthJoinerStaysOnlyBetweenEmoji)
{
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    EXPECT_EQ(escapeText(family), family);
    EXPECT_EQ(quoteText("x" + family), "\"x" + family + "\"");
    EXPECT_EQ(metricLabelText(family), family);
    EXPECT_EQ(escapeText("\u200D\U0001F467"), "\\u{200d}\U0001F467"); // nothing before it
    EXPECT_EQ(escapeText("\U0001F468\u200D"), "\U0001F468\\u{200d}"); // nothing after it
    EXPECT_EQ(escapeText("a\u200Db"), "a\\u{200d}b"); // letters do not join
    EXPECT_EQ(escapeText("a\u200D\u0301"), "a\\u{200d}\u0301"); // nor does a mark: no emoji
    EXPECT_EQ(escapeText("\x1b\u200D\U0001F467"), "\\x1b\\u{200d}\U0001F467");
    EXPECT_EQ(escapeText("\U0001F468\u200D\u202E\U0001F467"), "\U0001F468\\u{200d}\\u{202e}\U0001F467");
    EXPECT_EQ(escapeText("\U0001F468\u200D\xff"), "\U0001F468\\u{200d}\\xff");
    EXPECT_EQ(metricLabelText("a\u200Db"), "a\\\\u{200d}b");
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
    EXPECT_EQ(displayWidth("\U0001F468\u200D\U0001F469\u200D\U0001F467"), 2u); // one glyph
    EXPECT_EQ(displayWidth("\U0001F468\U0001F469"), 4u); // two glyphs
    EXPECT_EQ(displayWidth("\u0E01\u0E31"), 1u); // Thai KO KAI + MAI HAN-AKAT, a combining vowel
    EXPECT_EQ(displayWidth("\U0001F469\U0001F3FD"), 2u); // with a skin tone: one glyph
    EXPECT_EQ(displayWidth("\u2764\uFE0F"), 2u); // a heart shown as an emoji
    EXPECT_EQ(displayWidth("\U0001F3F3\uFE0F\u200D\U0001F308"), 2u); // rainbow flag
    EXPECT_EQ(displayWidth("\u1112\u1161\u11AB"), 2u); // a Hangul syllable, decomposed
    EXPECT_EQ(displayWidth("\U0001F1EB\U0001F1F7"), 2u); // a flag: two regional indicators
    EXPECT_EQ(displayWidth(""), 0u);
}

// A label value as the text format's parsers read it back; false for what they reject: a
// bare quote or line feed, or a backslash before anything but \\, \" and n.
bool unescapeLabel(const std::string& escaped, std::string& value)
{
    value.clear();
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '"' || c == '\n')
            return false;
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++i == escaped.size())
            return false;
        switch (escaped[i]) {
        case '\\': value += '\\'; break;
        case '"': value += '"'; break;
        case 'n': value += '\n'; break;
        default: return false;
        }
    }
    return true;
}

// Any mix of texts reads back as the text escaped as the printed output escapes it, so
// distinct texts stay distinct, and always as valid UTF-8.
TEST(TextEscape, MetricLabelReadsBackAsTheText)
{
    // Each piece and what it reads back as. No piece completes another's UTF-8 sequence.
    const std::vector<std::pair<std::string, std::string>> pieces = {
        {"plain", "plain"}, {"\\", "\\\\"}, {"\"", "\""}, {"\\n", "\\\\n"}, {"\n", "\\n"},
        {"\r", "\\r"}, {"\t", "\\t"}, {std::string(1, '\0'), "\\x00"}, {"\x01", "\\x01"},
        {"\x02", "\\x02"}, {"\x7f", "\\x7f"}, {"\xc2\x9b", "\\u{009b}"},
        {"\xe2\x80\xae", "\\u{202e}"}, {"\xff", "\\xff"}, {"\xc0\xaf", "\\xc0\\xaf"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"}, {"\U0001F427", "\U0001F427"}, {"日本", "日本"},
        {"{a=\"b\"}", "{a=\"b\"}"}, {"#", "#"}, {" ", " "}};
    std::mt19937 random(20);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        std::string expected;
        for (std::size_t n = random() % 12; n > 0; --n) {
            const auto& piece = pieces[random() % pieces.size()];
            text += piece.first;
            expected += piece.second;
        }
        const std::string escaped = metricLabelText(text);
        std::string value;
        ASSERT_TRUE(unescapeLabel(escaped, value)) << escaped;
        EXPECT_EQ(value, expected) << escaped;
        EXPECT_NO_THROW((void)nlohmann::json(escaped).dump()) << escaped; // strict UTF-8
    }
}

} // namespace
} // namespace KXL
