#include "text_escape.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace KXL {

namespace {

struct CodePoint {
    std::uint32_t value;
    std::size_t length;
};

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
std::optional<CodePoint> decodeAt(std::string_view text, std::size_t pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return CodePoint{lead, 1};

    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    std::uint32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return std::nullopt;
    }
    if (text.size() - pos < length)
        return std::nullopt;
    if (byte(1) < low || byte(1) > high)
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuation(byte(i)))
            return std::nullopt;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    return CodePoint{value, length};
}

// Characters that move the cursor, change the terminal's state or reorder what is shown.
bool mustEscape(std::uint32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x061C ||
        (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

void appendHexByte(std::string& out, unsigned char byte)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02x", byte);
    out += buffer;
}

void appendEscaped(std::string& out, std::uint32_t c)
{
    switch (c) {
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    default: break;
    }
    if (c < 0x80) {
        appendHexByte(out, static_cast<unsigned char>(c));
        return;
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\u{%04x}", static_cast<unsigned>(c));
    out += buffer;
}

std::string escape(std::string_view bytes, bool escapeQuote)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto decoded = decodeAt(bytes, pos);
        if (!decoded) {
            appendHexByte(out, static_cast<unsigned char>(bytes[pos]));
            ++pos;
            continue;
        }
        const std::uint32_t c = decoded->value;
        if (c == '\\')
            out += "\\\\";
        else if (c == '"' && escapeQuote)
            out += "\\\"";
        else if (mustEscape(c))
            appendEscaped(out, c);
        else
            out.append(bytes.substr(pos, decoded->length));
        pos += decoded->length;
    }
    return out;
}

bool isCombining(std::uint32_t c)
{
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
        (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
        (c >= 0xFE20 && c <= 0xFE2F);
}

bool isWide(std::uint32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
        (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
        (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
        (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
        (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

std::string escapeText(std::string_view bytes)
{
    return escape(bytes, false);
}

std::string quoteText(std::string_view bytes)
{
    return '"' + escape(bytes, true) + '"';
}

std::size_t displayWidth(std::string_view utf8)
{
    std::size_t width = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto decoded = decodeAt(utf8, pos);
        if (!decoded) {
            ++width; // not expected after escapeText; count the byte rather than loop
            ++pos;
            continue;
        }
        if (isWide(decoded->value))
            width += 2;
        else if (!isCombining(decoded->value))
            width += 1;
        pos += decoded->length;
    }
    return width;
}

} // namespace KXL
