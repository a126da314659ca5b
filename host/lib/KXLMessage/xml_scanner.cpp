#include "xml_scanner.h"

#include "common/text_escape.h"
#include "voc_read_failure.h"
#include "xml_text.h"

namespace KXL::voc {

namespace {

// The first bytes of `text` an error text shows; `cut` says whether some were left out.
std::string_view shownPart(std::string_view text, bool& cut)
{
    constexpr std::size_t kShown = 40;
    cut = text.size() > kShown;
    if (!cut)
        return text;
    // Back to the start of a character cut in two; bytes that are not UTF-8 (a name from
    // base64) are escaped one by one, so no further.
    std::size_t end = kShown;
    while (end > kShown - 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace

std::string shownName(std::string_view name)
{
    bool cut = false;
    std::string shown = escapeText(shownPart(name, cut));
    return cut ? shown + "..." : shown;
}

std::string quoted(std::string_view text)
{
    bool cut = false;
    std::string shown = quoteText(shownPart(text, cut));
    return cut ? shown.insert(shown.size() - 1, "...") : shown;
}

std::string tagName(std::string_view name)
{
    return '<' + shownName(name) + '>';
}

std::string normalizedLineEnds(std::string_view raw, bool attribute)
{
    std::string out;
    out.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size(); ++at) {
        char c = raw[at];
        if (c == '\r') {
            if (at + 1 < raw.size() && raw[at + 1] == '\n')
                ++at;
            c = '\n';
        }
        out += attribute && (classOf(c) & kSpace) ? ' ' : c;
    }
    return out;
}

bool XmlScanner::quotedValue(char quote, std::size_t& start, std::size_t& end, bool& plain)
{
    start = at;
    plain = true;
    while (scanTo(kValueStop)) {
        const char c = (*this)[at];
        if (c == quote) {
            end = at++;
            return true;
        }
        if (c == '"' || c == '\'') {
            ++at;
        } else if (c == '<') {
            return malformed("'<' in an attribute value");
        } else if (c == '&' || (classOf(c) & kSpace)) {
            plain = false;
            ++at;
        } else if (!skipCharacter()) {
            return false;
        }
    }
    return malformed("unterminated attribute value");
}

bool XmlScanner::leafText(std::string_view element, std::string_view& text)
{
    m_scratch.clear();
    bool copied = false;
    const std::size_t start = at;
    for (;;) {
        const std::size_t raw = at;
        bool plain = true;
        while (scanTo(kTextStop) && (*this)[at] != '<') {
            const char c = (*this)[at];
            if (c == '&' || c == '\r' || c == ']') {
                plain = false;
                ++at;
            } else if (!skipCharacter()) {
                return false;
            }
        }
        if (at == m_end)
            return malformed("end tag </" + std::string(element) + "> expected");
        if (!copied && plain && startsWith("</"))
            break; // the common case: one run of plain text
        copied = true;
        if (at > raw) {
            std::string piece;
            std::string reason;
            if (!decodeMarkupText(normalizedLineEnds(view(raw, at - raw), false), MarkupContext::Content,
                                  piece, reason))
                return failureAt(raw, "in " + tagName(element) + ": " + reason);
            m_scratch += piece;
        }
        if (startsWith("<![CDATA[")) {
            std::size_t end = at + 9;
            if (!cdataEnd(end))
                return false;
            m_scratch += normalizedLineEnds(view(at + 9, end - at - 9), false);
            at = end + 3;
            continue;
        }
        if (startsWith("</"))
            break;
        if (!refuseSpecialMarkup())
            return false;
        const std::size_t childStart = at++;
        std::string_view childName;
        if (!name(childName))
            return false;
        return failureAt(childStart, "unexpected " + tagName(childName) + " inside " + tagName(element));
    }
    const std::size_t end = at;
    if (!endTag(element))
        return false;
    text = copied ? std::string_view(m_scratch) : view(start, end - start);
    return true;
}

bool XmlScanner::endTag(std::string_view name)
{
    at += 2;
    if (!consumeName(name)) {
        std::string_view closing;
        if (!this->name(closing))
            return false;
        if (!need(at + 1))
            return malformed("unterminated end tag");
        at -= closing.size() + 2;
        return malformed("end tag </" + shownName(closing) + "> does not match " + tagName(name));
    }
    skipSpace();
    return expect('>', "'>' expected to close an end tag");
}

bool XmlScanner::expect(char c, const char* description)
{
    if (!need(at + 1) || (*this)[at] != c)
        return malformed(description);
    ++at;
    return true;
}

bool XmlScanner::startsDeclaration()
{
    return startsWith("<?xml") && need(at + 6) && ((classOf((*this)[at + 5]) & kSpace) || (*this)[at + 5] == '?');
}

bool XmlScanner::failure(const std::string& text)
{
    m_error = text;
    return false;
}

bool XmlScanner::failureAt(std::size_t offset, const std::string& text)
{
    if (need(offset + 1) && characterLength(offset) == 0)
        return badCharacter(offset);
    return failure(atLine(m_input.position(offset).first, text));
}

bool XmlScanner::malformed(const std::string& description)
{
    if (!need(at + 1))
        return failure(std::string(kEndsEarly) + description);
    if (characterLength(at) == 0)
        return badCharacter(at);
    const auto [line, column] = m_input.position(at);
    return failure(atLineAndColumn(line, column, "not well-formed XML (" + description + ")"));
}

std::size_t XmlScanner::characterLength(std::size_t offset)
{
    need(offset + 4);
    return xmlCharacterLength(view(offset, std::min<std::size_t>(4, m_end - offset)));
}

bool XmlScanner::skipCharacter()
{
    const std::size_t length = characterLength(at);
    if (length == 0)
        return badCharacter(at);
    at += length;
    return true;
}

bool XmlScanner::badCharacter(std::size_t offset)
{
    return failure(atLine(m_input.position(offset).first, "bytes that are not UTF-8 or not XML 1.0 characters"));
}

bool XmlScanner::refuseIfSpecial()
{
    const std::size_t start = at;
    if (startsWith("<!--"))
        return failureAt(start, "comments are not allowed in a .voc file");
    if (startsDeclaration())
        return failureAt(start, "the XML declaration must open the file");
    if (startsWith("<?"))
        return failureAt(start, "processing instructions are not allowed in a .voc file");
    if (startsWith("<!DOCTYPE"))
        return failureAt(start, "DOCTYPE declarations are not allowed");
    if (startsWith("<!"))
        return failureAt(start, "unexpected markup \"<!\"");
    return true;
}

bool XmlScanner::cdataEnd(std::size_t& end)
{
    const std::size_t saved = at;
    at = end;
    while (scanTo(kTextStop)) {
        const char c = (*this)[at];
        if (c == ']' && startsWith("]]>")) {
            end = at;
            at = saved;
            return true;
        }
        if (c == '<' || c == '&' || c == '\r' || c == ']')
            ++at;
        else if (!skipCharacter())
            return false;
    }
    return malformed("unterminated CDATA section");
}

} // namespace KXL::voc
