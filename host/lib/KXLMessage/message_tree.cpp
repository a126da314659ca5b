#include "host/KXLMessageTree.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

namespace KXL {

namespace {

constexpr std::size_t kTextChunk = std::size_t{1} << 16; // the offsets a text reference holds
constexpr std::size_t kStampsPerChunk = 64;
// Names of named values repeat in every entry, in the same order: each is stored once
// while it keeps recurring, its slot the count of named values its parent was given just
// before it, so no hash is computed; one name evicts another of its slot. Values mostly
// differ; those that repeat (a category in every entry) come back under the same tag with
// the same length, so the last one of each is kept to compare, which costs a unique value
// no more than a check of its length and last byte mostly.
constexpr std::size_t kNameSlots = 256;
constexpr std::size_t kValueSlots = 256;

// Blocks and text chunks, owned. Once a document holds a region's worth, the rest are carved
// from 2 MiB regions mapped apart and advised for huge pages: a large tree then takes a page
// fault per region rather than one per 4 KiB page (README, Performance). A small document
// never touches a whole huge page.
class Storage {
public:
    char* take(std::size_t size)
    {
        m_taken += size;
        // Regions hold whole chunks, so what is carved stays aligned; a larger text has its own.
        if (m_taken <= kRegion || size % kTextChunk != 0 || size > kRegion) {
            m_pieces.reserve(m_pieces.size() + 1);
            m_pieces.emplace_back(new char[size]);
            return m_pieces.back().get();
        }
        if (m_left < size) {
            m_regions.reserve(m_regions.size() + 1);
            m_regions.emplace_back(mapRegion());
            m_next = m_regions.back().get();
            m_left = kRegion;
        }
        m_left -= size;
        return std::exchange(m_next, m_next + size);
    }

private:
    static constexpr std::size_t kRegion = std::size_t{2} << 20;
    struct Unmap {
        void operator()(char* region) const { munmap(region, kRegion); }
    };
    std::vector<std::unique_ptr<char[]>> m_pieces;
    std::vector<std::unique_ptr<char, Unmap>> m_regions;
    std::size_t m_taken = 0;
    char* m_next = nullptr; // in the last region
    std::size_t m_left = 0;

    // Mapped, not allocated: regions freed amid the heap would be left resident there.
    static char* mapRegion()
    {
        void* const mapped = mmap(nullptr, 2 * kRegion, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        char* const start = static_cast<char*>(mapped);
        char* const region = start + (-reinterpret_cast<std::uintptr_t>(start) & (kRegion - 1));
        if (region != start)
            munmap(start, static_cast<std::size_t>(region - start));
        munmap(region + kRegion, static_cast<std::size_t>(start + kRegion - region));
        madvise(region, kRegion, MADV_HUGEPAGE); // a hint: refused, the pages are plain ones
        return region;
    }
};

enum Stamped : std::uint8_t { kUnstamped = 0, kOwnStamps = 1, kSharedStamps = 2 };
enum StampPresent : std::uint8_t {
    kHasNs = 1,
    kHasNsid = 2,
    kHasType = 4,
    kHasTypeId = 8,
    kHasItemNSType = 16,
};

// The varint a text of the pool starts with; returns its size.
std::size_t lengthHeader(std::uint32_t length, char (&header)[5])
{
    std::size_t size = 0;
    for (;; length >>= 7) {
        header[size++] = static_cast<char>((length & 0x7F) | (length > 0x7F ? 0x80 : 0));
        if (length <= 0x7F)
            return size;
    }
}

void appendLengthPrefixed(std::string& out, std::string_view text)
{
    char header[5];
    out.append(header, lengthHeader(static_cast<std::uint32_t>(text.size()), header));
    out += text;
}

} // namespace

// An element's stamps, 24 bytes rather than the 144 of a KXLStamps: a file whose stamps all
// differ would otherwise need several times its size.
struct KXLDocument::StampRecord {
    // The present ones of namespace, type namespace and type, length-prefixed one after the
    // other as one text of the pool: a text reference + 1; 0: none.
    std::uint32_t texts;
    std::int32_t nsid;
    std::int32_t typeNsid;
    std::int32_t typeId;
    std::int32_t itemNSType;
    std::uint8_t present; // StampPresent bits
};

struct KXLDocument::Extra {
    Storage storage; // of the blocks and text chunks
    std::size_t textCapacity = 0; // of the last text chunk
    std::size_t textUsed = 0;
    std::array<std::uint32_t, kNameSlots> names{}; // a text reference + 1; 0: empty
    NodeId namedParent = 0; // of the last named value
    std::uint32_t namedCount = 0; // given to it in a row
    std::array<std::uint32_t, kValueSlots> values{}; // the same, by tag and length
    // Stamp records in chunks, in the order they were added; an element holds its index. A
    // record is its element's own until an element stamped next with equal stamps shares it;
    // only an own one is changed in place.
    std::vector<std::unique_ptr<StampRecord[]>> stamps;
    std::uint32_t stampCount = 0;
    // The record of each stamped element, by element id ascending: elements are mostly
    // stamped as they are appended, so this grows at its end.
    std::vector<std::pair<NodeId, std::uint32_t>> stampOf;
    std::uint32_t lastAdded = 0; // the index of the last record added + 1; 0: none
    NodeId lastAddedFor = 0; // the element it was added for
    std::string stampTexts; // scratch: the texts of the stamps being set
};

// Storage comes with the first node, so an empty document costs nothing to make.
KXLDocument::KXLDocument() = default;
KXLDocument::~KXLDocument()
{
    clearStorage();
}

KXLDocument::KXLDocument(KXLDocument&& other) noexcept
    : m_kind(other.m_kind), m_nodeCount(std::exchange(other.m_nodeCount, 0)),
      m_blocks(std::exchange(other.m_blocks, {})), m_textChunks(std::exchange(other.m_textChunks, {})),
      m_extra(std::move(other.m_extra))
{
}

KXLDocument& KXLDocument::operator=(KXLDocument&& other) noexcept
{
    if (this != &other) {
        clearStorage();
        m_kind = other.m_kind;
        m_nodeCount = std::exchange(other.m_nodeCount, 0);
        m_blocks = std::exchange(other.m_blocks, {});
        m_textChunks = std::exchange(other.m_textChunks, {});
        m_extra = std::move(other.m_extra);
    }
    return *this;
}

// A block or chunk at a time: a document of a million nodes is gone in a few hundred frees.
void KXLDocument::clearStorage() noexcept
{
    m_blocks.clear();
    m_textChunks.clear();
    m_extra.reset();
    m_nodeCount = 0;
}

void KXLDocument::makeStorage()
{
    m_extra = std::make_unique<Extra>();
    m_blocks.reserve(1);
    // Untouched until appended to, a block costs a small document no memory.
    m_blocks.push_back(newBlock());
    m_blocks[0][0] = Node{0, kLastChildFlag, 0, 0}; // the root, which no sibling follows
    m_nodeCount = 1;
}

KXLDocument::Node* KXLDocument::newBlock()
{
    return new (m_extra->storage.take(sizeof(Node) * kNodesPerBlock)) Node[kNodesPerBlock];
}

std::uint32_t KXLDocument::addText(std::string_view text)
{
    if (text.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("a text is larger than 4 GiB");
    Extra& extra = *m_extra;
    char header[5];
    const std::size_t headerSize = lengthHeader(static_cast<std::uint32_t>(text.size()), header);
    const std::size_t needed = headerSize + text.size();
    // A text larger than a chunk gets one of its own, which it fills: a reference holds
    // only offsets below kTextChunk.
    static_assert(kTextChunk == std::size_t{1} << kTextOffsetBits);
    if (m_textChunks.empty() || extra.textCapacity - extra.textUsed < needed) {
        if (m_textChunks.size() == (std::size_t{1} << (32 - kTextOffsetBits)))
            throw std::length_error("a document holds at most about 4 GiB of texts");
        const std::size_t capacity = std::max(needed, kTextChunk);
        m_textChunks.reserve(m_textChunks.size() + 1);
        m_textChunks.push_back(m_extra->storage.take(capacity));
        extra.textCapacity = capacity;
        extra.textUsed = 0;
    }
    char* at = m_textChunks.back() + extra.textUsed;
    std::memcpy(at, header, headerSize);
    if (!text.empty())
        std::memcpy(at + headerSize, text.data(), text.size());
    const auto reference =
        static_cast<std::uint32_t>(((m_textChunks.size() - 1) << kTextOffsetBits) | extra.textUsed);
    extra.textUsed += needed;
    return reference;
}

// Once a block, and apart from appendNode(), which runs once a node: the storage made (an
// empty document has no node, not even its root), or a block added within the ids' range.
[[gnu::noinline]] void KXLDocument::addBlock()
{
    if (m_blocks.empty())
        return makeStorage();
    if (m_nodeCount > kIdMask)
        throw std::length_error("a document holds at most 268435456 nodes");
    m_blocks.reserve(m_blocks.size() + 1);
    m_blocks.push_back(newBlock());
}

KXLDocument::NodeId KXLDocument::appendNode(NodeId parent)
{
    if ((m_nodeCount & (kNodesPerBlock - 1)) == 0)
        addBlock();
    const NodeId id = m_nodeCount++;
    Node& up = at(parent);
    const std::uint32_t last = up.last();
    if (last == 0) {
        at(id) = Node{0, kLastChildFlag | id, 0, 0};
    } else {
        Node& before = at(last);
        at(id) = Node{0, kLastChildFlag | before.next(), 0, 0};
        before.nextAndFlags = (before.nextAndFlags & ~(kLastChildFlag | kIdMask)) | id;
    }
    up.setLast(id);
    return id;
}

KXLDocument::NodeId KXLDocument::appendElement(NodeId parent, int tag)
{
    const NodeId id = appendNode(parent);
    at(id).tagOrName = tag;
    return id;
}

KXLDocument::NodeId KXLDocument::appendNamed(NodeId parent, std::string_view name, int value)
{
    if (m_blocks.empty())
        makeStorage();
    Extra& extra = *m_extra;
    extra.namedCount = parent == extra.namedParent ? extra.namedCount + 1 : 0;
    extra.namedParent = parent;
    std::uint32_t& slot = extra.names[extra.namedCount & (kNameSlots - 1)];
    if (slot == 0 || textAt(slot - 1) != name)
        slot = addText(name) + 1;
    const NodeId id = appendNode(parent);
    Node& node = at(id);
    node.nextAndFlags |= kNamedFlag;
    node.setKind(KXLValueKind::Int);
    node.value = static_cast<std::uint32_t>(value);
    node.tagOrName = static_cast<std::int32_t>(slot - 1);
    return id;
}

std::uint32_t KXLDocument::stampIndex(NodeId element) const
{
    const auto& list = m_extra->stampOf;
    return std::lower_bound(list.begin(), list.end(), std::make_pair(element, std::uint32_t{0}))->second;
}

void KXLDocument::setText(NodeId element, std::string_view text)
{
    // A replaced text stays in the pool: values are rarely written twice.
    Node& node = at(element);
    const auto tag = static_cast<std::uint32_t>(node.tagOrName);
    const std::size_t slot = (std::size_t{tag} * 31 + text.size()) & (kValueSlots - 1);
    std::uint32_t& last = m_extra->values[slot];
    // Unique values of one length mostly differ in their last byte (numbered names): a
    // byte compared first spares most of them a call to memcmp.
    const std::string_view kept = last == 0 ? std::string_view() : textAt(last - 1);
    if (last == 0 || kept.size() != text.size() || (!text.empty() && kept.back() != text.back()) || kept != text)
        last = addText(text) + 1;
    node.setKind(KXLValueKind::String);
    node.value = last - 1;
}

void KXLDocument::setInt(NodeId element, int value)
{
    Node& node = at(element);
    node.setKind(KXLValueKind::Int);
    node.value = static_cast<std::uint32_t>(value);
}

KXLDocument::StampRecord& KXLDocument::recordAt(std::uint32_t index) const
{
    static_assert(sizeof(StampRecord) == 24, "a stamp record is meant to stay at 24 bytes");
    return m_extra->stamps[index / kStampsPerChunk][index % kStampsPerChunk];
}

// The record of `stamps` but for its texts, which are left in m_extra->stampTexts.
KXLDocument::StampRecord KXLDocument::encode(const KXLStamps& stamps)
{
    std::string& texts = m_extra->stampTexts;
    texts.clear();
    StampRecord record{};
    if (stamps.ns) {
        record.present |= kHasNs;
        appendLengthPrefixed(texts, *stamps.ns);
    }
    if (stamps.nsid) {
        record.present |= kHasNsid;
        record.nsid = *stamps.nsid;
    }
    if (stamps.type) {
        record.present |= kHasType;
        appendLengthPrefixed(texts, stamps.type->first);
        appendLengthPrefixed(texts, stamps.type->second);
    }
    if (stamps.typeId) {
        record.present |= kHasTypeId;
        record.typeNsid = stamps.typeId->first;
        record.typeId = stamps.typeId->second;
    }
    if (stamps.itemNSType) {
        record.present |= kHasItemNSType;
        record.itemNSType = *stamps.itemNSType;
    }
    return record;
}

// The texts encode left, as a record holds them.
std::uint32_t KXLDocument::addStampTexts()
{
    const std::string& texts = m_extra->stampTexts;
    return texts.empty() ? 0 : addText(texts) + 1;
}

bool KXLDocument::sameTexts(const StampRecord& record) const
{
    const std::string& texts = m_extra->stampTexts;
    return record.texts == 0 ? texts.empty() : textAt(record.texts - 1) == texts;
}

bool KXLDocument::sameRecord(const StampRecord& stored, const StampRecord& made) const
{
    return stored.present == made.present && stored.nsid == made.nsid && stored.typeNsid == made.typeNsid &&
        stored.typeId == made.typeId && stored.itemNSType == made.itemNSType && sameTexts(stored);
}

KXLStamps KXLDocument::stampsOf(NodeId element) const
{
    const StampRecord& record = recordAt(stampIndex(element));
    KXLStamps stamps;
    const char* at = record.texts == 0 ? nullptr : textAt(record.texts - 1).data();
    if (record.present & kHasNs)
        stamps.ns.emplace(lengthPrefixed(at));
    if (record.present & kHasNsid)
        stamps.nsid = record.nsid;
    if (record.present & kHasType) {
        const std::string_view ns = lengthPrefixed(at);
        stamps.type.emplace(ns, lengthPrefixed(at));
    }
    if (record.present & kHasTypeId)
        stamps.typeId.emplace(record.typeNsid, record.typeId);
    if (record.present & kHasItemNSType)
        stamps.itemNSType = record.itemNSType;
    return stamps;
}

void KXLDocument::attachStamps(NodeId element, std::uint32_t index, std::uint8_t how)
{
    auto& list = m_extra->stampOf;
    auto place = list.end();
    if (!list.empty() && list.back().first >= element)
        place = std::lower_bound(list.begin(), list.end(), std::make_pair(element, std::uint32_t{0}));
    const bool listed = place != list.end() && place->first == element;
    if (how == kUnstamped) {
        if (listed)
            list.erase(place);
    } else if (listed) {
        place->second = index;
    } else {
        list.insert(place, {element, index});
    }
    // Only once the list holds it: a failed insert leaves the element as it was.
    at(element).setStamped(how);
}

void KXLDocument::setStamps(NodeId element, const KXLStamps& stamps)
{
    Extra& extra = *m_extra;
    if (stamps.empty()) {
        // An own record left behind costs 24 bytes; elements are rarely unstamped.
        attachStamps(element, 0, kUnstamped);
        return;
    }
    StampRecord record = encode(stamps);
    if (at(element).stamped() == kOwnStamps) {
        StampRecord& own = recordAt(stampIndex(element));
        record.texts = sameTexts(own) ? own.texts : addStampTexts();
        own = record;
        return;
    }
    if (extra.lastAdded != 0 && sameRecord(recordAt(extra.lastAdded - 1), record)) {
        Node& first = at(extra.lastAddedFor);
        // Unless it was stamped anew since, the element the record was added for shares it now.
        if (first.stamped() == kOwnStamps && stampIndex(extra.lastAddedFor) == extra.lastAdded - 1)
            first.setStamped(kSharedStamps);
        attachStamps(element, extra.lastAdded - 1, kSharedStamps);
        return;
    }
    if (extra.stampCount == std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("a document holds at most 4294967295 stamped elements");
    if (extra.stampCount % kStampsPerChunk == 0) {
        extra.stamps.reserve(extra.stamps.size() + 1);
        extra.stamps.emplace_back(new StampRecord[kStampsPerChunk]);
    }
    record.texts = addStampTexts();
    recordAt(extra.stampCount) = record;
    extra.lastAdded = ++extra.stampCount;
    extra.lastAddedFor = element;
    attachStamps(element, extra.lastAdded - 1, kOwnStamps);
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
            if (x.isElement() != y.isElement() || x.tag() != y.tag() || x.name() != y.name() ||
                x.valueKind() != y.valueKind() || x.text() != y.text() || x.number() != y.number() ||
                x.stamps() != y.stamps())
                return false;
            pending.emplace_back(x, y);
        }
        if (x || y)
            return false;
    }
    return true;
}

} // namespace KXL
