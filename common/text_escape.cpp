#include "text_escape.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>

#include <utf8proc.h>

namespace KXL {

namespace {

struct CodePoint {
    std::uint32_t value;
    std::size_t length;
};

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
std::optional<CodePoint> decodeAt(std::string_view text, std::size_t pos)
{
    utf8proc_int32_t value = 0;
    const utf8proc_ssize_t length =
        utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + pos),
                         static_cast<utf8proc_ssize_t>(text.size() - pos), &value);
    if (length <= 0 || value < 0)
        return std::nullopt;
    return CodePoint{static_cast<std::uint32_t>(value), static_cast<std::size_t>(length)};
}

// Characters that move the cursor, change the terminal's state or reorder what is shown.
bool mustEscape(std::uint32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x061C ||
        (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

constexpr std::uint32_t kZeroWidthJoiner = 0x200D;
constexpr std::uint32_t kEmojiPresentation = 0xFE0F; // variation selector 16

// Grapheme cluster boundaries as utf8proc's tables give them, fed one character at a time.
class Clusters {
public:
    // Whether a cluster ends before c, the character after those fed so far.
    bool breakBefore(std::uint32_t c)
    {
        const bool at = m_previous < 0 ||
            utf8proc_grapheme_break_stateful(m_previous, static_cast<utf8proc_int32_t>(c), &m_state);
        m_previous = static_cast<utf8proc_int32_t>(c);
        return at;
    }

private:
    utf8proc_int32_t m_previous = -1;
    utf8proc_int32_t m_state = 0;
};

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

enum class Escaping { Value, QuotedValue, Message };

// The bytes with each byte that is not part of valid UTF-8 as \xNN, each character that
// could steer a terminal escaped and, in a value, a backslash doubled and, in a quoted one,
// a quote escaped. A
// zero-width joiner that joins an emoji to the one before it (a family) need not be escaped:
// the cluster shows as one glyph. Anywhere else, even before a combining mark, it shows
// nothing and would make different texts look alike.
std::string escape(std::string_view bytes, Escaping how)
{
    std::string out;
    out.reserve(bytes.size());
    Clusters clusters;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto decoded = decodeAt(bytes, pos);
        if (!decoded) {
            appendHexByte(out, static_cast<unsigned char>(bytes[pos]));
            clusters = {};
            ++pos;
            continue;
        }
        const std::uint32_t c = decoded->value;
        const bool inCluster = !clusters.breakBefore(c);
        bool unsafe = mustEscape(c);
        if (unsafe && c == kZeroWidthJoiner && inCluster) {
            const auto next = decodeAt(bytes, pos + decoded->length);
            Clusters ahead = clusters;
            unsafe = !next || ahead.breakBefore(next->value) ||
                utf8proc_get_property(static_cast<utf8proc_int32_t>(next->value))->boundclass !=
                    UTF8PROC_BOUNDCLASS_EXTENDED_PICTOGRAPHIC;
        }
        if (c == '\\' && how != Escaping::Message)
            out += "\\\\";
        else if (c == '"' && how == Escaping::QuotedValue)
            out += "\\\"";
        else if (unsafe)
            appendEscaped(out, c);
        else
            out.append(bytes, pos, decoded->length);
        pos += decoded->length;
    }
    return out;
}

} // namespace

bool escapesToItself(std::string_view bytes)
{
    for (const char c : bytes) {
        if (c < 0x20 || c >= 0x7F || c == '\\')
            return false;
    }
    return true;
}

std::string escapeText(std::string_view bytes)
{
    return escape(bytes, Escaping::Value);
}

std::string escapeMessage(std::string_view bytes)
{
    return escape(bytes, Escaping::Message);
}

std::string quoteText(std::string_view bytes)
{
    return '"' + escape(bytes, Escaping::QuotedValue) + '"';
}

std::string metricLabelText(std::string_view bytes)
{
    // Two names that differ only in what is unsafe must stay two series: escapeText keeps
    // them apart, where one replacement character would merge them. It leaves no line feed,
    // so of what the format escapes only a backslash and a quote remain.
    std::string text = escapeText(bytes);
    if (text.find_first_of("\\\"") == std::string::npos)
        return text; // most texts: no second copy for each of 100k guest OSes
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

std::size_t displayWidth(std::string_view utf8)
{
    // Capped at 2 a cluster, which a terminal draws as one glyph: the widths of joined
    // emoji, skin tones or a decomposed Hangul syllable's jamo would add up past it.
    std::size_t width = 0;
    std::size_t cluster = 0;
    Clusters clusters;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto decoded = decodeAt(utf8, pos);
        if (!decoded) {
            ++width; // not expected after escapeText; count the byte rather than loop
            clusters = {};
            ++pos;
            continue;
        }
        const std::uint32_t c = decoded->value;
        if (clusters.breakBefore(c)) {
            width += std::min<std::size_t>(cluster, 2);
            cluster = 0;
        }
        cluster += c == kEmojiPresentation
            ? 2
            : static_cast<std::size_t>(utf8proc_charwidth(static_cast<utf8proc_int32_t>(c)));
        pos += decoded->length;
    }
    return width + std::min<std::size_t>(cluster, 2);
}

} // namespace KXL
