// The layout is the one pugixml's indented output gives, byte for byte, so files stay the
// same as those of earlier versions; no DOM is built on the way.
#include "vocWriter.h"

#include <charconv>
#include <vector>

#include "base64.h"
#include "fileWindow.h"
#include "vocFormat.h"
#include "xmlText.h"

namespace KXL::voc {

namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 20;

} // namespace

bool checkWritable(const KXLDocument& document, std::string& error)
{
    std::vector<std::pair<KXLNodeRef, int>> pending;
    for (KXLNodeRef root : document.roots())
        pending.emplace_back(root, 1);
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        if (!node.isElement()) {
            error = "a named value stands where an element belongs";
            return false;
        }
        if (node.tag() <= 0) {
            error = "element tag " + std::to_string(node.tag()) + " is not positive";
            return false;
        }
        if (depth > kMaxElementDepth) {
            error = "elements nest deeper than " + std::to_string(kMaxElementDepth);
            return false;
        }
        for (KXLNodeRef child : node.children()) {
            if (child.isElement())
                pending.emplace_back(child, depth + 1);
            else if (child.name().empty()) {
                error = "a named value has an empty name";
                return false;
            }
        }
    }
    return true;
}

namespace {

class Writer {
public:
    Writer(ByteSink& sink, std::string& error) : m_sink(sink), m_error(error)
    {
        m_buffer.reserve(kFlushAt + 4096);
    }

    bool document(const KXLDocument& document)
    {
        put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<");
        put(name::message);
        attribute(attr::format, kFormatVersion);
        attribute(attr::kind, document.kind());
        if (document.empty()) {
            put(" />\n");
        } else {
            put(">\n");
            for (KXLNodeRef root : document.roots()) {
                if (!element(root, 1))
                    return false;
            }
            put("</");
            put(name::message);
            put(">\n");
        }
        return flush();
    }

private:
    ByteSink& m_sink;
    std::string& m_error;
    std::string m_buffer;
    std::uint64_t m_written = 0;

    void put(std::string_view bytes) { m_buffer.append(bytes); }

    void putNumber(int value)
    {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        m_buffer.append(digits, static_cast<std::size_t>(result.ptr - digits));
    }

    void indent(int depth) { m_buffer.append(2 * static_cast<std::size_t>(depth), ' '); }

    // pugixml's escaping: '&', '<' and control characters as references; in content also
    // '>', in attribute values also '"'.
    void escaped(std::string_view text, bool inAttribute)
    {
        std::size_t plainFrom = 0;
        for (std::size_t at = 0; at < text.size(); ++at) {
            const auto c = static_cast<unsigned char>(text[at]);
            const bool special = c == '&' || c == '<' || (c == '>' && !inAttribute) ||
                (c == '"' && inAttribute) ||
                (c < 32 && (inAttribute || (c != '\t' && c != '\n' && c != '\r')));
            if (!special)
                continue;
            m_buffer.append(text.substr(plainFrom, at - plainFrom));
            switch (c) {
            case '&': put("&amp;"); break;
            case '<': put("&lt;"); break;
            case '>': put("&gt;"); break;
            case '"': put("&quot;"); break;
            default: {
                const char reference[] = {'&', '#', static_cast<char>('0' + c / 10),
                    static_cast<char>('0' + c % 10), ';'};
                m_buffer.append(reference, sizeof reference);
            }
            }
            plainFrom = at + 1;
        }
        m_buffer.append(text.substr(plainFrom));
    }

    void attribute(std::string_view name, std::string_view value)
    {
        put(" ");
        put(name);
        put("=\"");
        escaped(value, true);
        put("\"");
    }

    void attribute(std::string_view name, int value)
    {
        put(" ");
        put(name);
        put("=\"");
        putNumber(value);
        put("\"");
    }

    // Plain text when it survives as such, otherwise base64 under the alternative name.
    void textAttribute(std::string_view plainName, std::string_view base64Name, std::string_view bytes)
    {
        if (isPlainText(bytes))
            attribute(plainName, bytes);
        else
            attribute(base64Name, encodeBase64(bytes));
    }

    void stamps(const KXLStamps& stamps)
    {
        if (stamps.ns)
            textAttribute(attr::ns, attr::nsBase64, *stamps.ns);
        if (stamps.nsid)
            attribute(attr::nsid, *stamps.nsid);
        if (stamps.type) {
            textAttribute(attr::typeNamespace, attr::typeNamespaceBase64, stamps.type->first);
            textAttribute(attr::type, attr::typeBase64, stamps.type->second);
        }
        if (stamps.typeId) {
            attribute(attr::typeNsid, stamps.typeId->first);
            attribute(attr::typeId, stamps.typeId->second);
        }
        if (stamps.itemNSType)
            attribute(attr::itemNsType, *stamps.itemNSType);
    }

    // A leaf: `<name attributes>text</name>`, or `<name attributes />` without text.
    void leafClose(std::string_view name, std::string_view text)
    {
        if (text.empty()) {
            put(" />\n");
            return;
        }
        put(">");
        escaped(text, false);
        put("</");
        put(name);
        put(">\n");
    }

    void value(KXLNodeRef node, int depth)
    {
        indent(depth);
        put("<");
        if (node.valueKind() == KXLValueKind::Int) {
            put(name::integer);
            put(">");
            putNumber(node.number());
            put("</");
            put(name::integer);
            put(">\n");
            return;
        }
        put(name::string);
        const std::string_view text = node.text();
        if (isPlainText(text)) {
            leafClose(name::string, text);
        } else {
            attribute(attr::encoding, attr::base64);
            leafClose(name::string, encodeBase64(text));
        }
    }

    void named(KXLNodeRef node, int depth)
    {
        indent(depth);
        put("<");
        put(name::named);
        textAttribute(attr::name, attr::nameBase64, node.name());
        put(">");
        putNumber(node.number());
        put("</");
        put(name::named);
        put(">\n");
    }

    bool element(KXLNodeRef node, int depth)
    {
        indent(depth);
        put("<");
        put(name::element);
        attribute(attr::tag, node.tag());
        if (const KXLStamps* stamped = node.stamps())
            stamps(*stamped);
        const bool hasValue = node.valueKind() != KXLValueKind::None;
        if (!hasValue && !node.firstChild()) {
            put(" />\n");
            return maybeFlush();
        }
        put(">\n");
        if (hasValue)
            value(node, depth + 1);
        for (KXLNodeRef child : node.children()) {
            if (child.isElement()) {
                if (!element(child, depth + 1))
                    return false;
            } else {
                named(child, depth + 1);
            }
        }
        indent(depth);
        put("</");
        put(name::element);
        put(">\n");
        return maybeFlush();
    }

    bool maybeFlush() { return m_buffer.size() < kFlushAt || flush(); }

    bool flush()
    {
        m_written += m_buffer.size();
        if (m_written > kMaxFileSize) {
            m_error = "the vocabulary is larger than " + std::to_string(kMaxFileSize >> 20) +
                " MiB, the most a reader accepts";
            return false;
        }
        if (!m_sink.write(m_buffer, m_error))
            return false;
        m_buffer.clear();
        return true;
    }
};

class StringSink final : public ByteSink {
public:
    explicit StringSink(std::string& bytes) : m_bytes(bytes) {}
    bool write(std::string_view bytes, std::string&) override
    {
        m_bytes.append(bytes);
        return true;
    }

private:
    std::string& m_bytes;
};

} // namespace

bool writeVoc(const KXLDocument& document, ByteSink& sink, std::string& error)
{
    return Writer(sink, error).document(document);
}

bool writeVoc(const KXLDocument& document, std::string& bytes, std::string& error)
{
    bytes.clear();
    StringSink sink(bytes);
    return checkWritable(document, error) && writeVoc(document, sink, error);
}

} // namespace KXL::voc
