#include "reference_voc_writer.h"

#include <pugixml.hpp>

namespace kxltest {

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const std::string& bytes)
{
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
            static_cast<unsigned char>(bytes[i + 1]) << 8 | static_cast<unsigned char>(bytes[i + 2]);
        out += {kBase64[v >> 18], kBase64[v >> 12 & 63], kBase64[v >> 6 & 63], kBase64[v & 63]};
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += {kBase64[v >> 18], kBase64[v >> 12 & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += {kBase64[v >> 18], kBase64[v >> 12 & 63], kBase64[v >> 6 & 63], '='};
    }
    return out;
}

// Valid UTF-8 of XML 1.0 characters without CR, the rule for plain text.
bool isPlain(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        unsigned c = 0;
        std::size_t n = 0;
        if (b < 0x80) { c = b; n = 1; }
        else if (b >= 0xC2 && b <= 0xDF) { c = b & 0x1F; n = 2; }
        else if (b >= 0xE0 && b <= 0xEF) { c = b & 0x0F; n = 3; }
        else if (b >= 0xF0 && b <= 0xF4) { c = b & 0x07; n = 4; }
        else return false;
        if (i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            c = c << 6 | (t & 0x3F);
        }
        const bool overlong = (n == 3 && c < 0x800) || (n == 4 && c < 0x10000);
        const bool xmlChar = c == 0x9 || c == 0xA || (c >= 0x20 && c <= 0xD7FF) ||
            (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
        if (overlong || !xmlChar)
            return false;
        i += n;
    }
    return true;
}

void attribute(pugi::xml_node node, const char* name, const std::string& value)
{
    node.append_attribute(name).set_value(value.c_str());
}

void textAttribute(pugi::xml_node node, const char* plain, const char* encoded, const std::string& bytes)
{
    if (isPlain(bytes))
        attribute(node, plain, bytes);
    else
        attribute(node, encoded, base64(bytes));
}

void text(pugi::xml_node node, const std::string& value)
{
    if (!value.empty())
        node.append_child(pugi::node_pcdata).set_value(value.c_str());
}

void append(pugi::xml_node parent, KXL::KXLNodeRef node)
{
    if (node.isNamed()) {
        pugi::xml_node named = parent.append_child("named");
        textAttribute(named, "name", "name-base64", std::string(node.name()));
        text(named, std::to_string(node.number()));
        return;
    }
    pugi::xml_node element = parent.append_child("element");
    attribute(element, "tag", std::to_string(node.tag()));
    const KXL::KXLStamps s = node.stamps().value_or(KXL::KXLStamps());
    if (s.ns)
        textAttribute(element, "namespace", "namespace-base64", *s.ns);
    if (s.nsid)
        attribute(element, "nsid", std::to_string(*s.nsid));
    if (s.type) {
        textAttribute(element, "type-namespace", "type-namespace-base64", s.type->first);
        textAttribute(element, "type", "type-base64", s.type->second);
    }
    if (s.typeId) {
        attribute(element, "type-nsid", std::to_string(s.typeId->first));
        attribute(element, "typeid", std::to_string(s.typeId->second));
    }
    if (s.itemNSType)
        attribute(element, "item-ns-type", std::to_string(*s.itemNSType));
    if (node.valueKind() == KXL::KXLValueKind::Int) {
        text(element.append_child("int"), std::to_string(node.number()));
    } else if (node.valueKind() == KXL::KXLValueKind::String) {
        const std::string value(node.text());
        pugi::xml_node string = element.append_child("string");
        if (isPlain(value)) {
            text(string, value);
        } else {
            attribute(string, "encoding", "base64");
            text(string, base64(value));
        }
    }
    for (KXL::KXLNodeRef child : node.children())
        append(element, child);
}

struct StringWriter : pugi::xml_writer {
    std::string bytes;
    void write(const void* data, size_t size) override { bytes.append(static_cast<const char*>(data), size); }
};

} // namespace

std::string referenceVoc(const KXL::KXLDocument& document)
{
    pugi::xml_document xml;
    pugi::xml_node declaration = xml.append_child(pugi::node_declaration);
    attribute(declaration, "version", "1.0");
    attribute(declaration, "encoding", "UTF-8");
    pugi::xml_node message = xml.append_child("message");
    attribute(message, "format", "1");
    attribute(message, "kind", std::to_string(document.kind()));
    for (KXL::KXLNodeRef root : document.roots())
        append(message, root);
    StringWriter writer;
    xml.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
    return writer.bytes;
}

} // namespace kxltest
