// The layout is the one pugixml's indented output gives, byte for byte, so files stay the
// same as those of earlier versions; no DOM is built on the way.
#include "voc_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <utility>

#include "base64.h"
#include "voc_format.h"
#include "xml_text.h"

namespace KXL::voc {

namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 20;

// pugixml's escaping: '&', '<' and control characters as references; in content also
// '>', in attribute values also '"'. Bit 1: special in content, bit 2: in attributes; bit
// 4: a byte that needs checking before it is written as plain text (bytes above 0x7F are
// plain only as valid UTF-8 of XML characters; a carriage return never).
constexpr unsigned char kContent = 1;
constexpr unsigned char kAttribute = 2;
constexpr unsigned char kChecked = 4;
constexpr std::array<unsigned char, 256> kSpecial = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 32; ++c)
        table[static_cast<std::size_t>(c)] = c == '\t' || c == '\n' ? kAttribute : kContent | kAttribute;
    table['\r'] = kAttribute | kChecked;
    table['&'] = table['<'] = kContent | kAttribute;
    table['>'] = kContent;
    table['"'] = kAttribute;
    for (int c = 0x80; c < 0x100; ++c)
        table[static_cast<std::size_t>(c)] = kChecked;
    return table;
}();

class Writer {
public:
    Writer(sys::ByteSink& sink, std::string& error, std::uint64_t maxBytes)
        : m_sink(sink), m_error(error), m_maxBytes(maxBytes)
    {
        // Grown as needed: a small vocabulary never touches a megabyte.
        m_buffer.resize(kSlack);
    }

    bool document(const KXLDocument& document)
    {
        put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<");
        put(name::kMessage);
        attribute(attr::kFormat, kVocFormatVersion);
        attribute(attr::kKind, document.kind());
        if (document.empty()) {
            put(" />\n");
        } else {
            put(">\n");
            for (KXLNodeRef root : document.roots()) {
                if (!root.isElement())
                    return failure("a named value stands where an element belongs");
                if (!element(root, 1))
                    return false;
            }
            put("</");
            put(name::kMessage);
            put(">\n");
        }
        return flush();
    }

private:
    // Room for a line of markup around texts of any size, which make room for themselves.
    static constexpr std::size_t kSlack = 4096;

    sys::ByteSink& m_sink;
    std::string& m_error;
    std::string m_buffer; // written up to m_size
    std::size_t m_size = 0;
    std::uint64_t m_maxBytes;
    std::uint64_t m_written = 0;

    char* room(std::size_t bytes)
    {
        if (m_size + bytes > m_buffer.size())
            m_buffer.resize(std::max(2 * m_buffer.size(), m_size + bytes + kSlack));
        return &m_buffer[m_size];
    }

    void put(std::string_view bytes)
    {
        std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
        m_size += bytes.size();
    }

    void putNumber(int value)
    {
        char* at = room(16);
        m_size += static_cast<std::size_t>(std::to_chars(at, at + 16, value).ptr - at);
    }

    void indent(int depth)
    {
        const std::size_t width = 2 * static_cast<std::size_t>(depth);
        std::memset(room(width), ' ', width);
        m_size += width;
    }

    void escaped(std::string_view text, bool inAttribute)
    {
        const unsigned char bits = inAttribute ? kAttribute : kContent;
        char* out = room(6 * text.size()); // "&quot;" is the longest replacement
        for (const char c : text) {
            const auto b = static_cast<unsigned char>(c);
            if ((kSpecial[b] & bits) == 0) {
                *out++ = c;
                continue;
            }
            switch (b) {
            case '&': out = std::copy_n("&amp;", 5, out); break;
            case '<': out = std::copy_n("&lt;", 4, out); break;
            case '>': out = std::copy_n("&gt;", 4, out); break;
            case '"': out = std::copy_n("&quot;", 6, out); break;
            default: {
                const char reference[] = {'&', '#', static_cast<char>('0' + b / 10),
                    static_cast<char>('0' + b % 10), ';'};
                out = std::copy_n(reference, 5, out);
            }
            }
        }
        m_size = static_cast<std::size_t>(out - m_buffer.data());
    }

    // Plain when it survives as such, escaped as needed. Checked as it is copied: the
    // common case, nothing to escape or check further, is one pass.
    bool plain(std::string_view text, bool inAttribute)
    {
        const unsigned char stops = (inAttribute ? kAttribute : kContent) | kChecked;
        char* const out = room(text.size());
        std::size_t at = 0;
        while (at < text.size() && (kSpecial[static_cast<unsigned char>(text[at])] & stops) == 0) {
            out[at] = text[at];
            ++at;
        }
        if (at == text.size()) {
            m_size += at;
            return true;
        }
        if (!isPlainText(text))
            return false;
        escaped(text, inAttribute);
        return true;
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
        const std::size_t start = m_size;
        put(" ");
        put(plainName);
        put("=\"");
        if (plain(bytes, true)) {
            put("\"");
            return;
        }
        m_size = start;
        attribute(base64Name, encodeBase64(bytes));
    }

    void stamps(const KXLStamps& stamps)
    {
        if (stamps.ns)
            textAttribute(attr::kNs, attr::kNsBase64, *stamps.ns);
        if (stamps.nsid)
            attribute(attr::kNsid, *stamps.nsid);
        if (stamps.type) {
            textAttribute(attr::kTypeNamespace, attr::kTypeNamespaceBase64, stamps.type->first);
            textAttribute(attr::kType, attr::kTypeBase64, stamps.type->second);
        }
        if (stamps.typeId) {
            attribute(attr::kTypeNsid, stamps.typeId->first);
            attribute(attr::kTypeId, stamps.typeId->second);
        }
        if (stamps.itemNSType)
            attribute(attr::kItemNsType, *stamps.itemNSType);
    }

    void value(KXLNodeRef node, int depth)
    {
        indent(depth);
        if (node.valueKind() == KXLValueKind::Int) {
            put("<int>");
            putNumber(node.number());
            put("</int>\n");
            return;
        }
        const std::string_view text = node.text();
        if (text.empty()) {
            put("<string />\n"); // pugixml writes an element without text this way
            return;
        }
        const std::size_t start = m_size;
        put("<string>");
        if (!plain(text, false)) {
            m_size = start;
            put("<string encoding=\"base64\">");
            put(encodeBase64(text));
        }
        put("</string>\n");
    }

    void named(KXLNodeRef node, int depth)
    {
        indent(depth);
        put("<named");
        textAttribute(attr::kName, attr::kNameBase64, node.name());
        put(">");
        putNumber(node.number());
        put("</named>\n");
    }

    bool failure(std::string text)
    {
        m_error = std::move(text);
        return false;
    }

    // Stamps that cannot read back the same: the reader refuses them as written, and left
    // out they would read back as none.
    static bool readable(const KXLStamps& stamps)
    {
        return !(stamps.nsid && *stamps.nsid == 0) && !(stamps.ns && stamps.ns->empty()) &&
            !(stamps.type && stamps.type->second.empty());
    }

    // Apart from element(), which it would weigh on at every element.
    [[gnu::cold, gnu::noinline]] bool unreadable(int tag, const KXLStamps& stamps)
    {
        const char* const what = stamps.nsid && *stamps.nsid == 0 ? " has nsid 0 (no namespace)"
            : stamps.ns && stamps.ns->empty()                      ? " has an empty namespace"
                                                                   : " has an empty type";
        return failure("element " + std::to_string(tag) + what);
    }

    // What the reader would refuse is refused here, as it is met.
    bool element(KXLNodeRef node, int depth)
    {
        if (node.tag() <= 0)
            return failure("element tag " + std::to_string(node.tag()) + " is not positive");
        if (depth > kMaxElementDepth)
            return failure("elements nest deeper than " + std::to_string(kMaxElementDepth));
        indent(depth);
        put("<element tag=\"");
        putNumber(node.tag());
        put("\"");
        if (const auto stamped = node.stamps()) {
            if (!readable(*stamped))
                return unreadable(node.tag(), *stamped);
            stamps(*stamped);
        }
        const bool hasValue = node.valueKind() != KXLValueKind::None;
        const KXLNodeRef first = node.firstChild();
        if (!hasValue && !first) {
            put(" />\n");
            return maybeFlush();
        }
        put(">\n");
        if (hasValue)
            value(node, depth + 1);
        for (KXLNodeRef child = first; child; child = child.nextSibling()) {
            if (child.isElement()) {
                if (!element(child, depth + 1))
                    return false;
            } else if (child.name().empty()) {
                return failure("a named value has an empty name");
            } else {
                named(child, depth + 1);
            }
        }
        indent(depth);
        put("</element>\n");
        return maybeFlush();
    }

    bool maybeFlush() { return m_size < kFlushAt || flush(); }

    bool flush()
    {
        m_written += m_size;
        if (m_written > m_maxBytes)
            return failure("the vocabulary is larger than " + std::to_string(m_maxBytes) +
                           " bytes, the most a reader accepts");
        if (!m_sink.write(std::string_view(m_buffer.data(), m_size), m_error))
            return false;
        m_size = 0;
        return true;
    }
};

class StringSink final : public sys::ByteSink {
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

bool writeVoc(const KXLDocument& document, sys::ByteSink& sink, std::string& error, std::uint64_t maxBytes)
{
    return Writer(sink, error, maxBytes).document(document);
}

bool writeVoc(const KXLDocument& document, std::string& bytes, std::string& error)
{
    bytes.clear();
    StringSink sink(bytes);
    return writeVoc(document, sink, error);
}

} // namespace KXL::voc
