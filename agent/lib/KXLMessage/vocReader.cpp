// A direct scan of the .voc format into the compact tree. A general XML parser would build a
// DOM of about 30 times the file's size first; the format is small and fixed, so the scan
// checks exactly what it needs: well-formed XML 1.0 without DOCTYPE, comments or processing
// instructions (format 1 files hold none), and the format's own rules.
#include "vocReader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

#include "base64.h"
#include "vocFormat.h"
#include "xmlText.h"

namespace KXL::voc {

namespace {

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// For error texts: at most a few dozen bytes, cut on a UTF-8 boundary.
std::string quoted(std::string_view text)
{
    constexpr std::size_t kShown = 40;
    if (text.size() <= kShown)
        return '"' + std::string(text) + '"';
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return '"' + std::string(text.substr(0, cut)) + "...\"";
}

// Decimal as std::to_string writes it: no sign but '-', no leading zero, no "-0".
bool parseInt32(std::string_view text, int& value, bool& outOfRange)
{
    outOfRange = false;
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digits = text.substr(negative ? 1 : 0);
    if (digits.empty() || (digits[0] == '0' && (digits.size() > 1 || negative)))
        return false;
    long long number = 0;
    bool tooLarge = false; // told only once every byte is known to be a digit
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        if (!tooLarge) {
            number = number * 10 + (c - '0');
            tooLarge = number > 2147483648LL;
        }
    }
    number = negative ? -number : number;
    if (tooLarge || number > 2147483647LL) {
        outOfRange = true;
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

// Line ends, eight bytes at a time: every byte of a large file is counted once as its pages
// are given back. A byte is zero in x exactly when the high bit survives below.
std::size_t countNewlines(std::string_view bytes)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t lows = 0x7F7F7F7F7F7F7F7Full;
    std::size_t count = 0;
    std::size_t at = 0;
    for (; bytes.size() - at >= 8; at += 8) {
        std::uint64_t x;
        std::memcpy(&x, bytes.data() + at, sizeof x);
        x ^= '\n' * ones;
        const std::uint64_t zeros = ~(((x & lows) + lows) | x | lows);
        count += static_cast<std::size_t>(((zeros >> 7) * ones) >> 56); // the ones, summed
    }
    return count + static_cast<std::size_t>(std::count(bytes.begin() + at, bytes.end(), '\n'));
}

// The index of the lowest-addressed nonzero byte of a nonzero word read from memory.
int firstSetByte(std::uint64_t word)
{
    if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
        return __builtin_ctzll(word) / 8;
    else
        return __builtin_clzll(word) / 8;
}

std::string tagName(std::string_view name)
{
    return '<' + std::string(name) + '>';
}

struct Attribute {
    std::string_view name;
    std::string_view raw; // between the quotes, unresolved
};

// Line end normalization as XML does it: CR LF and a lone CR become LF; in attribute values
// every white-space character then becomes a space.
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
        out += attribute && isXmlSpace(c) ? ' ' : c;
    }
    return out;
}

class Reader {
public:
    Reader(std::string_view bytes, KXLDocument& document, std::string& error)
        : m_in(bytes), m_document(document), m_error(error)
    {
        const std::size_t bad = findNonXmlText(m_in);
        if (bad != std::string_view::npos) {
            m_badAt = bad;
            m_in = m_in.substr(0, bad);
        }
    }

    Reader(FileWindow& file, KXLDocument& document, std::string& error)
        : m_file(&file), m_document(document), m_error(error)
    {
    }

    bool read()
    {
        if (parse())
            return true;
        // What stopped the scan early comes first.
        if (!m_readError.empty())
            return failure(m_readError);
        if (m_badAt != std::string_view::npos)
            return failure("line " + std::to_string(lineAt(m_badAt)) +
                           ": bytes that are not UTF-8 or not XML 1.0 characters");
        return false;
    }

private:
    bool parse()
    {
        if (!need(1))
            return failure("the file is empty");
        if (startsWith("\xEF\xBB\xBF"))
            m_at = 3;
        if (startsDeclaration() && !declaration())
            return false;

        bool seenMessage = false;
        for (;;) {
            skipSpace();
            if (!need(m_at + 1))
                break;
            const std::size_t start = m_at;
            if (m_in[m_at] != '<')
                return failureAt(start, "text outside the <message> element");
            if (!refuseSpecialMarkup())
                return false;
            if (seenMessage)
                return failureAt(start, "more than one top-level element");
            std::string_view name;
            if (!startTagName(name))
                return false;
            if (name != name::message)
                return failureAt(start, "the top-level element is " + tagName(name) +
                                 ", expected <message>");
            if (!message(start))
                return false;
            seenMessage = true;
        }
        if (!seenMessage)
            return failure("no <message> element");
        return true;
    }

    FileWindow* m_file = nullptr; // null when all the input is in m_in from the start
    std::string_view m_in; // checked input: valid UTF-8 of XML characters
    std::size_t m_at = 0;
    std::size_t m_badAt = std::string_view::npos; // where input that is not text starts
    std::string m_readError;
    // Pages below m_releasedTo went back to the system: lines and columns there are counted.
    std::size_t m_releasedTo = 0;
    std::size_t m_releasedLines = 0;
    std::size_t m_lastReleasedNewline = std::string_view::npos;
    KXLDocument& m_document;
    std::string& m_error;
    std::vector<Attribute> m_attributes; // of the start tag being read
    std::string m_scratch;

    // True when the input reaches `end`, reading and checking more of the file as needed.
    bool need(std::size_t end) { return end <= m_in.size() || needMore(end); }

    bool needMore(std::size_t end)
    {
        while (end > m_in.size()) {
            if (m_file == nullptr || m_badAt != std::string_view::npos || !m_readError.empty() ||
                (m_file->complete() && m_in.size() == m_file->filled().size()))
                return false;
            if (!m_file->complete() && !m_file->readMore(m_readError))
                return false;
            const std::string_view filled = m_file->filled();
            const std::size_t bad = findNonXmlText(filled.substr(m_in.size()));
            std::size_t checked = filled.size();
            if (bad != std::string_view::npos) {
                checked = m_in.size() + bad;
                // A character cut by the end of a step is checked once the rest is read.
                if (m_file->complete() || filled.size() - checked >= 4)
                    m_badAt = checked;
            }
            m_in = filled.substr(0, checked);
        }
        return true;
    }

    // The first `from` bytes are done with: between elements, once enough has piled up.
    void releaseBefore(std::size_t from)
    {
        constexpr std::size_t kReleaseStep = std::size_t{16} << 20;
        if (m_file == nullptr || from - m_releasedTo < kReleaseStep)
            return;
        const std::string_view done = m_in.substr(m_releasedTo, from - m_releasedTo);
        m_releasedLines += countNewlines(done);
        const std::size_t newline = done.rfind('\n');
        if (newline != std::string_view::npos)
            m_lastReleasedNewline = m_releasedTo + newline;
        m_file->release(from);
        m_releasedTo = from;
    }

    std::size_t find(char c, std::size_t from)
    {
        for (;;) {
            const std::size_t at = m_in.find(c, from);
            if (at != std::string_view::npos || !need(m_in.size() + 1))
                return at;
        }
    }

    std::size_t find(std::string_view text, std::size_t from)
    {
        for (;;) {
            const std::size_t at = m_in.find(text, from);
            if (at != std::string_view::npos || !need(m_in.size() + 1))
                return at;
        }
    }

    bool startsDeclaration()
    {
        return startsWith("<?xml") && need(m_at + 6) &&
            (isXmlSpace(m_in[m_at + 5]) || m_in[m_at + 5] == '?');
    }

    // Errors: texts are built only here, when reading has failed.
    bool failure(const std::string& text)
    {
        m_error = text;
        return false;
    }

    bool failureAt(std::size_t offset, const std::string& text)
    {
        return failure("line " + std::to_string(lineAt(offset)) + ": " + text);
    }

    bool malformed(const std::string& description)
    {
        if (m_at >= m_in.size())
            return failure("the file ends early (truncated?): " + description);
        return failure("line " + std::to_string(lineAt(m_at)) + ", column " +
                       std::to_string(columnAt(m_at)) + ": not well-formed XML (" + description + ")");
    }

    // The input up to `offset`, which may lie past the checked input when it is not text.
    std::string_view retained(std::size_t offset) const
    {
        const std::string_view all = m_file != nullptr ? m_file->filled() : m_in;
        return all.substr(m_releasedTo, std::min(offset, all.size()) - m_releasedTo);
    }

    std::size_t lineAt(std::size_t offset) const
    {
        const std::string_view before = retained(offset);
        return 1 + m_releasedLines + countNewlines(before);
    }

    std::size_t columnAt(std::size_t offset) const
    {
        const std::size_t newline = retained(offset).rfind('\n');
        const std::size_t lineStart = newline != std::string_view::npos ? m_releasedTo + newline : m_lastReleasedNewline;
        return lineStart == std::string_view::npos ? offset + 1 : offset - lineStart;
    }

    bool startsWith(std::string_view text)
    {
        return need(m_at + text.size()) && m_in.substr(m_at, text.size()) == text;
    }

    void skipSpace()
    {
        do {
            // Indentation: eight bytes at a time; the first byte that is not a space ends the
            // run, and is skipped in turn when it is other white space (a line end).
            constexpr std::uint64_t spaces = 0x2020202020202020ull;
            for (;;) {
                if (m_in.size() - m_at >= 8) {
                    std::uint64_t word;
                    std::memcpy(&word, m_in.data() + m_at, 8);
                    const std::uint64_t other = word ^ spaces;
                    if (other == 0) {
                        m_at += 8;
                        continue;
                    }
                    m_at += static_cast<std::size_t>(firstSetByte(other));
                }
                if (m_at == m_in.size() || !isXmlSpace(m_in[m_at]))
                    break;
                ++m_at;
            }
        } while (m_at == m_in.size() && needMore(m_at + 1));
    }

    bool expect(char c, const char* description)
    {
        if (!need(m_at + 1) || m_in[m_at] != c)
            return malformed(description);
        ++m_at;
        return true;
    }

    // At a '<': comments, processing instructions, DOCTYPE and CDATA outside leaf values are
    // refused; true means an ordinary tag follows.
    bool refuseSpecialMarkup()
    {
        if (need(m_at + 2) && m_in[m_at + 1] != '!' && m_in[m_at + 1] != '?')
            return true; // an ordinary tag: the common case, checked inline
        return refuseUnusualMarkup();
    }

    __attribute__((noinline)) bool refuseUnusualMarkup()
    {
        const std::size_t start = m_at;
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

    // `<?xml` S version="1.0" (S encoding="UTF-8")? (S standalone="yes|no")? S? `?>`: in
    // that order, as XML 1.0 has it.
    bool declaration()
    {
        const std::size_t start = m_at;
        m_at += 5;
        const char* const keys[] = {"version", "encoding", "standalone"};
        std::size_t next = 0; // the first key still allowed
        for (;;) {
            const std::size_t before = m_at;
            skipSpace();
            if (startsWith("?>")) {
                m_at += 2;
                break;
            }
            if (m_at == before)
                return malformed("white space expected in the XML declaration");
            std::string_view key;
            std::string_view value;
            if (!attribute(key, value))
                return false;
            std::size_t index = 0;
            while (index < 3 && key != keys[index])
                ++index;
            const bool supported = (index == 0 && value == "1.0") ||
                (index == 1 && equalsIgnoringCase(value, "UTF-8")) ||
                (index == 2 && (value == "yes" || value == "no"));
            if (!supported)
                return failureAt(start, "unsupported XML declaration " + std::string(key) + "=" +
                                 quoted(value) + " (expected XML 1.0 in UTF-8)");
            if (index < next || (index > 0 && next == 0))
                return failureAt(start, "the XML declaration must name its version first, then "
                                        "encoding and standalone, each once");
            next = index + 1;
        }
        if (next == 0)
            return failureAt(start, "the XML declaration lacks its version");
        return true;
    }

    // Name: up to white space or the characters that end or split a tag.
    std::string_view markupName()
    {
        static const auto ends = [] {
            std::array<bool, 256> table{};
            for (const unsigned char c : std::string_view(" \t\r\n>/=<\"'&?"))
                table[c] = true;
            return table;
        }();
        const std::size_t start = m_at;
        do {
            while (m_at < m_in.size() && !ends[static_cast<unsigned char>(m_in[m_at])])
                ++m_at;
        } while (m_at == m_in.size() && needMore(m_at + 1));
        return m_in.substr(start, m_at - start);
    }

    // name S? '=' S? quoted value
    bool attribute(std::string_view& name, std::string_view& raw)
    {
        name = markupName();
        if (name.empty())
            return malformed("attribute name expected");
        skipSpace();
        if (!expect('=', "'=' expected after an attribute name"))
            return false;
        skipSpace();
        if (!need(m_at + 1) || (m_in[m_at] != '"' && m_in[m_at] != '\''))
            return malformed("quoted attribute value expected");
        const char quote = m_in[m_at++];
        const std::size_t end = find(quote, m_at);
        if (end == std::string_view::npos) {
            m_at = m_in.size();
            return malformed("unterminated attribute value");
        }
        raw = m_in.substr(m_at, end - m_at);
        m_at = end + 1;
        return true;
    }

    // After '<': the element's name.
    bool startTagName(std::string_view& name)
    {
        ++m_at;
        name = markupName();
        if (!need(m_at + 1))
            return malformed("unterminated start tag");
        if (name.empty())
            return malformed("element name expected");
        return true;
    }

    // The attributes up to '>' or "/>"; each must be in `allowed`, once.
    bool attributes(std::size_t start, std::string_view element,
                    std::initializer_list<std::string_view> allowed, bool& empty)
    {
        m_attributes.clear();
        for (;;) {
            const std::size_t before = m_at;
            skipSpace();
            if (startsWith("/>")) {
                m_at += 2;
                empty = true;
                return true;
            }
            if (startsWith(">")) {
                ++m_at;
                empty = false;
                return true;
            }
            if (!need(m_at + 1))
                return malformed("unterminated start tag");
            if (m_at == before)
                return malformed("white space expected between attributes");
            Attribute a;
            if (!attribute(a.name, a.raw))
                return false;
            const bool known = std::find(allowed.begin(), allowed.end(), a.name) != allowed.end();
            if (!known)
                return failureAt(start, "unexpected attribute \"" + std::string(a.name) + "\" on " +
                                 tagName(element));
            for (const Attribute& b : m_attributes) {
                if (b.name == a.name)
                    return failureAt(start, "attribute \"" + std::string(a.name) + "\" repeated on " +
                                     tagName(element));
            }
            m_attributes.push_back(a);
        }
    }

    const Attribute* findAttribute(std::string_view name) const
    {
        for (const Attribute& a : m_attributes) {
            if (a.name == name)
                return &a;
        }
        return nullptr;
    }

    // An attribute's text with references resolved; a view of the file where there are none.
    bool attributeText(std::size_t start, std::string_view element, const Attribute& a,
                       std::string_view& text, std::string& storage)
    {
        const bool plain = std::none_of(a.raw.begin(), a.raw.end(), [](char c) {
            return c == '&' || c == '<' || c == '\t' || c == '\n' || c == '\r';
        });
        if (plain) {
            text = a.raw;
            return true;
        }
        std::string reason;
        if (!decodeMarkupText(normalizedLineEnds(a.raw, true), MarkupContext::AttributeValue,
                              storage, reason))
            return failureAt(start, "attribute \"" + std::string(a.name) + "\" of " + tagName(element) +
                             ": " + reason);
        text = storage;
        return true;
    }

    // A byte string stored under `plain` as text or under `base64Name` in base64.
    bool optionalBytes(std::size_t start, std::string_view element, std::string_view plain,
                       std::string_view base64Name, std::optional<std::string>& bytes)
    {
        const Attribute* plainAttr = findAttribute(plain);
        const Attribute* base64Attr = findAttribute(base64Name);
        if (plainAttr && base64Attr)
            return failureAt(start, tagName(element) + " has both \"" + std::string(plain) + "\" and \"" +
                             std::string(base64Name) + "\"");
        std::string_view text;
        std::string storage;
        if (plainAttr) {
            if (!attributeText(start, element, *plainAttr, text, storage))
                return false;
            bytes = std::string(text);
        } else if (base64Attr) {
            if (!attributeText(start, element, *base64Attr, text, storage))
                return false;
            std::string decoded;
            if (!decodeBase64(text, decoded))
                return failureAt(start, "attribute \"" + std::string(base64Name) + "\" of " +
                                 tagName(element) + " is not valid base64");
            bytes = std::move(decoded);
        }
        return true;
    }

    // `what` names the number in the error text; called only on failure.
    template <typename What>
    bool checkInt(std::size_t start, What&& what, std::string_view text, int& value)
    {
        bool outOfRange = false;
        if (parseInt32(text, value, outOfRange))
            return true;
        return failureAt(start, std::string(what()) + " " + quoted(text) +
                         (outOfRange ? " is outside the signed 32-bit range" : " is not a decimal number"));
    }

    bool optionalInt(std::size_t start, std::string_view element, std::string_view name, std::optional<int>& value)
    {
        const Attribute* a = findAttribute(name);
        if (a == nullptr)
            return true;
        std::string_view text;
        std::string storage;
        int number = 0;
        if (!attributeText(start, element, *a, text, storage) ||
            !checkInt(start, [&] { return "attribute \"" + std::string(name) + "\" of " + tagName(element); },
                      text, number))
            return false;
        value = number;
        return true;
    }

    bool requiredInt(std::size_t start, std::string_view element, std::string_view name, int& value)
    {
        std::optional<int> found;
        if (!optionalInt(start, element, name, found))
            return false;
        if (!found)
            return failureAt(start, tagName(element) + " lacks its \"" + std::string(name) + "\" attribute");
        value = *found;
        return true;
    }

    // After a start tag's '>': the matching end tag `</name S?>`.
    bool endTag(std::string_view name)
    {
        m_at += 2;
        const std::string_view closing = markupName();
        if (!need(m_at + 1))
            return malformed("unterminated end tag");
        if (closing != name) {
            m_at -= closing.size() + 2;
            return malformed("end tag </" + std::string(closing) + "> does not match " + tagName(name));
        }
        skipSpace();
        return expect('>', "'>' expected to close an end tag");
    }

    // Inside a structural element: white space up to the next tag. False at text, an end
    // of file, or markup that is refused.
    bool nextTag(std::string_view parent)
    {
        skipSpace();
        if (!need(m_at + 1))
            return malformed("end tag </" + std::string(parent) + "> expected");
        if (m_in[m_at] != '<')
            return failureAt(m_at, "unexpected text inside " + tagName(parent));
        return refuseSpecialMarkup();
    }

    bool message(std::size_t start)
    {
        bool empty = false;
        if (!attributes(start, name::message, {attr::format, attr::kind}, empty))
            return false;
        const Attribute* format = findAttribute(attr::format);
        if (format == nullptr)
            return failureAt(start, "<message> lacks its \"format\" attribute");
        if (format->raw != kFormatVersion)
            return failureAt(start, "unsupported format " + quoted(format->raw) +
                             " (this reader knows format " + std::string(kFormatVersion) + ")");
        int kind = 0;
        if (!requiredInt(start, name::message, attr::kind, kind))
            return false;
        m_document.setKind(kind);
        if (empty)
            return true;
        for (;;) {
            releaseBefore(m_at);
            if (!nextTag(name::message))
                return false;
            if (startsWith("</"))
                return endTag(name::message);
            const std::size_t childStart = m_at;
            std::string_view childName;
            if (!startTagName(childName))
                return false;
            if (childName != name::element)
                return failureAt(childStart, "unexpected " + tagName(childName) + " inside <message>");
            if (!element(childStart, KXLDocument::kRoot, 1))
                return false;
        }
    }

    bool element(std::size_t start, KXLDocument::NodeId parent, int depth)
    {
        if (depth > kMaxElementDepth)
            return failureAt(start, "elements nest deeper than " + std::to_string(kMaxElementDepth));
        bool empty = false;
        if (!attributes(start, name::element, {attr::tag, attr::ns, attr::nsBase64, attr::nsid,
                            attr::typeNamespace, attr::typeNamespaceBase64, attr::type, attr::typeBase64,
                            attr::typeNsid, attr::typeId, attr::itemNsType},
                        empty))
            return false;
        int tag = 0;
        if (!requiredInt(start, name::element, attr::tag, tag))
            return false;
        if (tag <= 0)
            return failureAt(start, "element tag " + std::to_string(tag) + " is not positive");
        KXLStamps stamps;
        if (m_attributes.size() > 1 && !readStamps(start, stamps))
            return false;
        const KXLDocument::NodeId node = m_document.appendElement(parent, tag);
        if (!stamps.empty())
            m_document.stamps(node) = std::move(stamps);
        return empty || content(node, depth);
    }

    // After an element's start tag: its children and its end tag.
    bool content(KXLDocument::NodeId node, int depth)
    {
        bool valueAllowed = true;
        for (;;) {
            releaseBefore(m_at);
            if (!nextTag(name::element))
                return false;
            switch (quickChild(node, depth, valueAllowed)) {
            case Quick::Ended: return true;
            case Quick::Read: valueAllowed = false; continue;
            case Quick::Failed: return false;
            case Quick::NotTaken: break;
            }
            if (startsWith("</"))
                return endTag(name::element);
            const std::size_t childStart = m_at;
            std::string_view childName;
            if (!startTagName(childName))
                return false;
            if (childName == name::string || childName == name::integer) {
                if (!valueAllowed)
                    return failureAt(childStart, "a value of <element> must be its first child and come only once");
                if (!value(childStart, childName, node))
                    return false;
            } else if (childName == name::named) {
                if (!named(childStart, node))
                    return false;
            } else if (childName == name::element) {
                if (!element(childStart, node, depth + 1))
                    return false;
            } else {
                return failureAt(childStart, "unexpected " + tagName(childName) + " inside <element>");
            }
            valueAllowed = false;
        }
    }

    enum class Quick { NotTaken, Read, Ended, Failed };

    // The children the writer produces, in exactly its spelling, read without the general
    // machinery: `</element>`, `<element tag="N">` (or `/>`), `<int>N</int>`,
    // `<string>text</string>` and `<named name="text">N</named>` with plain texts. Anything
    // else, or anything wrong, is left to the general path, which accepts the same and
    // explains the rest. At a '<'; the position moves only when the child was taken.
    Quick quickChild(KXLDocument::NodeId parent, int depth, bool valueAllowed)
    {
        const std::size_t start = m_at;
        const auto taken = [&](bool read) {
            if (!read)
                m_at = start;
            return read;
        };
        if (!need(m_at + 2))
            return Quick::NotTaken;
        const char second = m_in[m_at + 1]; // tells the candidates apart
        if (second == '/' && consume("</element>"))
            return Quick::Ended;
        if (second == 'e' && consume("<element tag=\"")) {
            int tag = 0;
            bool empty = false;
            if (!taken(quickNumber('"', tag) && tag > 0 && depth < kMaxElementDepth &&
                       (consume("\">") || (consume("\"/>") && (empty = true)))))
                return Quick::NotTaken;
            const KXLDocument::NodeId node = m_document.appendElement(parent, tag);
            return empty || content(node, depth + 1) ? Quick::Read : Quick::Failed;
        }
        if (second == 'i' && valueAllowed && consume("<int>")) {
            int number = 0;
            if (!taken(quickNumber('<', number) && consume("</int>")))
                return Quick::NotTaken;
            m_document.setInt(parent, number);
            return Quick::Read;
        }
        if (second == 's' && valueAllowed && consume("<string>")) {
            std::string_view text;
            if (!taken(quickText('<', false, text) && consume("</string>")))
                return Quick::NotTaken;
            m_document.setText(parent, text);
            return Quick::Read;
        }
        if (second == 'n' && consume("<named name=\"")) {
            std::string_view name;
            int number = 0;
            if (!taken(quickText('"', true, name) && !name.empty() && consume("\">") &&
                       quickNumber('<', number) && consume("</named>")))
                return Quick::NotTaken;
            m_document.appendNamed(parent, name, number);
            return Quick::Read;
        }
        return Quick::NotTaken;
    }

    // Its length known when compiled, the comparison is a few instructions, not a call.
    template <std::size_t N>
    bool consume(const char (&literal)[N])
    {
        constexpr std::size_t length = N - 1;
        if (!need(m_at + length) || std::memcmp(m_in.data() + m_at, literal, length) != 0)
            return false;
        m_at += length;
        return true;
    }

    // A canonical decimal up to `end`, which is not consumed; a number cut by the end of
    // what is read so far goes the general way.
    bool quickNumber(char end, int& value)
    {
        std::size_t at = m_at + (m_at < m_in.size() && m_in[m_at] == '-' ? 1 : 0);
        while (at < m_in.size() && at - m_at < 12 && m_in[at] >= '0' && m_in[at] <= '9')
            ++at;
        bool outOfRange = false;
        if (at == m_in.size() || m_in[at] != end ||
            !parseInt32(m_in.substr(m_at, at - m_at), value, outOfRange))
            return false;
        m_at = at;
        return true;
    }

    // Text up to `end` that needs no resolving or normalizing: no reference, no CR, and in
    // an attribute value no other white space than the space, in content no "]]>"; `end` is
    // not consumed. One pass: the scan stops at the end or at the first byte that needs the
    // general path.
    bool quickText(char end, bool inAttribute, std::string_view& text)
    {
        static const auto stops = [] {
            std::array<std::array<bool, 256>, 2> table{};
            for (const unsigned char c : std::string_view("<&\r]"))
                table[0][c] = true;
            for (const unsigned char c : std::string_view("\"&\r<\t\n"))
                table[1][c] = true;
            return table;
        }();
        const std::array<bool, 256>& stop = stops[inAttribute ? 1 : 0];
        std::size_t at = m_at;
        for (;;) {
            while (at < m_in.size() && !stop[static_cast<unsigned char>(m_in[at])])
                ++at;
            if (at < m_in.size() || !need(at + 1))
                break;
        }
        if (at >= m_in.size() || m_in[at] != end)
            return false;
        text = m_in.substr(m_at, at - m_at);
        m_at = at;
        return true;
    }

    bool readStamps(std::size_t start, KXLStamps& stamps)
    {
        const std::string_view element = name::element;
        if (!optionalBytes(start, element, attr::ns, attr::nsBase64, stamps.ns) ||
            !optionalInt(start, element, attr::nsid, stamps.nsid))
            return false;
        if (stamps.ns && stamps.ns->empty())
            return failureAt(start, "empty \"namespace\" attribute");
        if (stamps.nsid && *stamps.nsid == 0)
            return failureAt(start, "\"nsid\" 0 (no namespace) is written by leaving the attribute out");

        std::optional<std::string> typeNamespace;
        std::optional<std::string> type;
        if (!optionalBytes(start, element, attr::typeNamespace, attr::typeNamespaceBase64, typeNamespace) ||
            !optionalBytes(start, element, attr::type, attr::typeBase64, type))
            return false;
        if (typeNamespace.has_value() != type.has_value())
            return failureAt(start, "\"type-namespace\" and \"type\" come only together");
        if (type && type->empty())
            return failureAt(start, "empty \"type\" attribute");
        if (type)
            stamps.type.emplace(std::move(*typeNamespace), std::move(*type));

        std::optional<int> typeNsid;
        std::optional<int> typeId;
        if (!optionalInt(start, element, attr::typeNsid, typeNsid) ||
            !optionalInt(start, element, attr::typeId, typeId))
            return false;
        if (typeNsid.has_value() != typeId.has_value())
            return failureAt(start, "\"type-nsid\" and \"typeid\" come only together");
        if (typeId)
            stamps.typeId.emplace(*typeNsid, *typeId);

        return optionalInt(start, element, attr::itemNsType, stamps.itemNSType);
    }

    // After a leaf's start tag: its character data and CDATA up to the end tag, references
    // resolved. A view of the file when it needs no change, else in `m_scratch`.
    bool leafText(std::string_view name, bool empty, std::string_view& text)
    {
        text = {};
        if (empty)
            return true;
        m_scratch.clear();
        bool copied = false;
        for (;;) {
            const std::size_t lt = find('<', m_at);
            if (lt == std::string_view::npos) {
                m_at = m_in.size();
                return malformed("end tag </" + std::string(name) + "> expected");
            }
            const std::string_view raw = m_in.substr(m_at, lt - m_at);
            const bool plain = std::none_of(raw.begin(), raw.end(),
                [](char c) { return c == '&' || c == '\r' || c == ']'; });
            if (!copied && plain && startsWithAt(lt, "</")) {
                text = raw; // the common case: one run of plain text
                m_at = lt;
                break;
            }
            if (!copied) {
                m_scratch.assign(text);
                copied = true;
            }
            if (!raw.empty()) {
                std::string piece;
                std::string reason;
                if (!decodeMarkupText(normalizedLineEnds(raw, false), MarkupContext::Content, piece, reason))
                    return failureAt(m_at, "in " + tagName(name) + ": " + reason);
                m_scratch += piece;
            }
            m_at = lt;
            if (startsWith("<![CDATA[")) {
                const std::size_t end = find("]]>", m_at + 9);
                if (end == std::string_view::npos) {
                    m_at = m_in.size();
                    return malformed("unterminated CDATA section");
                }
                m_scratch += normalizedLineEnds(m_in.substr(m_at + 9, end - m_at - 9), false);
                m_at = end + 3;
                continue;
            }
            if (startsWith("</"))
                break;
            if (!refuseSpecialMarkup())
                return false;
            const std::size_t childStart = m_at;
            std::string_view childName;
            if (!startTagName(childName))
                return false;
            return failureAt(childStart, "unexpected " + tagName(childName) + " inside " + tagName(name));
        }
        if (copied)
            text = m_scratch;
        return endTag(name);
    }

    bool startsWithAt(std::size_t at, std::string_view text)
    {
        return need(at + text.size()) && m_in.substr(at, text.size()) == text;
    }

    bool value(std::size_t start, std::string_view name, KXLDocument::NodeId node)
    {
        const bool isString = name == name::string;
        bool empty = false;
        if (!(isString ? attributes(start, name, {attr::encoding}, empty) : attributes(start, name, {}, empty)))
            return false;
        const Attribute* encoding = findAttribute(attr::encoding);
        std::string_view text;
        if (!leafText(name, empty, text))
            return false;
        if (!isString) {
            int number = 0;
            if (!checkInt(start, [] { return "<int> value"; }, text, number))
                return false;
            m_document.setInt(node, number);
            return true;
        }
        if (encoding == nullptr) {
            m_document.setText(node, text);
            return true;
        }
        if (encoding->raw != attr::base64)
            return failureAt(start, "unknown encoding " + quoted(encoding->raw) + " of <string>");
        std::string decoded;
        if (!decodeBase64(text, decoded))
            return failureAt(start, "<string> is not valid base64");
        m_document.setText(node, decoded);
        return true;
    }

    bool named(std::size_t start, KXLDocument::NodeId parent)
    {
        bool empty = false;
        if (!attributes(start, name::named, {attr::name, attr::nameBase64}, empty))
            return false;
        std::string_view name;
        std::string storage;
        if (const Attribute* plain = findAttribute(attr::name)) {
            if (findAttribute(attr::nameBase64) != nullptr)
                return failureAt(start, "<named> has both \"name\" and \"name-base64\"");
            if (!attributeText(start, name::named, *plain, name, storage))
                return false;
        } else {
            std::optional<std::string> decoded;
            if (!optionalBytes(start, name::named, attr::name, attr::nameBase64, decoded))
                return false;
            storage = decoded.value_or(std::string());
            name = storage;
        }
        if (name.empty())
            return failureAt(start, "<named> needs a non-empty name");
        std::string_view text;
        int number = 0;
        if (!leafText(name::named, empty, text) ||
            !checkInt(start, [&] { return "value of <named> " + quoted(name); }, text, number))
            return false;
        m_document.appendNamed(parent, name, number);
        return true;
    }
};

} // namespace

bool readVoc(std::string_view bytes, KXLDocument& document, std::string& error)
{
    error.clear();
    return Reader(bytes, document, error).read();
}

bool readVoc(FileWindow& file, KXLDocument& document, std::string& error)
{
    error.clear();
    return Reader(file, document, error).read();
}

} // namespace KXL::voc
