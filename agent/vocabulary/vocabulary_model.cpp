#include "agent/vocabulary/vocabulary_model.h"

#include <algorithm>

#include "common/constant_index.h"
#include "common/text_prefix.h"

namespace KXL {

namespace {

bool isPlainElement(KXLNodeRef node, int tag)
{
    return node.isElement() && node.tag() == tag && !node.stamped();
}

bool isBare(KXLNodeRef element)
{
    return element.valueKind() == KXLValueKind::None && !element.stamped();
}

// A category definition: element 1264 holding one text child 1010 and nothing else.
std::optional<std::string_view> matchCategory(KXLNodeRef node)
{
    if (!isPlainElement(node, kTagCategory) || node.valueKind() != KXLValueKind::None)
        return std::nullopt;
    const KXLNodeRef name = node.firstChild();
    if (!name || name.nextSibling() || !isPlainElement(name, kTagId) || name.firstChild() ||
        name.valueKind() != KXLValueKind::String)
        return std::nullopt;
    return name.text();
}

// The leaves of the known entry shapes, one bit each; a shape is a set of them, each once.
enum Role : unsigned {
    kCode = 1,
    kGuestMark = 2,
    kExperimentalMark = 4,
    kAdapterMark = 8,
    kIdentifierLeaf = 16,
    kNameLeaf = 32,
    kUnknownLeaf = 64,
};
constexpr unsigned kGuestRoles = kCode | kGuestMark | kIdentifierLeaf | kNameLeaf;
constexpr unsigned kAdapterRoles = kCode | kAdapterMark | kNameLeaf;

Role roleOf(KXLNodeRef leaf)
{
    const KXLValueKind kind = leaf.valueKind();
    switch (leaf.tag()) {
    case kTagId: return kind == KXLValueKind::Int ? kCode : kUnknownLeaf;
    case kTagIdentifier: return kind == KXLValueKind::String ? kIdentifierLeaf : kUnknownLeaf;
    case kTagDisplayName: return kind == KXLValueKind::String ? kNameLeaf : kUnknownLeaf;
    case kTagCategory:
        if (kind == KXLValueKind::String) {
            const std::string_view mark = leaf.text();
            if (mark == kGuestCategory)
                return kGuestMark;
            if (mark == kExperimentalCategory)
                return kExperimentalMark;
            if (mark == kAdapterCategory)
                return kAdapterMark;
        }
        return kUnknownLeaf;
    default: return kUnknownLeaf;
    }
}

bool fits(KXLNodeRef leaf, int tag, std::optional<std::string_view> text = std::nullopt)
{
    return leaf.tag() == tag && leaf.valueKind() == KXLValueKind::String && (!text || leaf.text() == *text);
}

// The children of an entry (element 1017 without value or stamps) made only of childless,
// unstamped value leaves and of the guest OS's named values, each once: what every known
// shape is made of. The leaves' roles are taken as they come, and, while the version entry
// is still wanted, whether they are its leaves (vocversion, vocabulary, the stamp 1307 and
// the description 1303, in this order).
class EntryParts {
public:
    EntryParts(std::uint32_t index, bool versionWanted) : m_versionFits(versionWanted) { guest.index = index; }

    bool read(KXLNodeRef entry)
    {
        if (!isPlainElement(entry, kTagEntry) || entry.valueKind() != KXLValueKind::None)
            return false;
        for (KXLNodeRef child : entry.children()) {
            if (child.isNamed()) {
                if (!readNamed(child))
                    return false;
                continue;
            }
            if (child.stamped() || child.firstChild() || child.valueKind() == KXLValueKind::None)
                return false;
            readLeaf(child);
        }
        return true;
    }

    bool isVersion() const { return m_versionFits && leafCount == 4 && namedCount == 0; }

    unsigned roles = 0; // of the leaves, each once; with kUnknownLeaf when one is none or repeats
    std::size_t leafCount = 0;
    std::size_t namedCount = 0;
    // The leaves as a guest OS entry holds them (an adapter's code and name too), filled in
    // place, the index first, and handed on as they are: fields stored one by one and then
    // copied at once stall until the stores are done (a sixth of BM_Classify).
    GuestEntry guest{};
    std::string_view stamp; // the version entry's
    std::string_view description;

private:
    bool m_versionFits;
    unsigned m_namedSeen = 0; // one bit by GuestValue

    void readLeaf(KXLNodeRef leaf)
    {
        const Role role = roleOf(leaf);
        roles |= (roles & role) != 0 ? kUnknownLeaf : role;
        if (role == kCode)
            guest.code = static_cast<std::uint32_t>(leaf.number());
        else if (role == kIdentifierLeaf)
            guest.identifier = leaf.text();
        else if (role == kNameLeaf)
            guest.displayName = leaf.text();
        else if (role == kExperimentalMark)
            guest.experimental = true;
        if (m_versionFits)
            m_versionFits = fitsVersion(leaf);
        ++leafCount;
    }

    bool fitsVersion(KXLNodeRef leaf)
    {
        switch (leafCount) {
        case 0: return fits(leaf, kTagId, kVersionId);
        case 1: return fits(leaf, kTagCategory, kVersionMark);
        case 2: stamp = leaf.text(); return fits(leaf, kTagVocabulary);
        case 3: description = leaf.text(); return fits(leaf, kTagDescription);
        default: return false;
        }
    }

    bool readNamed(KXLNodeRef named)
    {
        const std::size_t value = indexAmong<kGuestValueNames>(named.name());
        if (value == kGuestValueCount || (m_namedSeen & (1u << value)) != 0)
            return false;
        m_namedSeen |= 1u << value;
        guest.values[value] = named.number();
        ++namedCount;
        return true;
    }
};

// Keeps every entry in the lists of its kind.
class Collector : public EntryVisitor {
public:
    explicit Collector(Vocabulary& vocabulary) : m_vocabulary(vocabulary) {}

    void version(const VersionEntry& entry) override { m_vocabulary.version = entry; }
    void category(const CategoryEntry& entry) override { m_vocabulary.categories.push_back(entry); }
    void adapter(const AdapterEntry& entry) override { m_vocabulary.adapters.push_back(entry); }
    void guest(const GuestEntry& entry) override { m_vocabulary.guests.push_back(entry); }
    void other(const OtherEntry& entry) override { m_vocabulary.others.push_back(entry); }

private:
    Vocabulary& m_vocabulary;
};

} // namespace

bool Vocabulary::defines(std::string_view category) const
{
    return std::any_of(categories.begin(), categories.end(),
                       [&](const CategoryEntry& entry) { return entry.name == category; });
}

VocabularyFrame vocabularyFrame(const KXLDocument& document)
{
    VocabularyFrame frame;
    frame.root = document.root().firstChild();
    for (KXLNodeRef node = frame.root; node; node = node.nextSibling())
        ++frame.roots;
    if (frame.roots != 1 || !frame.root.isElement() || frame.root.tag() != kTagVocabulary)
        return frame;
    frame.rootBare = isBare(frame.root);
    const KXLNodeRef container = frame.root.firstChild();
    if (!container || container.nextSibling() || !container.isElement() || container.tag() != kTagContainer)
        return frame;
    frame.container = container;
    frame.containerBare = isBare(container);
    return frame;
}

KXLNodeRef vocabularyContainer(const KXLDocument& document)
{
    const VocabularyFrame frame = vocabularyFrame(document);
    return frame.rootBare && frame.containerBare ? frame.container : KXLNodeRef();
}

void classifyEntries(KXLNodeRef container, EntryVisitor& visitor)
{
    if (!container)
        return;
    std::uint32_t index = 0;
    bool versionSeen = false;
    for (KXLNodeRef node : container.children()) {
        ++index;
        if (const auto name = matchCategory(node)) {
            visitor.category({index, *name});
            continue;
        }
        EntryParts parts(index, !versionSeen);
        if (!parts.read(node))
            visitor.other({index, node});
        else if (parts.isVersion()) {
            versionSeen = true;
            visitor.version({index, parts.stamp, parts.description});
        } else if (parts.namedCount == 0 && parts.roles == kAdapterRoles)
            visitor.adapter({index, static_cast<int>(parts.guest.code), parts.guest.displayName});
        else if (parts.namedCount == kGuestValueCount && (parts.roles & ~kExperimentalMark) == kGuestRoles)
            visitor.guest(parts.guest);
        else
            visitor.other({index, node});
    }
}

std::size_t mostGuests(const KXLDocument& document)
{
    constexpr std::size_t kGuestNodes = 1 + 4 + kGuestValueCount; // the entry, its leaves, named values
    return document.nodeCount() / kGuestNodes;
}

Vocabulary classifyVocabulary(const KXLDocument& document)
{
    Vocabulary vocabulary;
    const KXLNodeRef container = vocabularyContainer(document);
    if (!container)
        return vocabulary;
    // Room for as many guest OSes as the document could hold, at once, costs neither copies
    // as the list grows nor a walk to count the entries first (one sibling after another,
    // each far from the last: a third of BM_Classify); the pages of room never written are
    // never touched.
    vocabulary.guests.reserve(mostGuests(document));
    Collector collector(vocabulary);
    classifyEntries(container, collector);
    return vocabulary;
}

std::vector<std::string_view> marksOf(KXLNodeRef entry)
{
    std::vector<std::string_view> marks;
    for (KXLNodeRef child : entry.children())
        if (child.isElement() && child.tag() == kTagCategory && child.valueKind() == KXLValueKind::String)
            marks.push_back(child.text());
    return marks;
}

std::optional<EntryKey> entryKey(KXLNodeRef entry)
{
    const std::vector<std::string_view> marks = marksOf(entry);
    if (marks.empty())
        return std::nullopt;
    for (KXLNodeRef child : entry.children()) {
        if (!child.isElement() || child.tag() != kTagId)
            continue;
        if (child.valueKind() == KXLValueKind::Int)
            return EntryKey{std::string(marks.front()), child.number(), {}};
        if (child.valueKind() == KXLValueKind::String)
            return EntryKey{std::string(marks.front()), std::nullopt, std::string(child.text())};
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<VersionStamp> parseVersionStamp(std::string_view stamp)
{
    constexpr std::string_view kHead = "$Id: ";
    constexpr std::string_view kSuffixThenSpace = ".voc ";
    constexpr std::string_view kSuffix = kSuffixThenSpace.substr(0, kSuffixThenSpace.size() - 1);
    const std::optional<std::string_view> headless = afterPrefix(stamp, kHead);
    if (!headless)
        return std::nullopt;
    const std::string_view after = *headless;
    const std::size_t end = after.rfind(kSuffixThenSpace);
    const std::string_view file =
        after.substr(0, end == std::string_view::npos ? after.find(' ') : end + kSuffix.size());
    const std::size_t slash = file.rfind('/');
    const std::size_t name = slash == std::string_view::npos ? 0 : slash + 1;
    if (file.size() <= name + kSuffix.size() || file.substr(file.size() - kSuffix.size()) != kSuffix)
        return std::nullopt;
    return VersionStamp{file.substr(0, name), file.substr(name, file.size() - kSuffix.size() - name),
                        after.substr(file.size())};
}

std::optional<std::string> vocabularyName(const KXLDocument& document)
{
    const KXLNodeRef container = vocabularyContainer(document);
    if (!container)
        return std::nullopt;
    // The version entry comes first as a rule: no need to classify the rest.
    for (KXLNodeRef node : container.children()) {
        EntryParts parts(0, true);
        if (parts.read(node) && parts.isVersion()) {
            const std::optional<VersionStamp> stamp = parseVersionStamp(parts.stamp);
            return stamp ? std::optional<std::string>(stamp->name) : std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace KXL
