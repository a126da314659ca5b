// The .voc reader in three parts: the input (file_window.h), an XML scanner (xml_scanner.h)
// and, here, the format's grammar, which builds the compact tree as it goes. A general XML
// parser would build a DOM of about 30 times the file's size first; the format is small and
// fixed, so the scan checks exactly what it needs: well-formed XML 1.0 without DOCTYPE,
// comments or processing instructions (format 1 files hold none), and the format's own rules.
#include "voc_reader.h"

#include <charconv>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include <strings.h>

#include "base64.h"
#include "common/plain_decimal.h"
#include "voc_format.h"
#include "voc_read_failure.h"
#include "xml_scanner.h"
#include "xml_text.h"

namespace KXL::voc {

namespace {

// Why `text` is not a plain decimal in the signed 32-bit range; nullptr when it is one, then
// stored in `value`.
const char* intError(std::string_view text, int& value)
{
    if (!isPlainDecimal(text))
        return " is not a decimal number";
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc())
        return " is outside the signed 32-bit range";
    return nullptr;
}

struct Attribute {
    std::string_view known; // the allowed name it has; empty for another
    std::size_t nameAt;
    std::size_t nameSize;
    std::size_t rawAt; // the value between the quotes, unresolved
    std::size_t rawSize;
    bool plain;
};

// The format: <message> holding <element>s, each with an optional value, named values and
// child elements. Views of attributes are taken where they are used: the scanner may have
// moved the window since the start tag was read.
class Grammar {
public:
    Grammar(FileWindow& input, KXLDocument& document, std::string& error)
        : m_input(input), m_in(input, error), m_document(document)
    {
    }

    bool read()
    {
        const bool parsed = parse();
        // A read error outranks the grammar's verdict, even a success, since the scan may
        // have stopped on it (after the root element, it looks like the end of the file).
        if (!m_input.readError().empty())
            return m_in.failure(m_input.readError());
        return parsed;
    }

private:
    FileWindow& m_input;
    XmlScanner m_in;
    KXLDocument& m_document;
    std::vector<Attribute> m_attributes; // of the start tag being read

    bool parse()
    {
        if (!m_in.need(1))
            return m_in.failure(std::string(kEmptyFile));
        if (m_in.startsWith("\xEF\xBB\xBF"))
            m_in.at = 3;
        if (m_in.startsDeclaration() && !declaration())
            return false;
        bool seenMessage = false;
        for (;;) {
            m_in.skipSpace(true);
            if (!m_in.need(m_in.at + 1))
                break;
            const std::size_t start = m_in.at;
            if (m_in[start] != '<')
                return m_in.failureAt(start, "text outside the <message> element");
            if (!m_in.refuseSpecialMarkup())
                return false;
            if (seenMessage)
                return m_in.failureAt(start, "more than one top-level element");
            ++m_in.at;
            if (!m_in.consumeName(name::kMessage))
                return unexpectedTag(start, "the top-level element is ", ", expected <message>");
            if (!message(start))
                return false;
            seenMessage = true;
        }
        if (!seenMessage)
            return m_in.failure(std::string(kNoMessage));
        return true;
    }

    std::string_view nameOf(const Attribute& a) const { return m_in.view(a.nameAt, a.nameSize); }
    std::string_view rawOf(const Attribute& a) const { return m_in.view(a.rawAt, a.rawSize); }

    // name S? '=' S? quoted value
    // Appended to m_attributes, built in locals and stored once: a copy read back right
    // after it was written stalls.
    bool attribute(std::initializer_list<std::string_view> allowed)
    {
        const std::size_t start = m_in.at;
        std::string_view known;
        for (const std::string_view candidate : allowed) {
            if (m_in.consumeName(candidate)) {
                known = candidate;
                break;
            }
        }
        std::string_view name = known;
        if (name.empty() && !m_in.name(name))
            return false;
        if (name.empty())
            return m_in.malformed("attribute name expected");
        m_in.skipSpace();
        if (!m_in.expect('=', "'=' expected after an attribute name"))
            return false;
        m_in.skipSpace();
        if (!m_in.need(m_in.at + 1) || (m_in[m_in.at] != '"' && m_in[m_in.at] != '\''))
            return m_in.malformed("quoted attribute value expected");
        const char quote = m_in[m_in.at++];
        std::size_t raw = 0;
        std::size_t end = 0;
        bool plain = true;
        if (!m_in.quotedValue(quote, raw, end, plain))
            return false;
        m_attributes.push_back(Attribute{known, start, name.size(), raw, end - raw, plain});
        return true;
    }

    // `<?xml` S version="1.0" (S encoding="UTF-8")? (S standalone="yes|no")? S? `?>`: in
    // that order, as XML 1.0 has it.
    bool declaration()
    {
        const std::size_t start = m_in.at;
        m_in.at += std::string_view("<?xml").size();
        const std::string_view keys[] = {"version", "encoding", "standalone"};
        constexpr std::string_view kUtf8 = "UTF-8"; // in any case
        std::size_t next = 0; // the first key still allowed
        for (;;) {
            const std::size_t before = m_in.at;
            m_in.skipSpace();
            if (m_in.startsWith("?>")) {
                m_in.at += 2;
                break;
            }
            if (m_in.at == before)
                return m_in.malformed("white space expected in the XML declaration");
            m_attributes.clear();
            if (!attribute({}))
                return false;
            const std::string_view key = nameOf(m_attributes[0]);
            const std::string_view value = rawOf(m_attributes[0]);
            std::size_t index = 0;
            while (index < std::size(keys) && key != keys[index])
                ++index;
            const bool supported = (index == 0 && value == "1.0") ||
                (index == 1 && value.size() == kUtf8.size() &&
                 ::strncasecmp(value.data(), kUtf8.data(), kUtf8.size()) == 0) ||
                (index == 2 && (value == "yes" || value == "no"));
            if (!supported)
                return m_in.failureAt(start, "unsupported XML declaration " + shownName(key) + "=" +
                                      quoted(value) + " (expected XML 1.0 in UTF-8)");
            if (index < next || (index > 0 && next == 0))
                return m_in.failureAt(start, "the XML declaration must name its version first, then "
                                             "encoding and standalone, each once");
            next = index + 1;
        }
        if (next == 0)
            return m_in.failureAt(start, "the XML declaration lacks its version");
        return true;
    }

    // After '<', a name the grammar did not expect: refused, named between `before` and `after`.
    bool unexpectedTag(std::size_t start, std::string_view before, std::string_view after)
    {
        std::string_view name;
        if (!m_in.name(name))
            return false;
        if (!m_in.need(m_in.at + 1))
            return m_in.malformed("unterminated start tag");
        if (name.empty())
            return m_in.malformed("element name expected");
        return m_in.failureAt(start, std::string(before) + tagName(name) + std::string(after));
    }

    // The attributes up to '>' or "/>"; each must be in `allowed`, once.
    bool attributes(std::size_t start, std::string_view element, std::initializer_list<std::string_view> allowed,
                    bool& empty)
    {
        m_attributes.clear();
        for (;;) {
            const std::size_t before = m_in.at;
            m_in.skipSpace();
            if (m_in.startsWith("/>")) {
                m_in.at += 2;
                empty = true;
                return true;
            }
            if (m_in.startsWith(">")) {
                ++m_in.at;
                empty = false;
                return true;
            }
            if (!m_in.need(m_in.at + 1))
                return m_in.malformed("unterminated start tag");
            if (m_in.at == before)
                return m_in.malformed("white space expected between attributes");
            if (!attribute(allowed))
                return false;
            const Attribute& a = m_attributes.back();
            const std::string_view name = nameOf(a);
            if (a.known.empty())
                return m_in.failureAt(start, "unexpected attribute " + quoted(name) + " on " + tagName(element));
            for (std::size_t i = 0; i + 1 < m_attributes.size(); ++i) {
                if (m_attributes[i].known == a.known)
                    return m_in.failureAt(start, "attribute " + quoted(name) + " repeated on " +
                                          tagName(element));
            }
        }
    }

    const Attribute* findAttribute(std::string_view name) const
    {
        for (const Attribute& a : m_attributes) {
            if (a.known == name)
                return &a;
        }
        return nullptr;
    }

    // An attribute's text with references resolved; a view of the input where there are none.
    bool attributeText(std::size_t start, std::string_view element, const Attribute& a, std::string_view& text,
                       std::string& storage)
    {
        const std::string_view raw = rawOf(a);
        if (a.plain) {
            text = raw;
            return true;
        }
        std::string reason;
        if (!decodeMarkupText(normalizedLineEnds(raw, true), MarkupContext::AttributeValue, storage, reason))
            return m_in.failureAt(start, "attribute \"" + std::string(nameOf(a)) + "\" of " + tagName(element) +
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
            return m_in.failureAt(start, tagName(element) + " has both \"" + std::string(plain) + "\" and \"" +
                                  std::string(base64Name) + "\"");
        const Attribute* a = plainAttr ? plainAttr : base64Attr;
        if (a == nullptr)
            return true;
        std::string_view text;
        std::string storage;
        if (!attributeText(start, element, *a, text, storage))
            return false;
        if (a == plainAttr)
            bytes.emplace(text);
        else if (!decodeBase64(text, bytes.emplace()))
            return m_in.failureAt(start, "attribute \"" + std::string(base64Name) + "\" of " + tagName(element) +
                                  " is not valid base64");
        return true;
    }

    bool optionalInt(std::size_t start, std::string_view element, std::string_view name, std::optional<int>& value)
    {
        const Attribute* a = findAttribute(name);
        if (a == nullptr)
            return true;
        std::string_view text;
        std::string storage;
        if (!attributeText(start, element, *a, text, storage))
            return false;
        if (const char* why = intError(text, value.emplace()))
            return m_in.failureAt(start, "attribute \"" + std::string(name) + "\" of " + tagName(element) + " " +
                                  quoted(text) + why);
        return true;
    }

    bool requiredInt(std::size_t start, std::string_view element, std::string_view name, int& value)
    {
        std::optional<int> found;
        if (!optionalInt(start, element, name, found))
            return false;
        if (!found)
            return m_in.failureAt(start, tagName(element) + " lacks its \"" + std::string(name) + "\" attribute");
        value = *found;
        return true;
    }

    // Inside a structural element: white space up to the next tag, whose start is marked.
    // False at text, an end of file, or markup that is refused.
    bool nextTag(std::string_view parent)
    {
        m_in.skipSpace(true);
        m_in.mark();
        if (!m_in.need(m_in.at + 1) || m_in[m_in.at] != '<')
            return noTag(parent);
        return m_in.refuseSpecialMarkup();
    }

    // Apart from nextTag, which runs once a child: its error texts would give every call a
    // frame of string temporaries.
    [[gnu::cold, gnu::noinline]] bool noTag(std::string_view parent)
    {
        if (!m_in.need(m_in.at + 1))
            return m_in.malformed("end tag </" + std::string(parent) + "> expected");
        return m_in.failureAt(m_in.at, "unexpected text inside " + tagName(parent));
    }

    bool message(std::size_t start)
    {
        bool empty = false;
        if (!attributes(start, name::kMessage, {attr::kFormat, attr::kKind}, empty))
            return false;
        const Attribute* format = findAttribute(attr::kFormat);
        if (format == nullptr)
            return m_in.failureAt(start, "<message> lacks its \"format\" attribute");
        if (rawOf(*format) != kVocFormatVersion)
            return m_in.failureAt(start, "unsupported format " + quoted(rawOf(*format)) + " (this reader knows format " +
                                  std::string(kVocFormatVersion) + ")");
        int kind = 0;
        if (!requiredInt(start, name::kMessage, attr::kKind, kind))
            return false;
        m_document.setKind(kind);
        if (empty)
            return true;
        for (;;) {
            if (!nextTag(name::kMessage))
                return false;
            if (m_in.startsWith("</"))
                return m_in.endTag(name::kMessage);
            const std::size_t childStart = m_in.at++;
            if (!m_in.consumeName(name::kElement))
                return unexpectedTag(childStart, "unexpected ", " inside <message>");
            if (!element(childStart, KXLDocument::kRoot, 1))
                return false;
        }
    }

    bool element(std::size_t start, KXLDocument::NodeId parent, int depth)
    {
        if (depth > kMaxElementDepth)
            return m_in.failureAt(start, "elements nest deeper than " + std::to_string(kMaxElementDepth));
        bool empty = false;
        if (!attributes(start, name::kElement,
                        {attr::kTag, attr::kNs, attr::kNsBase64, attr::kNsid, attr::kTypeNamespace, attr::kTypeNamespaceBase64,
                         attr::kType, attr::kTypeBase64, attr::kTypeNsid, attr::kTypeId, attr::kItemNsType},
                        empty))
            return false;
        int tag = 0;
        if (!requiredInt(start, name::kElement, attr::kTag, tag))
            return false;
        if (tag <= 0)
            return m_in.failureAt(start, "element tag " + std::to_string(tag) + " is not positive");
        KXLDocument::NodeId node = 0;
        // The tag is there, and any other attribute is a stamp: one attribute means no stamps.
        if (m_attributes.size() == 1) {
            node = m_document.appendElement(parent, tag);
        } else {
            KXLStamps stamps;
            if (!readStamps(start, stamps))
                return false;
            node = m_document.appendElement(parent, tag);
            m_document.setStamps(node, stamps);
        }
        return empty || content(node, depth);
    }

    // What reading at a child's place came to: a child read, the parent's end tag, a
    // failure, or (the quick path only) nothing taken, left to the productions.
    enum class ChildRead { NotTaken, Read, Ended, Failed };

    // After an element's start tag: its children and its end tag.
    bool content(KXLDocument::NodeId node, int depth)
    {
        for (bool valueAllowed = true;; valueAllowed = false) {
            if (!nextTag(name::kElement))
                return false;
            ChildRead child = writersChild(node, depth, valueAllowed);
            if (child == ChildRead::NotTaken)
                child = anyChild(node, depth, valueAllowed);
            if (child != ChildRead::Read)
                return child == ChildRead::Ended;
        }
    }

    // A child as the productions read it, or the end tag. Not inlined into content(), whose
    // every call would otherwise carry the frame of these error texts.
    [[gnu::noinline]] ChildRead anyChild(KXLDocument::NodeId node, int depth, bool valueAllowed)
    {
        const auto result = [](bool read) { return read ? ChildRead::Read : ChildRead::Failed; };
        if (m_in.startsWith("</"))
            return m_in.endTag(name::kElement) ? ChildRead::Ended : ChildRead::Failed;
        const std::size_t childStart = m_in.at++;
        if (m_in.consumeName(name::kElement))
            return result(element(childStart, node, depth + 1));
        if (m_in.consumeName(name::kNamed))
            return result(named(childStart, node));
        if (const bool isString = m_in.consumeName(name::kString); isString || m_in.consumeName(name::kInteger)) {
            if (!valueAllowed)
                return result(m_in.failureAt(childStart, "a value of <element> must be its first child and come only once"));
            return result(value(childStart, isString, node));
        }
        return result(unexpectedTag(childStart, "unexpected ", " inside <element>"));
    }

    // The children as the writer spells them, each matched as a whole: `</element>`,
    // `<element tag="N">` (or `/>`), `<int>N</int>`, `<string>text</string>` and
    // `<named name="text">N</named>`, with ASCII texts that need no resolving. Anything
    // else, or anything wrong, is left where it starts to the productions (anyChild), which
    // accept the same and explain the rest: a second path, kept for the speed that the
    // README's benchmark row "reader's quick path" measures.
    ChildRead writersChild(KXLDocument::NodeId parent, int depth, bool valueAllowed)
    {
        const std::size_t start = m_in.at;
        const auto taken = [&](bool read) {
            if (!read)
                m_in.at = start;
            return read;
        };
        if (!m_in.need(start + 2))
            return ChildRead::NotTaken;
        switch (m_in[start + 1]) {
        case '/':
            return m_in.consume("</element>") ? ChildRead::Ended : ChildRead::NotTaken;
        case 'e': {
            int tag = 0;
            bool empty = false;
            if (!taken(m_in.consume("<element tag=\"") && m_in.decimal('"', tag) && tag > 0 &&
                       depth < kMaxElementDepth && (m_in.consume("\">") || (m_in.consume("\"/>") && (empty = true)))))
                return ChildRead::NotTaken;
            const KXLDocument::NodeId node = m_document.appendElement(parent, tag);
            return empty || content(node, depth + 1) ? ChildRead::Read : ChildRead::Failed;
        }
        case 'i': {
            int value = 0;
            if (!taken(valueAllowed && m_in.consume("<int>") && m_in.decimal('<', value) && m_in.consume("</int>")))
                return ChildRead::NotTaken;
            m_document.setInt(parent, value);
            return ChildRead::Read;
        }
        case 's': {
            std::size_t end = 0;
            if (!taken(valueAllowed && m_in.consume("<string>") && m_in.plainRun(kTextStop, '<', end)))
                return ChildRead::NotTaken;
            const std::size_t text = m_in.at;
            m_in.at = end;
            if (!taken(m_in.consume("</string>")))
                return ChildRead::NotTaken;
            m_document.setText(parent, m_in.view(text, end - text));
            return ChildRead::Read;
        }
        case 'n': {
            std::size_t end = 0;
            int value = 0;
            if (!taken(m_in.consume("<named name=\"") && m_in.plainRun(kValueStop, '"', end) && end > m_in.at))
                return ChildRead::NotTaken;
            const std::size_t name = m_in.at;
            m_in.at = end;
            if (!taken(m_in.consume("\">") && m_in.decimal('<', value) && m_in.consume("</named>")))
                return ChildRead::NotTaken;
            m_document.appendNamed(parent, m_in.view(name, end - name), value);
            return ChildRead::Read;
        }
        default: return ChildRead::NotTaken;
        }
    }

    bool readStamps(std::size_t start, KXLStamps& stamps)
    {
        const std::string_view element = name::kElement;
        if (!optionalBytes(start, element, attr::kNs, attr::kNsBase64, stamps.ns) ||
            !optionalInt(start, element, attr::kNsid, stamps.nsid))
            return false;
        if (stamps.ns && stamps.ns->empty())
            return m_in.failureAt(start, "empty \"namespace\" attribute");
        if (stamps.nsid && *stamps.nsid == 0)
            return m_in.failureAt(start, "\"nsid\" 0 (no namespace) is written by leaving the attribute out");

        std::optional<std::string> typeNamespace;
        std::optional<std::string> type;
        if (!optionalBytes(start, element, attr::kTypeNamespace, attr::kTypeNamespaceBase64, typeNamespace) ||
            !optionalBytes(start, element, attr::kType, attr::kTypeBase64, type))
            return false;
        if (typeNamespace.has_value() != type.has_value())
            return m_in.failureAt(start, "\"type-namespace\" and \"type\" come only together");
        if (type && type->empty())
            return m_in.failureAt(start, "empty \"type\" attribute");
        if (type)
            stamps.type.emplace(std::move(*typeNamespace), std::move(*type));

        std::optional<int> typeNsid;
        std::optional<int> typeId;
        if (!optionalInt(start, element, attr::kTypeNsid, typeNsid) || !optionalInt(start, element, attr::kTypeId, typeId))
            return false;
        if (typeNsid.has_value() != typeId.has_value())
            return m_in.failureAt(start, "\"type-nsid\" and \"typeid\" come only together");
        if (typeId)
            stamps.typeId.emplace(*typeNsid, *typeId);

        return optionalInt(start, element, attr::kItemNsType, stamps.itemNSType);
    }

    bool value(std::size_t start, bool isString, KXLDocument::NodeId node)
    {
        const std::string_view name = isString ? name::kString : name::kInteger;
        bool empty = false;
        if (!(isString ? attributes(start, name, {attr::kEncoding}, empty) : attributes(start, name, {}, empty)))
            return false;
        const bool hasEncoding = findAttribute(attr::kEncoding) != nullptr;
        std::string_view text;
        if (!empty && !m_in.leafText(name, text))
            return false;
        if (!isString) {
            int number = 0;
            if (const char* why = intError(text, number))
                return m_in.failureAt(start, "<int> value " + quoted(text) + why);
            m_document.setInt(node, number);
            return true;
        }
        if (!hasEncoding) {
            m_document.setText(node, text);
            return true;
        }
        // Still in the window: the leaf's bytes from its start tag on are kept.
        const std::string_view encoding = rawOf(*findAttribute(attr::kEncoding));
        if (encoding != attr::kBase64)
            return m_in.failureAt(start, "unknown encoding " + quoted(encoding) + " of <string>");
        std::string decoded;
        if (!decodeBase64(text, decoded))
            return m_in.failureAt(start, "<string> is not valid base64");
        m_document.setText(node, decoded);
        return true;
    }

    bool named(std::size_t start, KXLDocument::NodeId parent)
    {
        bool empty = false;
        if (!attributes(start, name::kNamed, {attr::kName, attr::kNameBase64}, empty))
            return false;
        std::optional<std::string> valueName;
        if (!optionalBytes(start, name::kNamed, attr::kName, attr::kNameBase64, valueName))
            return false;
        if (!valueName || valueName->empty())
            return m_in.failureAt(start, "<named> needs a non-empty name");
        std::string_view text;
        int number = 0;
        if (!empty && !m_in.leafText(name::kNamed, text))
            return false;
        if (const char* why = intError(text, number))
            return m_in.failureAt(start, "value of <named> " + quoted(*valueName) + " " + quoted(text) + why);
        m_document.appendNamed(parent, *valueName, number);
        return true;
    }
};

} // namespace

bool readVoc(std::string_view bytes, KXLDocument& document, std::string& error)
{
    FileWindow input(bytes);
    return readVoc(input, document, error);
}

bool readVoc(FileWindow& file, KXLDocument& document, std::string& error)
{
    error.clear();
    return Grammar(file, document, error).read();
}

} // namespace KXL::voc
