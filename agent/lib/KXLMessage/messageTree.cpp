#include "host/KXLMessageTree.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace KXL {

// 32 bytes. Links are node ids, 0 meaning none (the root is nobody's child).
struct KXLDocument::Node {
    std::uint64_t text = 0; // a TextPool reference: String value or name
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::uint32_t next = 0;
    std::int32_t tag = 0;
    std::int32_t number = 0;
    bool named = false;
    KXLValueKind valueKind = KXLValueKind::None;
    bool stamped = false;
};


namespace {

constexpr std::size_t kNodesPerBlockShift = 13; // 8192 nodes, 256 KiB
constexpr std::size_t kNodesPerBlock = std::size_t{1} << kNodesPerBlockShift;
constexpr std::size_t kTextChunk = std::size_t{1} << 20;
// Short texts repeat (category names, named value names): the first few thousand distinct
// ones are stored once. Bounded so unique texts cannot grow the table without limit.
constexpr std::size_t kInternLength = 32;
constexpr std::size_t kInternEntries = 4096;

// Texts as a varint length and the bytes, in chunks that never move. A reference is the
// chunk index in the high 32 bits and the offset in the low ones.
class TextPool {
public:
    std::uint64_t add(std::string_view text)
    {
        if (text.size() > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("a text is larger than 4 GiB");
        const bool internable = text.size() <= kInternLength;
        if (internable) {
            const auto found = m_interned.find(text);
            if (found != m_interned.end())
                return found->second;
        }
        unsigned char header[5];
        std::size_t headerSize = 0;
        for (std::uint32_t length = static_cast<std::uint32_t>(text.size());; length >>= 7) {
            header[headerSize++] = static_cast<unsigned char>((length & 0x7F) | (length > 0x7F ? 0x80 : 0));
            if (length <= 0x7F)
                break;
        }
        const std::size_t needed = headerSize + text.size();
        if (m_chunks.empty() || m_capacity - m_used < needed) {
            const std::size_t capacity = std::max(needed, kTextChunk);
            m_chunks.emplace_back(new char[capacity]);
            m_capacity = capacity;
            m_used = 0;
        }
        char* at = m_chunks.back().get() + m_used;
        std::memcpy(at, header, headerSize);
        if (!text.empty())
            std::memcpy(at + headerSize, text.data(), text.size());
        const std::uint64_t reference = (static_cast<std::uint64_t>(m_chunks.size() - 1) << 32) | m_used;
        m_used += needed;
        if (internable && m_interned.size() < kInternEntries)
            m_interned.emplace(std::string_view(at + headerSize, text.size()), reference);
        return reference;
    }

    std::string_view get(std::uint64_t reference) const
    {
        const char* at = m_chunks[reference >> 32].get() + (reference & 0xFFFFFFFFu);
        std::uint32_t length = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*at++);
            length |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0)
                break;
        }
        return std::string_view(at, length);
    }

private:
    std::vector<std::unique_ptr<char[]>> m_chunks;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;
    std::unordered_map<std::string_view, std::uint64_t> m_interned;
};

} // namespace

struct KXLDocument::Storage {
    static_assert(sizeof(Node) == 32, "a node is meant to stay at 32 bytes");
    std::vector<std::unique_ptr<Node[]>> blocks;
    TextPool texts;
    std::unordered_map<NodeId, KXLStamps> stamps;
};

// Storage comes with the first node, so an empty document costs nothing to make.
KXLDocument::KXLDocument() = default;

KXLDocument::~KXLDocument() = default;

KXLDocument::KXLDocument(KXLDocument&& other) noexcept
    : m_kind(other.m_kind), m_nodeCount(other.m_nodeCount), m_storage(std::move(other.m_storage))
{
    other.m_nodeCount = 0;
}

KXLDocument& KXLDocument::operator=(KXLDocument&& other) noexcept
{
    m_kind = other.m_kind;
    m_nodeCount = other.m_nodeCount;
    m_storage = std::move(other.m_storage);
    other.m_nodeCount = 0;
    return *this;
}

void KXLDocument::clear()
{
    auto storage = std::make_unique<Storage>();
    storage->blocks.emplace_back(new Node[kNodesPerBlock]);
    m_storage = std::move(storage);
    m_nodeCount = 1; // the root
}

const KXLDocument::Node& KXLDocument::at(NodeId id) const
{
    static const Node none;
    if (!m_storage)
        return none; // moved from: an empty document
    return m_storage->blocks[id >> kNodesPerBlockShift][id & (kNodesPerBlock - 1)];
}

KXLDocument::Node& KXLDocument::at(NodeId id)
{
    return m_storage->blocks[id >> kNodesPerBlockShift][id & (kNodesPerBlock - 1)];
}

KXLDocument::NodeId KXLDocument::appendNode(NodeId parent)
{
    if (!m_storage)
        clear(); // a moved-from document is empty again
    if (m_nodeCount == std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("a document holds at most 4294967295 nodes");
    const NodeId id = m_nodeCount;
    if ((id & (kNodesPerBlock - 1)) == 0) {
        m_storage->blocks.reserve(m_storage->blocks.size() + 1);
        m_storage->blocks.emplace_back(new Node[kNodesPerBlock]);
    }
    ++m_nodeCount;
    Node& up = at(parent);
    if (up.last == 0)
        up.first = id;
    else
        at(up.last).next = id;
    up.last = id;
    return id;
}

KXLDocument::NodeId KXLDocument::appendElement(NodeId parent, int tag)
{
    const NodeId id = appendNode(parent);
    at(id).tag = tag;
    return id;
}

KXLDocument::NodeId KXLDocument::appendNamed(NodeId parent, std::string_view name, int value)
{
    if (!m_storage)
        clear();
    const std::uint64_t text = m_storage->texts.add(name);
    const NodeId id = appendNode(parent);
    Node& node = at(id);
    node.named = true;
    node.valueKind = KXLValueKind::Int;
    node.number = value;
    node.text = text;
    return id;
}

void KXLDocument::setText(NodeId element, std::string_view text)
{
    // A replaced text stays in the pool: values are rarely written twice.
    const std::uint64_t reference = m_storage->texts.add(text);
    Node& node = at(element);
    node.valueKind = KXLValueKind::String;
    node.text = reference;
    node.number = 0;
}

void KXLDocument::setInt(NodeId element, int value)
{
    Node& node = at(element);
    node.valueKind = KXLValueKind::Int;
    node.number = value;
    node.text = 0;
}

KXLStamps& KXLDocument::stamps(NodeId element)
{
    KXLStamps& stamps = m_storage->stamps[element];
    at(element).stamped = true;
    return stamps;
}

bool KXLDocument::operator==(const KXLDocument& other) const
{
    if (m_kind != other.m_kind)
        return false;
    // Iterative: the depth of a document is not this function's to bound.
    std::vector<std::pair<KXLNodeRef, KXLNodeRef>> pending{{root(), other.root()}};
    while (!pending.empty()) {
        const auto [a, b] = pending.back();
        pending.pop_back();
        KXLNodeRef x = a.firstChild();
        KXLNodeRef y = b.firstChild();
        for (; x && y; x = x.nextSibling(), y = y.nextSibling()) {
            const KXLStamps none;
            const KXLStamps* xs = x.stamps();
            const KXLStamps* ys = y.stamps();
            if (x.isElement() != y.isElement() || x.tag() != y.tag() || x.name() != y.name() ||
                x.valueKind() != y.valueKind() || x.text() != y.text() || x.number() != y.number() ||
                (xs ? *xs : none) != (ys ? *ys : none))
                return false;
            pending.emplace_back(x, y);
        }
        if (x || y)
            return false;
    }
    return true;
}

bool KXLNodeRef::isElement() const
{
    return !m_document->at(m_id).named;
}

int KXLNodeRef::tag() const
{
    return m_document->at(m_id).tag;
}

std::string_view KXLNodeRef::name() const
{
    const auto& node = m_document->at(m_id);
    return node.named ? m_document->m_storage->texts.get(node.text) : std::string_view();
}

KXLValueKind KXLNodeRef::valueKind() const
{
    return m_document->at(m_id).valueKind;
}

std::string_view KXLNodeRef::text() const
{
    const auto& node = m_document->at(m_id);
    return !node.named && node.valueKind == KXLValueKind::String
        ? m_document->m_storage->texts.get(node.text)
        : std::string_view();
}

int KXLNodeRef::number() const
{
    return m_document->at(m_id).number;
}

const KXLStamps* KXLNodeRef::stamps() const
{
    if (!m_document->at(m_id).stamped)
        return nullptr;
    const auto& all = m_document->m_storage->stamps;
    const auto found = all.find(m_id);
    return found == all.end() || found->second.empty() ? nullptr : &found->second;
}

KXLNodeRef KXLNodeRef::nextSibling() const
{
    const std::uint32_t next = m_document->at(m_id).next;
    return next == 0 ? KXLNodeRef() : KXLNodeRef(m_document, next);
}

KXLNodeRef KXLNodeRef::firstChild() const
{
    const std::uint32_t first = m_document->at(m_id).first;
    return first == 0 ? KXLNodeRef() : KXLNodeRef(m_document, first);
}

std::size_t KXLNodeRef::childCount() const
{
    std::size_t count = 0;
    for (KXLNodeRef child = firstChild(); child; child = child.nextSibling())
        ++count;
    return count;
}

} // namespace KXL
