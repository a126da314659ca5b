#include "vocReader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

#include <pugixml.hpp>

#include "base64.h"
#include "vocFormat.h"
#include "xmlText.h"

namespace KXL::voc {

namespace {

// Entity references are resolved by decodeMarkupText, which refuses undefined ones
// (pugixml would keep them as literal text). DOCTYPE is parsed only to be refused.
constexpr unsigned kParseOptions = pugi::parse_fragment | pugi::parse_cdata | pugi::parse_eol |
    pugi::parse_wconv_attribute | pugi::parse_ws_pcdata | pugi::parse_doctype |
    pugi::parse_declaration;

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBlank(const char* text)
{
    for (; *text != '\0'; ++text) {
        if (!isXmlSpace(*text))
            return false;
    }
    return true;
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

bool parseInt32(std::string_view text, int& value, bool& outOfRange)
{
    outOfRange = false;
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digits = text.substr(negative ? 1 : 0);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        outOfRange = true;
        return false;
    }
    return ec == std::errc() && end == text.data() + text.size();
}

std::string tagName(pugi::xml_node node)
{
    return '<' + std::string(node.name()) + '>';
}

class Reader {
public:
    Reader(std::string_view bytes, std::string& error) : m_bytes(bytes), m_error(error) {}

    bool read(KXLDocument& document)
    {
        if (m_bytes.empty())
            return failure("the file is empty");
        const std::size_t bad = findNonXmlText(m_bytes);
        if (bad != std::string_view::npos)
            return failure("line " + std::to_string(lineAt(bad)) +
                           ": bytes that are not UTF-8 or not XML 1.0 characters");

        pugi::xml_document xml;
        const pugi::xml_parse_result parsed =
            xml.load_buffer(m_bytes.data(), m_bytes.size(), kParseOptions, pugi::encoding_utf8);
        if (parsed.status == pugi::status_out_of_memory)
            throw std::bad_alloc();
        if (!parsed) {
            const std::size_t offset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(parsed.offset, 0));
            // Nothing closes after the error: the file stops inside the broken markup.
            if (m_bytes.find('>', offset) == std::string_view::npos)
                return failure(std::string("the file ends early (truncated?): ") + parsed.description());
            return failure("line " + std::to_string(lineAt(offset)) + ", column " +
                           std::to_string(columnAt(offset)) + ": not well-formed XML (" +
                           parsed.description() + ")");
        }

        pugi::xml_node message;
        return findMessage(xml, message) && readMessage(message, document);
    }

private:
    std::string_view m_bytes;
    std::string& m_error;

    bool failure(const std::string& text)
    {
        m_error = text;
        return false;
    }

    bool failureAt(pugi::xml_node node, const std::string& text)
    {
        const std::ptrdiff_t offset = node.offset_debug();
        if (offset < 0)
            return failure(text);
        return failure("line " + std::to_string(lineAt(static_cast<std::size_t>(offset))) + ": " + text);
    }

    std::size_t lineAt(std::size_t offset) const
    {
        const std::string_view before = m_bytes.substr(0, offset);
        return 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    }

    std::size_t columnAt(std::size_t offset) const
    {
        const std::size_t lineStart = m_bytes.rfind('\n', offset == 0 ? 0 : offset - 1);
        return lineStart == std::string_view::npos || offset == 0 ? offset + 1 : offset - lineStart;
    }

    bool findMessage(const pugi::xml_document& xml, pugi::xml_node& message)
    {
        bool first = true;
        for (pugi::xml_node child : xml.children()) {
            switch (child.type()) {
            case pugi::node_declaration:
                if (!first)
                    return failureAt(child, "the XML declaration must open the file");
                if (!checkDeclaration(child))
                    return false;
                break;
            case pugi::node_doctype:
                return failureAt(child, "DOCTYPE declarations are not allowed");
            case pugi::node_pcdata:
                if (!isBlank(child.value()))
                    return failureAt(child, "text outside the <message> element");
                break;
            case pugi::node_element:
                if (message)
                    return failureAt(child, "more than one top-level element");
                if (std::strcmp(child.name(), name::message) != 0)
                    return failureAt(child, "the top-level element is " + tagName(child) +
                                     ", expected <message>");
                message = child;
                break;
            default:
                return failureAt(child, "unexpected content outside the <message> element");
            }
            first = false;
        }
        if (!message)
            return failure("no <message> element");
        return true;
    }

    bool checkDeclaration(pugi::xml_node declaration)
    {
        for (pugi::xml_attribute a : declaration.attributes()) {
            const std::string_view key = a.name();
            const std::string_view value = a.value();
            if ((key == "version" && value != "1.0") ||
                (key == "encoding" && !equalsIgnoringCase(value, "UTF-8")) ||
                (key == "standalone" && value != "yes" && value != "no") ||
                (key != "version" && key != "encoding" && key != "standalone"))
                return failureAt(declaration, "unsupported XML declaration " + std::string(key) +
                                 "=" + quoted(value) + " (expected XML 1.0 in UTF-8)");
        }
        return true;
    }

    // Every attribute of node is in `allowed` and appears once.
    bool checkAttributes(pugi::xml_node node, std::initializer_list<const char*> allowed)
    {
        for (pugi::xml_attribute a : node.attributes()) {
            const bool known = std::any_of(allowed.begin(), allowed.end(),
                [&](const char* name) { return std::strcmp(name, a.name()) == 0; });
            if (!known)
                return failureAt(node, "unexpected attribute \"" + std::string(a.name()) + "\" on " +
                                 tagName(node));
            for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute()) {
                if (std::strcmp(a.name(), b.name()) == 0)
                    return failureAt(node, "attribute \"" + std::string(a.name()) + "\" repeated on " +
                                     tagName(node));
            }
        }
        return true;
    }

    bool attributeText(pugi::xml_node node, pugi::xml_attribute a, std::string& text)
    {
        std::string reason;
        if (!decodeMarkupText(a.value(), MarkupContext::AttributeValue, text, reason))
            return failureAt(node, "attribute \"" + std::string(a.name()) + "\" of " +
                             tagName(node) + ": " + reason);
        return true;
    }

    // A byte string stored under `plain` as text or under `base64Name` in base64.
    bool optionalBytes(pugi::xml_node node, const char* plain, const char* base64Name,
                       std::optional<std::string>& bytes)
    {
        const pugi::xml_attribute plainAttr = node.attribute(plain);
        const pugi::xml_attribute base64Attr = node.attribute(base64Name);
        if (plainAttr && base64Attr)
            return failureAt(node, tagName(node) + " has both \"" + plain + "\" and \"" +
                             base64Name + "\"");
        std::string text;
        if (plainAttr) {
            if (!attributeText(node, plainAttr, text))
                return false;
            bytes = std::move(text);
        } else if (base64Attr) {
            if (!attributeText(node, base64Attr, text))
                return false;
            std::string decoded;
            if (!decodeBase64(text, decoded))
                return failureAt(node, "attribute \"" + std::string(base64Name) + "\" of " +
                                 tagName(node) + " is not valid base64");
            bytes = std::move(decoded);
        }
        return true;
    }

    bool checkInt(pugi::xml_node node, const std::string& what, const std::string& text, int& value)
    {
        bool outOfRange = false;
        if (parseInt32(text, value, outOfRange))
            return true;
        return failureAt(node, what + " " + quoted(text) +
                         (outOfRange ? " is outside the signed 32-bit range" : " is not a decimal number"));
    }

    bool optionalInt(pugi::xml_node node, const char* name, std::optional<int>& value)
    {
        const pugi::xml_attribute a = node.attribute(name);
        if (!a)
            return true;
        std::string text;
        int number = 0;
        if (!attributeText(node, a, text) ||
            !checkInt(node, "attribute \"" + std::string(name) + "\" of " + tagName(node), text, number))
            return false;
        value = number;
        return true;
    }

    bool requiredInt(pugi::xml_node node, const char* name, int& value)
    {
        std::optional<int> found;
        if (!optionalInt(node, name, found))
            return false;
        if (!found)
            return failureAt(node, tagName(node) + " lacks its \"" + name + "\" attribute");
        value = *found;
        return true;
    }

    // The text content of a leaf element: character data only.
    bool leafText(pugi::xml_node node, std::string& text)
    {
        text.clear();
        std::string piece;
        for (pugi::xml_node child : node.children()) {
            if (child.type() == pugi::node_cdata) {
                text += child.value();
            } else if (child.type() == pugi::node_pcdata) {
                std::string reason;
                if (!decodeMarkupText(child.value(), MarkupContext::Content, piece, reason))
                    return failureAt(child, "in " + tagName(node) + ": " + reason);
                text += piece;
            } else {
                return failureAt(child, "unexpected " + (child.type() == pugi::node_element
                        ? tagName(child) : std::string("content")) + " inside " + tagName(node));
            }
        }
        return true;
    }

    bool readMessage(pugi::xml_node message, KXLDocument& document)
    {
        if (!checkAttributes(message, {attr::format, attr::kind}))
            return false;
        const pugi::xml_attribute format = message.attribute(attr::format);
        if (!format)
            return failureAt(message, "<message> lacks its \"format\" attribute");
        if (std::strcmp(format.value(), kFormatVersion) != 0)
            return failureAt(message, "unsupported format " + quoted(format.value()) +
                             " (this reader knows format " + kFormatVersion + ")");
        if (!requiredInt(message, attr::kind, document.kind))
            return false;

        document.roots.clear();
        for (pugi::xml_node child : message.children()) {
            if (isFiller(child))
                continue;
            if (child.type() != pugi::node_element)
                return failureAt(child, "unexpected text inside <message>");
            if (std::strcmp(child.name(), name::element) != 0)
                return failureAt(child, "unexpected " + tagName(child) + " inside <message>");
            document.roots.emplace_back();
            if (!readElement(child, 1, document.roots.back()))
                return false;
        }
        return true;
    }

    // Whitespace between the children of a structural element: indentation, nothing else.
    static bool isFiller(pugi::xml_node child)
    {
        return child.type() == pugi::node_pcdata && isBlank(child.value());
    }

    bool readElement(pugi::xml_node xml, int depth, KXLNode& node)
    {
        if (depth > kMaxElementDepth)
            return failureAt(xml, "elements nest deeper than " + std::to_string(kMaxElementDepth));
        if (!checkAttributes(xml, {attr::tag, attr::ns, attr::nsBase64, attr::nsid, attr::typeNamespace,
                                   attr::typeNamespaceBase64, attr::type, attr::typeBase64,
                                   attr::typeNsid, attr::typeId, attr::itemNsType}))
            return false;
        node.kind = KXLNode::Kind::Element;
        if (!requiredInt(xml, attr::tag, node.tag))
            return false;
        if (node.tag <= 0)
            return failureAt(xml, "element tag " + std::to_string(node.tag) + " is not positive");
        if (!readStamps(xml, node.stamps))
            return false;

        bool valueAllowed = true;
        for (pugi::xml_node child : xml.children()) {
            if (isFiller(child))
                continue;
            if (child.type() != pugi::node_element)
                return failureAt(child, "unexpected text inside <element>");
            const std::string_view childName = child.name();
            if (childName == name::string || childName == name::integer) {
                if (!valueAllowed)
                    return failureAt(child, "a value of <element> must be its first child and come only once");
                if (!readValue(child, node.value))
                    return false;
            } else if (childName == name::named) {
                node.children.emplace_back();
                if (!readNamed(child, node.children.back()))
                    return false;
            } else if (childName == name::element) {
                node.children.emplace_back();
                if (!readElement(child, depth + 1, node.children.back()))
                    return false;
            } else {
                return failureAt(child, "unexpected " + tagName(child) + " inside <element>");
            }
            valueAllowed = false;
        }
        return true;
    }

    bool readStamps(pugi::xml_node xml, KXLStamps& stamps)
    {
        if (!optionalBytes(xml, attr::ns, attr::nsBase64, stamps.ns) || !optionalInt(xml, attr::nsid, stamps.nsid))
            return false;
        if (stamps.ns && stamps.ns->empty())
            return failureAt(xml, "empty \"namespace\" attribute");
        if (stamps.nsid && *stamps.nsid == 0)
            return failureAt(xml, "\"nsid\" 0 (no namespace) is written by leaving the attribute out");

        std::optional<std::string> typeNamespace;
        std::optional<std::string> type;
        if (!optionalBytes(xml, attr::typeNamespace, attr::typeNamespaceBase64, typeNamespace) ||
            !optionalBytes(xml, attr::type, attr::typeBase64, type))
            return false;
        if (typeNamespace.has_value() != type.has_value())
            return failureAt(xml, "\"type-namespace\" and \"type\" come only together");
        if (type && type->empty())
            return failureAt(xml, "empty \"type\" attribute");
        if (type)
            stamps.type.emplace(std::move(*typeNamespace), std::move(*type));

        std::optional<int> typeNsid;
        std::optional<int> typeId;
        if (!optionalInt(xml, attr::typeNsid, typeNsid) || !optionalInt(xml, attr::typeId, typeId))
            return false;
        if (typeNsid.has_value() != typeId.has_value())
            return failureAt(xml, "\"type-nsid\" and \"typeid\" come only together");
        if (typeId)
            stamps.typeId.emplace(*typeNsid, *typeId);

        return optionalInt(xml, attr::itemNsType, stamps.itemNSType);
    }

    bool readValue(pugi::xml_node xml, KXLValue& value)
    {
        const bool isString = std::strcmp(xml.name(), name::string) == 0;
        if (!checkAttributes(xml, isString ? std::initializer_list<const char*>{attr::encoding}
                                           : std::initializer_list<const char*>{}))
            return false;
        std::string text;
        if (!leafText(xml, text))
            return false;
        if (!isString) {
            value.kind = KXLValue::Kind::Int;
            return checkInt(xml, "<int> value", text, value.number);
        }
        value.kind = KXLValue::Kind::String;
        const pugi::xml_attribute encoding = xml.attribute(attr::encoding);
        if (!encoding) {
            value.text = std::move(text);
            return true;
        }
        if (std::strcmp(encoding.value(), attr::base64) != 0)
            return failureAt(xml, "unknown encoding " + quoted(encoding.value()) + " of <string>");
        if (!decodeBase64(text, value.text))
            return failureAt(xml, "<string> is not valid base64");
        return true;
    }

    bool readNamed(pugi::xml_node xml, KXLNode& node)
    {
        if (!checkAttributes(xml, {attr::name, attr::nameBase64}))
            return false;
        std::optional<std::string> name;
        if (!optionalBytes(xml, attr::name, attr::nameBase64, name))
            return false;
        if (!name || name->empty())
            return failureAt(xml, "<named> needs a non-empty name");
        node.kind = KXLNode::Kind::Named;
        node.name = std::move(*name);
        node.value.kind = KXLValue::Kind::Int;
        std::string text;
        return leafText(xml, text) && checkInt(xml, "value of <named> " + quoted(node.name), text, node.value.number);
    }
};

} // namespace

bool readVoc(std::string_view bytes, KXLDocument& document, std::string& error)
{
    error.clear();
    return Reader(bytes, error).read(document);
}

} // namespace KXL::voc
