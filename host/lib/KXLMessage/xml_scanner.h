// The .voc reader's XML layer. What the common path runs is inline here; error texts and
// rare markup are in xml_scanner.cpp.
#ifndef KXLMESSAGE_XMLSCANNER_H
#define KXLMESSAGE_XMLSCANNER_H

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "file_window.h"

namespace KXL::voc {

// What each byte means to the scanner's loops, which run until a byte of a given class.
enum : unsigned char { kSpace = 1, kNameEnd = 2, kTextStop = 4, kValueStop = 8, kHigh = 16 };

inline constexpr std::array<unsigned char, 256> kClass = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 0x20; ++c) // control characters: most are refused where they stop a loop
        table[static_cast<std::size_t>(c)] = kNameEnd | kTextStop | kValueStop;
    table['\t'] = table['\n'] = kSpace | kNameEnd | kValueStop;
    table['\r'] = kSpace | kNameEnd | kTextStop | kValueStop;
    table[' '] = kSpace | kNameEnd;
    for (const char c : std::string_view(">/=<\"'&?"))
        table[static_cast<unsigned char>(c)] |= kNameEnd;
    for (const char c : std::string_view("<&]"))
        table[static_cast<unsigned char>(c)] |= kTextStop;
    for (const char c : std::string_view("\"'&<"))
        table[static_cast<unsigned char>(c)] |= kValueStop;
    for (int c = 0x80; c < 0x100; ++c)
        table[static_cast<std::size_t>(c)] = kTextStop | kValueStop | kHigh;
    return table;
}();

inline unsigned char classOf(char c)
{
    return kClass[static_cast<unsigned char>(c)];
}

// For error texts: at most a few dozen bytes, cut on a UTF-8 boundary, "..." where cut,
// escaped (escapeText): an error text holds no NUL or control character.
std::string quoted(std::string_view text);
std::string tagName(std::string_view name);
std::string shownName(std::string_view name); // without quotes
// Line end normalization as XML does it: CR LF and a lone CR become LF; in attribute values
// every white-space character then becomes a space.
std::string normalizedLineEnds(std::string_view raw, bool attribute);

// The XML layer: bytes, characters, names, quoted values, character data, end tags and the
// markup a .voc file never holds. Offsets are from the start of the input; a view is valid
// until the scanner reads on, and the bytes from mark() on stay in the window.
class XmlScanner {
public:
    XmlScanner(FileWindow& input, std::string& error) : m_input(input), m_error(error) { sync(); }

    std::size_t at = 0;

    void mark() { m_keep = at; }
    bool need(std::size_t end) { return end <= m_end || more(end); }
    char operator[](std::size_t offset) const { return m_bytes[offset - m_base]; }
    std::string_view view(std::size_t offset, std::size_t size) const
    {
        return std::string_view(m_bytes + (offset - m_base), size);
    }
    // Markup of a length known when compiled: the comparison is a few instructions, not a call.
    template <std::size_t N>
    bool startsWith(const char (&text)[N])
    {
        return need(at + N - 1) && std::memcmp(m_bytes + (at - m_base), text, N - 1) == 0;
    }

    // White space; `between` tokens, what it skips is let go (a long run costs no memory).
    void skipSpace(bool between = false)
    {
        for (;;) {
            at = skipClass(at, kSpace, 0);
            if (between)
                m_keep = at;
            if (at < m_end || !more(at + 1))
                return;
        }
    }

    // A name, up to white space or what ends or splits a tag.
    bool name(std::string_view& found)
    {
        const std::size_t start = at;
        while (scanTo(kNameEnd | kHigh) && (classOf((*this)[at]) & kHigh)) {
            if (!skipCharacter())
                return false;
        }
        found = view(start, at - start);
        return true;
    }

    // Whether the bytes from the position on hold none of class `stops` up to a byte `end`
    // (with kTextStop or kValueStop, which hold every byte above 0x7F, an ASCII run). `stop`
    // receives where the run ends, at that `end` when true; the position never moves.
    bool plainRun(unsigned char stops, char end, std::size_t& stop)
    {
        const std::size_t start = at;
        const bool found = scanTo(stops) && (*this)[at] == end;
        stop = at;
        at = start;
        return found;
    }

    // From the position, a decimal as the format writes it (std::to_string's spelling, 32
    // bits), ended by `end`, which is not consumed; false, with the position kept, for
    // anything else. The digits are added up as they are scanned: numbers are most of a
    // .voc file's leaves.
    bool decimal(char end, int& value)
    {
        constexpr std::size_t kLongest = 11; // "-2147483648"
        need(at + kLongest + 1); // as much as there is
        const char* const from = m_bytes + (at - m_base);
        const char* const last = m_bytes + (std::min(m_end, at + kLongest + 1) - m_base);
        const char* p = from;
        const bool negative = p < last && *p == '-';
        p += negative;
        const char* const digits = p;
        long long number = 0;
        while (p < last && static_cast<unsigned char>(*p - '0') < 10)
            number = number * 10 + (*p++ - '0');
        const std::size_t count = static_cast<std::size_t>(p - digits);
        if (p == last || *p != end || count == 0 || count > 10 || (*digits == '0' && (count > 1 || negative)))
            return false;
        number = negative ? -number : number;
        if (number < -2147483648LL || number > 2147483647LL)
            return false;
        value = static_cast<int>(number);
        at += static_cast<std::size_t>(p - from);
        return true;
    }

    // The markup `text` here: consumed.
    template <std::size_t N>
    bool consume(const char (&text)[N])
    {
        if (!startsWith(text))
            return false;
        at += N - 1;
        return true;
    }
    // The name `known` here, ended by a byte that ends a name: consumed. Where the grammar
    // expects one of a few names it tries them, and scans a name only to report another.
    bool consumeName(std::string_view known)
    {
        if (!need(at + known.size() + 1) || view(at, known.size()) != known ||
            !(classOf((*this)[at + known.size()]) & kNameEnd))
            return false;
        at += known.size();
        return true;
    }

    // After an opening quote: the raw value up to the closing one, which is consumed. Plain
    // when it holds no reference or white space but spaces: its text is then itself. A '<'
    // is refused where it stands, as XML parsers do, not where the file ends.
    bool quotedValue(char quote, std::size_t& start, std::size_t& end, bool& plain);

    // After a leaf's start tag: its character data and CDATA up to its end tag `</name>`,
    // references resolved. A view of the input when it needs no change, else in a copy.
    bool leafText(std::string_view element, std::string_view& text);

    // At "</": the end tag `</name S?>`.
    bool endTag(std::string_view name);
    bool expect(char c, const char* description);
    bool startsDeclaration();

    // At a '<': comments, processing instructions, DOCTYPE and CDATA outside leaf values are
    // refused; true means an ordinary tag follows.
    bool refuseSpecialMarkup()
    {
        return (need(at + 2) && (*this)[at + 1] != '!' && (*this)[at + 1] != '?') || refuseIfSpecial();
    }

    // Errors: texts, lines and columns are made only here, once reading has failed. A
    // position at a byte that is no XML character is reported as that.
    bool failure(const std::string& text);
    bool failureAt(std::size_t offset, const std::string& text);
    bool malformed(const std::string& description);

private:
    FileWindow& m_input;
    std::string& m_error;
    const char* m_bytes = nullptr; // the window's, at m_base
    std::size_t m_base = 0;
    std::size_t m_end = 0;
    std::size_t m_keep = 0;
    std::string m_scratch;

    void sync()
    {
        m_bytes = m_input.data();
        m_base = m_input.begin();
        m_end = m_input.end();
    }

    bool more(std::size_t end)
    {
        const bool reached = m_input.fill(m_keep, end);
        sync();
        return reached;
    }

    // The first offset from `from` on, within the window, whose byte's class has a bit of
    // `stops` or lacks one of `runs`. Locals: the loop is the scanner's inner one.
    std::size_t skipClass(std::size_t from, unsigned char runs, unsigned char stops) const
    {
        const char* const bytes = m_bytes;
        const std::size_t base = m_base;
        const std::size_t end = m_end;
        if (runs != 0) {
            while (from < end && (classOf(bytes[from - base]) & runs))
                ++from;
        } else {
            while (from < end && !(classOf(bytes[from - base]) & stops))
                ++from;
        }
        return from;
    }

    // Moves to the first byte of a class in `stops`; false when the input ends first.
    bool scanTo(unsigned char stops)
    {
        for (;;) {
            at = skipClass(at, 0, stops);
            if (at < m_end)
                return true;
            if (!more(at + 1))
                return false;
        }
    }

    // The length of the character at `offset`, 0 when it is not UTF-8 of a character XML allows.
    std::size_t characterLength(std::size_t offset);
    bool skipCharacter();
    bool badCharacter(std::size_t offset);

    // The rare part of refuseSpecialMarkup(), apart so that the common test is inline.
    bool refuseIfSpecial();

    // From after "<![CDATA[": `end` moves to its "]]>".
    bool cdataEnd(std::size_t& end);
};

} // namespace KXL::voc

#endif
