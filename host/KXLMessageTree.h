// The content of a message: what the message library builds, what a .voc file holds and
// what the vocabulary cache keeps.
#ifndef HOST_KXLMESSAGETREE_H
#define HOST_KXLMESSAGETREE_H

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace KXL {

// What the stamping operations of the iterator left on an element. The tree keeps them in
// a compact form and makes this value when asked.
struct KXLStamps {
    std::optional<std::string> ns; // setNamespace
    std::optional<int> nsid; // setNSID (non-zero)
    std::optional<std::pair<std::string, std::string>> type; // setType: namespace, type
    std::optional<std::pair<int, int>> typeId; // setTypeID: nsid, type id
    std::optional<int> itemNSType; // setItemNSType

    bool empty() const { return !ns && !nsid && !type && !typeId && !itemNSType; }
    bool operator==(const KXLStamps& other) const
    {
        return ns == other.ns && nsid == other.nsid && type == other.type &&
            typeId == other.typeId && itemNSType == other.itemNSType;
    }
    bool operator!=(const KXLStamps& other) const { return !(*this == other); }
};

enum class KXLValueKind : std::uint8_t { None, String, Int };

class KXLDocument;

// A read-only handle on one node: an element, or a named int value of its parent element.
// Valid while its document lives; cheap to copy. A default one is null.
class KXLNodeRef {
public:
    class Children;

    KXLNodeRef() = default;
    explicit operator bool() const { return m_document != nullptr; }

    bool isElement() const;
    bool isNamed() const { return !isElement(); }
    int tag() const; // element; 0 for a named value
    std::string_view name() const; // named value
    KXLValueKind valueKind() const; // a named value always holds an Int
    std::string_view text() const; // String value, else empty
    int number() const; // Int value, else 0
    bool stamped() const; // whether stamps() has a value
    std::optional<KXLStamps> stamps() const; // none when the element has none
    KXLNodeRef nextSibling() const;
    KXLNodeRef firstChild() const;
    Children children() const; // named values and child elements in write order

    bool operator==(const KXLNodeRef& other) const
    {
        return m_document == other.m_document && m_id == other.m_id;
    }
    bool operator!=(const KXLNodeRef& other) const { return !(*this == other); }

private:
    friend class KXLDocument;
    KXLNodeRef(const KXLDocument* document, std::uint32_t id) : m_document(document), m_id(id) {}

    const KXLDocument* m_document = nullptr;
    std::uint32_t m_id = 0;
};

class KXLNodeRef::Children {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = KXLNodeRef;
        using difference_type = std::ptrdiff_t;
        using pointer = const KXLNodeRef*;
        using reference = const KXLNodeRef&;

        iterator() = default;
        explicit iterator(KXLNodeRef node) : m_node(node) {}
        const KXLNodeRef& operator*() const { return m_node; }
        const KXLNodeRef* operator->() const { return &m_node; }
        iterator& operator++()
        {
            m_node = m_node.nextSibling();
            return *this;
        }
        iterator operator++(int)
        {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator& other) const { return m_node == other.m_node; }
        bool operator!=(const iterator& other) const { return !(*this == other); }

    private:
        KXLNodeRef m_node;
    };

    explicit Children(KXLNodeRef first) : m_first(first) {}
    iterator begin() const { return iterator(m_first); }
    iterator end() const { return iterator(); }
    bool empty() const { return !m_first; }

private:
    KXLNodeRef m_first;
};

inline KXLNodeRef::Children KXLNodeRef::children() const
{
    return Children(firstChild());
}

// A message document: its kind (the argument of prepare) and a tree under an unnamed root
// whose children are the top-level elements. Nodes are only ever appended, so building is
// one pass; a value or stamps written again replace the earlier ones. Not thread-safe while
// written; immutable documents may be read from any thread.
//
//     KXLDocument document;
//     const auto entry = document.appendElement(KXLDocument::kRoot, 1017);
//     document.setInt(document.appendElement(entry, 1010), 3);
//     document.appendNamed(entry, "min_hdd_size", 100);
//     for (KXLNodeRef child : document.node(entry).children()) { ... }
class KXLDocument {
public:
    using NodeId = std::uint32_t;
    static constexpr NodeId kRoot = 0;

    KXLDocument();
    ~KXLDocument();
    KXLDocument(KXLDocument&& other) noexcept;
    KXLDocument& operator=(KXLDocument&& other) noexcept;
    KXLDocument(const KXLDocument&) = delete;
    KXLDocument& operator=(const KXLDocument&) = delete;

    int kind() const { return m_kind; }
    void setKind(int kind) { m_kind = kind; }

    KXLNodeRef root() const { return KXLNodeRef(this, kRoot); }
    KXLNodeRef::Children roots() const { return root().children(); }
    KXLNodeRef node(NodeId id) const { return KXLNodeRef(this, id); }
    bool empty() const { return !root().firstChild(); }
    std::size_t nodeCount() const { return m_nodeCount; } // the root's included, once it has a child

    // Appends as the last child of `parent` (an element or kRoot). These, setText and
    // setStamps throw std::bad_alloc, or std::length_error past 2^28 nodes (a 1 GiB file
    // holds fewer) or about 4 GiB of texts; setInt never throws.
    NodeId appendElement(NodeId parent, int tag);
    NodeId appendNamed(NodeId parent, std::string_view name, int value);
    void setText(NodeId element, std::string_view text);
    void setInt(NodeId element, int value);
    // Replaces the element's stamps (empty ones: none).
    void setStamps(NodeId element, const KXLStamps& stamps);

    bool operator==(const KXLDocument& other) const;
    bool operator!=(const KXLDocument& other) const { return !(*this == other); }

private:
    friend class KXLNodeRef;

    // The layout, compact because two trees of a million nodes are alive at once when a
    // vocabulary is saved and read back. A node takes 16 bytes. Links are node ids of 28
    // bits, 0 meaning none (the root is nobody's child); the bits above them hold the node's
    // flags. The children are a ring from the last one, whose `next` is the first, so a node
    // needs no link to its first child. Texts are a varint length and their bytes in a shared
    // pool; names of named values, and values recurring under their tag, are stored once.
    // Stamps are a 24-byte record found by their element, with their texts in the pool;
    // equal stamps set in a row on other elements share one (a read file's stamps mostly
    // repeat). Nodes and texts grow and are freed in blocks, so a document never needs twice
    // its size to grow nor a free per node to go.
    //
    // Node is here so that reading a node is inline: readers visit every node. No member
    // initializers: a new block stays untouched, so costs no memory, until its nodes are
    // appended one by one.
    static constexpr unsigned kIdBits = 28;
    static constexpr std::uint32_t kIdMask = (std::uint32_t{1} << kIdBits) - 1;
    static constexpr std::uint32_t kNamedFlag = std::uint32_t{1} << kIdBits;
    static constexpr std::uint32_t kLastChildFlag = std::uint32_t{1} << (kIdBits + 1);
    struct Node {
        std::uint32_t lastAndKind; // last child | value kind << 28 | stamped << 30
        // Sibling (the first one for the last child) | kNamedFlag | kLastChildFlag.
        std::uint32_t nextAndFlags;
        std::int32_t tagOrName; // an element's tag; a named value's name, a text reference
        std::uint32_t value; // a String's text reference or an Int's bits

        std::uint32_t last() const { return lastAndKind & kIdMask; }
        std::uint32_t next() const { return nextAndFlags & kIdMask; }
        KXLValueKind kind() const { return static_cast<KXLValueKind>((lastAndKind >> kIdBits) & 3); }
        std::uint8_t stamped() const { return static_cast<std::uint8_t>(lastAndKind >> (kIdBits + 2)); }
        bool named() const { return (nextAndFlags & kNamedFlag) != 0; }
        bool lastChild() const { return (nextAndFlags & kLastChildFlag) != 0; }

        void setLast(std::uint32_t id) { lastAndKind = (lastAndKind & ~kIdMask) | id; }
        void setKind(KXLValueKind kind)
        {
            lastAndKind = (lastAndKind & ~(std::uint32_t{3} << kIdBits)) |
                static_cast<std::uint32_t>(kind) << kIdBits;
        }
        void setStamped(std::uint8_t how)
        {
            lastAndKind = (lastAndKind & ~(std::uint32_t{3} << (kIdBits + 2))) |
                static_cast<std::uint32_t>(how) << (kIdBits + 2);
        }
    };
    static_assert(sizeof(Node) == 16, "a node is meant to stay at 16 bytes");
    struct Extra; // what reading needs no inline access to: owned storage, stamps
    struct StampRecord;

    static constexpr unsigned kBlockShift = 13;
    static constexpr std::uint32_t kNodesPerBlock = std::uint32_t{1} << kBlockShift; // 128 KiB

    const Node& at(NodeId id) const
    {
        // A moved-from document is empty; its root, like any, is nobody's child.
        static const Node none{0, kLastChildFlag, 0, 0};
        return m_blocks.empty() ? none : m_blocks[id >> kBlockShift][id & (kNodesPerBlock - 1)];
    }
    Node& at(NodeId id) { return m_blocks[id >> kBlockShift][id & (kNodesPerBlock - 1)]; }
    // A text reference is chunk << kTextOffsetBits | offset.
    static constexpr unsigned kTextOffsetBits = 16;
    std::string_view textAt(std::uint32_t reference) const
    {
        const char* at = m_textChunks[reference >> kTextOffsetBits] + (reference & ((1u << kTextOffsetBits) - 1));
        return lengthPrefixed(at);
    }
    // The text at `at`, which moves past it.
    static std::string_view lengthPrefixed(const char*& at)
    {
        std::uint32_t length = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*at++);
            length |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0)
                break;
        }
        const std::string_view text(at, length);
        at += length;
        return text;
    }
    NodeId appendNode(NodeId parent);
    std::uint32_t addText(std::string_view text);
    std::uint32_t stampIndex(NodeId element) const;
    void attachStamps(NodeId element, std::uint32_t index, std::uint8_t how);
    StampRecord& recordAt(std::uint32_t index) const;
    StampRecord encode(const KXLStamps& stamps);
    std::uint32_t addStampTexts();
    bool sameTexts(const StampRecord& record) const;
    bool sameRecord(const StampRecord& stored, const StampRecord& made) const;
    KXLStamps stampsOf(NodeId element) const;
    void makeStorage();
    void addBlock();
    Node* newBlock();
    void clearStorage() noexcept;

    int m_kind = 0;
    std::uint32_t m_nodeCount = 0;
    // Owned by m_extra; blocks and text chunks never move.
    std::vector<Node*> m_blocks;
    std::vector<char*> m_textChunks;
    std::unique_ptr<Extra> m_extra;
};

inline bool KXLNodeRef::stamped() const
{
    return m_document->at(m_id).stamped() != 0;
}

inline std::optional<KXLStamps> KXLNodeRef::stamps() const
{
    if (!stamped())
        return std::nullopt;
    return m_document->stampsOf(m_id);
}

inline bool KXLNodeRef::isElement() const
{
    return !m_document->at(m_id).named();
}

inline int KXLNodeRef::tag() const
{
    const auto& node = m_document->at(m_id);
    return node.named() ? 0 : node.tagOrName;
}

inline std::string_view KXLNodeRef::name() const
{
    const auto& node = m_document->at(m_id);
    return node.named() ? m_document->textAt(static_cast<std::uint32_t>(node.tagOrName)) : std::string_view();
}

inline KXLValueKind KXLNodeRef::valueKind() const
{
    return m_document->at(m_id).kind();
}

inline std::string_view KXLNodeRef::text() const
{
    const auto& node = m_document->at(m_id);
    return !node.named() && node.kind() == KXLValueKind::String ? m_document->textAt(node.value)
                                                                 : std::string_view();
}

inline int KXLNodeRef::number() const
{
    const auto& node = m_document->at(m_id);
    return node.kind() == KXLValueKind::Int ? static_cast<int>(node.value) : 0;
}

inline KXLNodeRef KXLNodeRef::nextSibling() const
{
    const auto& node = m_document->at(m_id);
    return node.lastChild() ? KXLNodeRef() : KXLNodeRef(m_document, node.next());
}

inline KXLNodeRef KXLNodeRef::firstChild() const
{
    const std::uint32_t last = m_document->at(m_id).last();
    return last == 0 ? KXLNodeRef() : KXLNodeRef(m_document, m_document->at(last).next());
}

} // namespace KXL

#endif
