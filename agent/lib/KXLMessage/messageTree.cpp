#include "host/KXLMessageTree.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <unordered_map>

#include "pageRegions.h"

namespace KXL {

namespace {

constexpr std::size_t kNodesPerBlock = std::size_t{1} << 13;
constexpr std::size_t kTextChunk = std::size_t{1} << 20;
// A small document (most are) starts on the heap and grows by doubling up to the sizes
// above; full-size pieces come from KXLPageRegions.
constexpr std::size_t kFirstBlockNodes = 256;
constexpr std::size_t kFirstTextChunk = std::size_t{16} << 10;
// Short texts repeat (category names, named value names) and are stored once while they
// keep recurring: a direct-mapped cache of recent ones, fixed in size, where a text evicts
// the one it collides with.
constexpr std::size_t kInternLength = 32;
constexpr std::size_t kInternSlots = 1024;

std::size_t internSlot(std::string_view text)
{
    // Eight bytes a step: every value of a large document passes through here.
    constexpr std::uint64_t multiplier = 0x9E3779B97F4A7C15ull;
    std::uint64_t hash = text.size();
    std::size_t at = 0;
    for (; text.size() - at >= 8; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, sizeof word);
        hash = (hash ^ word) * multiplier;
        hash ^= hash >> 29;
    }
    std::uint64_t tail = 0;
    if (at < text.size())
        std::memcpy(&tail, text.data() + at, text.size() - at);
    hash = (hash ^ tail) * multiplier;
    return static_cast<std::size_t>(hash ^ (hash >> 32)) & (kInternSlots - 1);
}

} // namespace

struct KXLDocument::Extra {
    // What m_blocks and m_textChunks point into.
    std::unique_ptr<Node[]> firstBlock;
    std::vector<std::unique_ptr<char[]>> smallTexts;
    KXLPageRegions pages;
    std::size_t firstBlockCapacity = 0; // in nodes
    std::size_t textCapacity = 0; // of the last text chunk
    std::size_t textUsed = 0;
    std::array<std::uint64_t, kInternSlots> interned{}; // a text reference + 1; 0: empty
    std::unordered_map<NodeId, KXLStamps> stamps;
};

// Storage comes with the first node, so an empty document costs nothing to make.
KXLDocument::KXLDocument() = default;
KXLDocument::~KXLDocument() = default;

KXLDocument::KXLDocument(KXLDocument&& other) noexcept
    : m_kind(other.m_kind), m_nodeCount(other.m_nodeCount), m_blocks(std::move(other.m_blocks)),
      m_textChunks(std::move(other.m_textChunks)), m_extra(std::move(other.m_extra))
{
    other.clearStorage();
}

KXLDocument& KXLDocument::operator=(KXLDocument&& other) noexcept
{
    m_kind = other.m_kind;
    m_nodeCount = other.m_nodeCount;
    m_blocks = std::move(other.m_blocks);
    m_textChunks = std::move(other.m_textChunks);
    m_extra = std::move(other.m_extra);
    other.clearStorage();
    return *this;
}

void KXLDocument::clearStorage() noexcept
{
    m_blocks.clear();
    m_textChunks.clear();
    m_extra.reset();
    m_nodeCount = 0;
}

void KXLDocument::makeStorage()
{
    auto extra = std::make_unique<Extra>();
    extra->firstBlock.reset(new Node[kFirstBlockNodes]);
    extra->firstBlock[0] = Node{}; // the root
    extra->firstBlockCapacity = kFirstBlockNodes;
    m_blocks.push_back(extra->firstBlock.get());
    m_extra = std::move(extra);
    m_nodeCount = 1;
}

std::uint64_t KXLDocument::addText(std::string_view text)
{
    if (text.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("a text is larger than 4 GiB");
    Extra& extra = *m_extra;
    const bool internable = text.size() <= kInternLength;
    std::uint64_t* slot = nullptr;
    if (internable) {
        slot = &extra.interned[internSlot(text)];
        if (*slot != 0 && textAt(*slot - 1) == text)
            return *slot - 1;
    }
    unsigned char header[5];
    std::size_t headerSize = 0;
    for (auto length = static_cast<std::uint32_t>(text.size());; length >>= 7) {
        header[headerSize++] = static_cast<unsigned char>((length & 0x7F) | (length > 0x7F ? 0x80 : 0));
        if (length <= 0x7F)
            break;
    }
    const std::size_t needed = headerSize + text.size();
    if (m_textChunks.empty() || extra.textCapacity - extra.textUsed < needed) {
        const std::size_t grown =
            m_textChunks.empty() ? kFirstTextChunk : std::min(2 * extra.textCapacity, kTextChunk);
        const std::size_t capacity = std::max(needed, grown);
        m_textChunks.reserve(m_textChunks.size() + 1);
        if (capacity < kTextChunk) {
            extra.smallTexts.reserve(extra.smallTexts.size() + 1);
            extra.smallTexts.emplace_back(new char[capacity]);
            m_textChunks.push_back(extra.smallTexts.back().get());
        } else {
            m_textChunks.push_back(extra.pages.take(capacity));
        }
        extra.textCapacity = capacity;
        extra.textUsed = 0;
    }
    char* at = m_textChunks.back() + extra.textUsed;
    std::memcpy(at, header, headerSize);
    if (!text.empty())
        std::memcpy(at + headerSize, text.data(), text.size());
    const std::uint64_t reference =
        (static_cast<std::uint64_t>(m_textChunks.size() - 1) << 32) | extra.textUsed;
    extra.textUsed += needed;
    if (slot != nullptr)
        *slot = reference + 1;
    return reference;
}

KXLDocument::NodeId KXLDocument::appendNode(NodeId parent)
{
    if (m_blocks.empty())
        makeStorage();
    if (m_nodeCount == std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("a document holds at most 4294967295 nodes");
    const NodeId id = m_nodeCount;
    if (id == m_extra->firstBlockCapacity && id < kNodesPerBlock) {
        const std::size_t capacity = std::min(2 * m_extra->firstBlockCapacity, kNodesPerBlock);
        std::unique_ptr<Node[]> grown(new Node[capacity]);
        std::memcpy(grown.get(), m_blocks[0], id * sizeof(Node));
        m_extra->firstBlock = std::move(grown);
        m_blocks[0] = m_extra->firstBlock.get();
        m_extra->firstBlockCapacity = capacity;
    } else if ((id & (kNodesPerBlock - 1)) == 0) {
        m_blocks.reserve(m_blocks.size() + 1);
        Node* const block = reinterpret_cast<Node*>(m_extra->pages.take(kNodesPerBlock * sizeof(Node)));
        std::uninitialized_default_construct_n(block, kNodesPerBlock); // no code: Node is trivial
        m_blocks.push_back(block);
    }
    ++m_nodeCount;
    at(id) = Node{};
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
    if (m_blocks.empty())
        makeStorage();
    const std::uint64_t text = addText(name);
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
    const std::uint64_t reference = addText(text);
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
    KXLStamps& stamps = m_extra->stamps[element];
    at(element).stamped = true;
    return stamps;
}

bool KXLDocument::operator==(const KXLDocument& other) const
{
    if (m_kind != other.m_kind)
        return false;
    // Iterative: the depth of a document is not this function's to bound.
    std::vector<std::pair<KXLNodeRef, KXLNodeRef>> pending{{root(), other.root()}};
    const KXLStamps none;
    while (!pending.empty()) {
        const auto [a, b] = pending.back();
        pending.pop_back();
        KXLNodeRef x = a.firstChild();
        KXLNodeRef y = b.firstChild();
        for (; x && y; x = x.nextSibling(), y = y.nextSibling()) {
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

const KXLStamps* KXLNodeRef::stampsOf() const
{
    const auto& all = m_document->m_extra->stamps;
    const auto found = all.find(m_id);
    return found == all.end() || found->second.empty() ? nullptr : &found->second;
}

} // namespace KXL
