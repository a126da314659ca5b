#include "xmlText.h"

#include <cstdint>
#include <cstring>

#include <utf8proc.h>

namespace KXL::voc {

namespace {

bool isXmlChar(std::uint32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
        (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// One UTF-8 sequence at `at`, decoded by the same library the agent measures text with;
// 0 when it is not valid (overlong forms and surrogates included), else its length.
std::size_t decodeUtf8(std::string_view s, std::size_t at, std::uint32_t& c)
{
    utf8proc_int32_t codepoint = 0;
    const utf8proc_ssize_t length =
        utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + at),
                         static_cast<utf8proc_ssize_t>(s.size() - at), &codepoint);
    if (length <= 0)
        return 0;
    c = static_cast<std::uint32_t>(codepoint);
    return static_cast<std::size_t>(length);
}

void appendUtf8(std::uint32_t c, std::string& out)
{
    utf8proc_uint8_t bytes[4];
    const utf8proc_ssize_t length = utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), bytes);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
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
        // Most text is ASCII without control characters but TAB, LF and CR: eight bytes at a
        // time. With no byte above 0x7F, subtracting borrows only out of a byte below 0x20 and
        // adding never carries into the next byte, so each test below is exact per byte.
        while (bytes.size() - at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + at, sizeof word);
            constexpr std::uint64_t ones = 0x0101010101010101ull;
            constexpr std::uint64_t highs = 0x8080808080808080ull;
            if ((word & highs) != 0)
                break;
            if (((word - 0x20 * ones) & highs) == 0) { // no byte below 0x20: most words
                at += 8;
                continue;
            }
            const auto zeroBytes = [](std::uint64_t x) { return ~(x + 0x7F * ones) & highs; };
            const std::uint64_t control = ~(word + 0x60 * ones) & highs; // bytes below 0x20
            const std::uint64_t allowed =
                zeroBytes(word ^ ('\t' * ones)) | zeroBytes(word ^ ('\n' * ones)) | zeroBytes(word ^ ('\r' * ones));
            if ((control & ~allowed) != 0)
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
