#include "vocWriter.h"

#include <new>
#include <optional>

#include <pugixml.hpp>

#include "base64.h"
#include "vocFormat.h"
#include "xmlText.h"

namespace KXL::voc {

namespace {

// pugixml reports a failed allocation while building by returning empty handles.
pugi::xml_node checked(pugi::xml_node node)
{
    if (!node)
        throw std::bad_alloc();
    return node;
}

void check(bool done)
{
    if (!done)
        throw std::bad_alloc();
}

void setAttribute(pugi::xml_node node, const char* name, const std::string& value)
{
    check(node.append_attribute(name).set_value(value.c_str()));
}

void setAttribute(pugi::xml_node node, const char* name, int value)
{
    setAttribute(node, name, std::to_string(value));
}

// Plain text when it survives as such, otherwise base64 under the alternative name.
void setTextAttribute(pugi::xml_node node, const char* plainName, const char* base64Name,
                      const std::string& bytes)
{
    if (isPlainText(bytes))
        setAttribute(node, plainName, bytes);
    else
        setAttribute(node, base64Name, encodeBase64(bytes));
}

void setText(pugi::xml_node node, const std::string& text)
{
    if (!text.empty())
        check(checked(node.append_child(pugi::node_pcdata)).set_value(text.c_str()));
}

class Writer {
public:
    explicit Writer(std::string& error) : m_error(error) {}

    bool appendElement(pugi::xml_node parent, const KXLNode& node, int depth)
    {
        if (node.kind != KXLNode::Kind::Element)
            return failure("a named value stands where an element belongs");
        if (node.tag <= 0)
            return failure("element tag " + std::to_string(node.tag) + " is not positive");
        if (depth > kMaxElementDepth)
            return failure("elements nest deeper than " + std::to_string(kMaxElementDepth));

        pugi::xml_node element = checked(parent.append_child(name::element));
        setAttribute(element, attr::tag, node.tag);
        appendStamps(element, node.stamps);
        appendValue(element, node.value);
        for (const KXLNode& child : node.children) {
            const bool appended = child.kind == KXLNode::Kind::Named
                ? appendNamed(element, child)
                : appendElement(element, child, depth + 1);
            if (!appended)
                return false;
        }
        return true;
    }

private:
    std::string& m_error;

    bool failure(const std::string& text)
    {
        m_error = text;
        return false;
    }

    static void appendStamps(pugi::xml_node element, const KXLStamps& stamps)
    {
        if (stamps.ns)
            setTextAttribute(element, attr::ns, attr::nsBase64, *stamps.ns);
        if (stamps.nsid)
            setAttribute(element, attr::nsid, *stamps.nsid);
        if (stamps.type) {
            setTextAttribute(element, attr::typeNamespace, attr::typeNamespaceBase64,
                             stamps.type->first);
            setTextAttribute(element, attr::type, attr::typeBase64, stamps.type->second);
        }
        if (stamps.typeId) {
            setAttribute(element, attr::typeNsid, stamps.typeId->first);
            setAttribute(element, attr::typeId, stamps.typeId->second);
        }
        if (stamps.itemNSType)
            setAttribute(element, attr::itemNsType, *stamps.itemNSType);
    }

    static void appendValue(pugi::xml_node element, const KXLValue& value)
    {
        switch (value.kind) {
        case KXLValue::Kind::None:
            break;
        case KXLValue::Kind::Int:
            setText(checked(element.append_child(name::integer)), std::to_string(value.number));
            break;
        case KXLValue::Kind::String: {
            pugi::xml_node string = checked(element.append_child(name::string));
            if (isPlainText(value.text)) {
                setText(string, value.text);
            } else {
                setAttribute(string, attr::encoding, attr::base64);
                setText(string, encodeBase64(value.text));
            }
            break;
        }
        }
    }

    bool appendNamed(pugi::xml_node element, const KXLNode& node)
    {
        if (node.value.kind != KXLValue::Kind::Int)
            return failure("named value \"" + node.name + "\" does not hold an int");
        if (node.name.empty())
            return failure("a named value has an empty name");
        if (!node.children.empty())
            return failure("named value \"" + node.name + "\" has children");
        pugi::xml_node named = checked(element.append_child(name::named));
        setTextAttribute(named, attr::name, attr::nameBase64, node.name);
        setText(named, std::to_string(node.value.number));
        return true;
    }
};

class StringSink : public pugi::xml_writer {
public:
    explicit StringSink(std::string& bytes) : m_bytes(bytes) {}
    void write(const void* data, size_t size) override
    {
        m_bytes.append(static_cast<const char*>(data), size);
    }

private:
    std::string& m_bytes;
};

} // namespace

bool writeVoc(const KXLDocument& document, std::string& bytes, std::string& error)
{
    pugi::xml_document xml;
    pugi::xml_node declaration = checked(xml.append_child(pugi::node_declaration));
    setAttribute(declaration, "version", std::string("1.0"));
    setAttribute(declaration, "encoding", std::string("UTF-8"));
    pugi::xml_node message = checked(xml.append_child(name::message));
    setAttribute(message, attr::format, std::string(kFormatVersion));
    setAttribute(message, attr::kind, document.kind);

    Writer writer(error);
    for (const KXLNode& root : document.roots) {
        if (!writer.appendElement(message, root, 1))
            return false;
    }

    bytes.clear();
    StringSink sink(bytes);
    xml.save(sink, "  ", pugi::format_indent, pugi::encoding_utf8);
    return true;
}

} // namespace KXL::voc
