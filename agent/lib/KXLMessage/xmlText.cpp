#include "xmlText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace KXL::voc {

namespace {

bool isXmlChar(std::uint32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
        (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool isContinuation(unsigned char b, unsigned char low = 0x80, unsigned char high = 0xBF)
{
    return b >= low && b <= high;
}

// Decodes one UTF-8 sequence at `at`; 0 when it is not valid (overlong forms and
// surrogates included), else its length.
std::size_t decodeUtf8(std::string_view s, std::size_t at, std::uint32_t& c)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[at + k]); };
    const std::size_t left = s.size() - at;
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) {
        c = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (left < 2 || !isContinuation(byte(1)))
            return 0;
        c = (b0 & 0x1Fu) << 6 | (byte(1) & 0x3Fu);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        const unsigned char low = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = b0 == 0xED ? 0x9F : 0xBF;
        if (left < 3 || !isContinuation(byte(1), low, high) || !isContinuation(byte(2)))
            return 0;
        c = (b0 & 0x0Fu) << 12 | (byte(1) & 0x3Fu) << 6 | (byte(2) & 0x3Fu);
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        const unsigned char low = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = b0 == 0xF4 ? 0x8F : 0xBF;
        if (left < 4 || !isContinuation(byte(1), low, high) || !isContinuation(byte(2)) ||
            !isContinuation(byte(3)))
            return 0;
        c = (b0 & 0x07u) << 18 | (byte(1) & 0x3Fu) << 12 | (byte(2) & 0x3Fu) << 6 | (byte(3) & 0x3Fu);
        return 4;
    }
    return 0;
}

void appendUtf8(std::uint32_t c, std::string& out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character a reference body (between '&' and ';') stands for.
bool resolveReference(std::string_view name, std::uint32_t& c)
{
    if (name == "lt")
        c = '<';
    else if (name == "gt")
        c = '>';
    else if (name == "amp")
        c = '&';
    else if (name == "quot")
        c = '"';
    else if (name == "apos")
        c = '\'';
    else if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty())
            return false;
        std::uint32_t value = 0;
        for (const char d : digits) {
            int digit;
            if (d >= '0' && d <= '9')
                digit = d - '0';
            else if (hex && d >= 'a' && d <= 'f')
                digit = d - 'a' + 10;
            else if (hex && d >= 'A' && d <= 'F')
                digit = d - 'A' + 10;
            else
                return false;
            value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
            if (value > 0x10FFFF)
                return false;
        }
        if (!isXmlChar(value))
            return false;
        c = value;
    } else {
        return false;
    }
    return true;
}

} // namespace

std::size_t findNonXmlText(std::string_view bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        // Most text is printable ASCII: eight bytes at a time while none is below 0x20 or
        // above 0x7F.
        while (bytes.size() - at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + at, sizeof word);
            constexpr std::uint64_t ones = 0x0101010101010101ull;
            constexpr std::uint64_t highs = 0x8080808080808080ull;
            if ((word & highs) != 0)
                break;
            // Below 0x20 somewhere: fine when each such byte is TAB, LF or CR (line ends and
            // indentation are in every word of a .voc file).
            if (((word - 0x20 * ones) & highs) != 0 && !std::all_of(bytes.data() + at, bytes.data() + at + 8,
                    [](char c) { return c >= 0x20 || c == '\t' || c == '\n' || c == '\r'; }))
                break;
            at += 8;
        }
        if (at == bytes.size())
            break;
        // Only control characters other than TAB, LF and CR fail among the rest of ASCII.
        const auto b = static_cast<unsigned char>(bytes[at]);
        if (b < 0x80) {
            if (b < 0x20 && b != '\t' && b != '\n' && b != '\r')
                return at;
            ++at;
            continue;
        }
        std::uint32_t c = 0;
        const std::size_t length = decodeUtf8(bytes, at, c);
        if (length == 0 || !isXmlChar(c))
            return at;
        at += length;
    }
    return std::string_view::npos;
}

bool isPlainText(std::string_view bytes)
{
    return bytes.find('\r') == std::string_view::npos &&
        findNonXmlText(bytes) == std::string_view::npos;
}

bool decodeMarkupText(std::string_view raw, MarkupContext context, std::string& text,
                      std::string& error)
{
    // Longest reference worth looking at: "&#x10FFFF;" plus some leading zeros.
    constexpr std::size_t kLongestReference = 32;
    text.clear();
    text.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size(); ++at) {
        const char c = raw[at];
        if (c == '<' && context == MarkupContext::AttributeValue) {
            error = "'<' in an attribute value";
            return false;
        }
        if (c == '>' && context == MarkupContext::Content && at >= 2 && raw[at - 1] == ']' &&
            raw[at - 2] == ']') {
            error = "\"]]>\" in text";
            return false;
        }
        if (c != '&') {
            text += c;
            continue;
        }
        const std::size_t end = raw.find(';', at + 1);
        if (end == std::string_view::npos || end - at > kLongestReference) {
            error = "'&' that does not start a reference";
            return false;
        }
        const std::string_view name = raw.substr(at + 1, end - at - 1);
        std::uint32_t resolved = 0;
        if (!resolveReference(name, resolved)) {
            error = "unknown or invalid reference \"&" + std::string(name) + ";\"";
            return false;
        }
        appendUtf8(resolved, text);
        at = end;
    }
    return true;
}

} // namespace KXL::voc
