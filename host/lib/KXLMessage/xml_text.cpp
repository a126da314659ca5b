#include "xml_text.h"

#include <charconv>
#include <cstdint>
#include <system_error>

#include <utf8proc.h>

#include "common/text_escape.h"

namespace KXL::voc {

namespace {

bool isXmlChar(std::uint32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
        (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
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
        const char* const digits = name.data() + (hex ? 2 : 1);
        const char* const end = name.data() + name.size();
        // No sign for an unsigned type; beyond 32 bits out of range; no digits invalid.
        const auto [stop, status] = std::from_chars(digits, end, c, hex ? 16 : 10);
        if (status != std::errc() || stop != end || !isXmlChar(c))
            return false;
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
    // Overlong forms and surrogates are not valid UTF-8 to utf8proc either.
    utf8proc_int32_t c = 0;
    const utf8proc_ssize_t length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(bytes.data()),
                                                     static_cast<utf8proc_ssize_t>(bytes.size()), &c);
    return length > 0 && isXmlChar(static_cast<std::uint32_t>(c)) ? static_cast<std::size_t>(length) : 0;
}

bool isPlainText(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = xmlCharacterLength(bytes.substr(at));
        if (length == 0 || bytes[at] == '\r')
            return false;
        at += length;
    }
    return true;
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
            error = "unknown or invalid reference " + quoteText("&" + std::string(name) + ";");
            return false;
        }
        utf8proc_uint8_t encoded[4];
        text.append(reinterpret_cast<const char*>(encoded),
                    static_cast<std::size_t>(utf8proc_encode_char(static_cast<utf8proc_int32_t>(resolved), encoded)));
        at = end;
    }
    return true;
}

} // namespace KXL::voc
