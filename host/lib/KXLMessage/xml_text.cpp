#include "xml_text.h"

#include <cstdint>

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

std::size_t xmlCharacterLength(std::string_view bytes)
{
    const auto b = static_cast<unsigned char>(bytes.empty() ? 0 : bytes[0]);
    if (b < 0x80)
        return b >= 0x20 || b == '\t' || b == '\n' || b == '\r' ? 1 : 0;
    std::uint32_t c = 0;
    const std::size_t length = decodeUtf8(bytes, 0, c);
    return length != 0 && isXmlChar(c) ? length : 0;
}

std::size_t findNonXmlText(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = xmlCharacterLength(bytes.substr(at));
        if (length == 0)
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
