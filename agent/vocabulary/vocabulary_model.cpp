#include "vocabulary_model.h"

#include <algorithm>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "agent/output/text_escape.h"

namespace KXL {

namespace {

// Tag roles of a vocabulary (docs/vocabulary.md).
constexpr int tagVocabulary = 1307; // the document's top element; in the version entry, the stamp
constexpr int tagContainer = 1044;
constexpr int tagEntry = 1017;
constexpr int tagCategory = 1264; // a definition in the container, a mark inside an entry
constexpr int tagId = 1010;
constexpr int tagDisplayName = 1026;
constexpr int tagIdentifier = 1846;
constexpr int tagDescription = 1303;

constexpr std::string_view versionMark = "vocabulary";
constexpr std::string_view experimentalCategory = "experimental";

bool hasStamps(KXLNodeRef node)
{
    return node.stamped();
}

bool isPlainElement(KXLNodeRef node, int tag)
{
    return node.isElement() && node.tag() == tag && !hasStamps(node);
}

// The content of an entry that is made only of value-holding leaves and named values.
// Matching takes parts out; an entry fits a shape when nothing is left over. No shape has
// more than five leaves or six named values, so a larger entry fits none and is not taken
// apart; small arrays keep the copy each shape matches on cheap.
class EntryParts {
public:
    static std::optional<EntryParts> of(KXLNodeRef entry)
    {
        if (!isPlainElement(entry, tagEntry) || entry.valueKind() != KXLValueKind::None)
            return std::nullopt;
        EntryParts parts;
        for (KXLNodeRef child : entry.children()) {
            if (child.isNamed()) {
                if (parts.m_namedCount == kMaxNamed)
                    return std::nullopt;
                parts.m_named[parts.m_namedCount++] = child;
                ++parts.m_namedLeft;
                continue;
            }
            if (hasStamps(child) || child.firstChild() || child.valueKind() == KXLValueKind::None ||
                parts.m_leafCount == kMaxLeaves)
                return std::nullopt;
            parts.m_leaves[parts.m_leafCount++] = child;
            ++parts.m_leavesLeft;
        }
        return parts;
    }

    KXLNodeRef take(int tag, KXLValueKind kind, std::optional<std::string_view> text = std::nullopt)
    {
        return takeFirst(m_leaves, m_leafCount, m_leavesTaken, m_leavesLeft,
                         [&](KXLNodeRef leaf) { return fits(leaf, tag, kind, text); });
    }

    // The first part not yet taken, when it is this leaf: for shapes whose order is fixed.
    KXLNodeRef takeNext(int tag, KXLValueKind kind, std::optional<std::string_view> text = std::nullopt)
    {
        for (std::size_t i = 0; i < m_leafCount; ++i) {
            const std::uint32_t bit = std::uint32_t{1} << i;
            if ((m_leavesTaken & bit) != 0)
                continue;
            if (!fits(m_leaves[i], tag, kind, text))
                return KXLNodeRef();
            m_leavesTaken |= bit;
            --m_leavesLeft;
            return m_leaves[i];
        }
        return KXLNodeRef();
    }

    std::optional<int> takeNamed(std::string_view name)
    {
        const KXLNodeRef named =
            takeFirst(m_named, m_namedCount, m_namedTaken, m_namedLeft,
                      [&](KXLNodeRef node) { return node.name() == name; });
        return named ? std::optional<int>(named.number()) : std::nullopt;
    }

    bool exhausted() const { return m_leavesLeft == 0 && m_namedLeft == 0; }
    // A shape of that many leaves and named values could fit: a cheap test before matching.
    bool sized(std::size_t leaves, std::size_t named) const
    {
        return m_leafCount == leaves && m_namedCount == named;
    }

private:
    static constexpr std::size_t kMaxLeaves = 5;
    static constexpr std::size_t kMaxNamed = kGuestValueNames.size();
    std::array<KXLNodeRef, kMaxLeaves> m_leaves;
    std::array<KXLNodeRef, kMaxNamed> m_named;
    std::size_t m_leafCount = 0;
    std::size_t m_namedCount = 0;
    // Taken parts are marked, not removed: matching keeps the others in order for free.
    std::uint32_t m_leavesTaken = 0;
    std::uint32_t m_namedTaken = 0;
    std::size_t m_leavesLeft = 0;
    std::size_t m_namedLeft = 0;

    static bool fits(KXLNodeRef leaf, int tag, KXLValueKind kind, std::optional<std::string_view> text)
    {
        return leaf.tag() == tag && leaf.valueKind() == kind && (!text || leaf.text() == *text);
    }

    template <typename Nodes, typename Matches>
    static KXLNodeRef takeFirst(const Nodes& nodes, std::size_t count,
                                std::uint32_t& taken, std::size_t& left, Matches matches)
    {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t bit = std::uint32_t{1} << i;
            if ((taken & bit) != 0 || !matches(nodes[i]))
                continue;
            taken |= bit;
            --left;
            return nodes[i];
        }
        return KXLNodeRef();
    }
};

// Each matcher takes parts out of its own copy, made only when the sizes fit.
std::optional<VersionEntry> matchVersion(const std::optional<EntryParts>& entry)
{
    if (!entry || !entry->sized(4, 0))
        return std::nullopt;
    EntryParts parts = *entry;
    if (!parts.takeNext(tagId, KXLValueKind::String, "vocversion") ||
        !parts.takeNext(tagCategory, KXLValueKind::String, versionMark))
        return std::nullopt;
    const KXLNodeRef stamp = parts.takeNext(tagVocabulary, KXLValueKind::String);
    const KXLNodeRef description = parts.takeNext(tagDescription, KXLValueKind::String);
    if (!stamp || !description || !parts.exhausted())
        return std::nullopt;
    return VersionEntry{stamp.text(), description.text()};
}

// "$Id: NAME.voc GUID $", the GUID as KXLGUIDBase::toString writes it.
bool isVersionStamp(std::string_view stamp)
{
    constexpr std::string_view head = "$Id: ";
    constexpr std::string_view tail = " $";
    constexpr std::size_t guidLength = 36;
    if (stamp.size() < head.size() + 5 + 1 + guidLength + tail.size() ||
        stamp.substr(0, head.size()) != head || stamp.substr(stamp.size() - tail.size()) != tail)
        return false;
    const std::string_view guid = stamp.substr(stamp.size() - tail.size() - guidLength, guidLength);
    const std::string_view file = stamp.substr(head.size(), stamp.size() - head.size() - tail.size() -
                                                                guidLength - 1);
    if (stamp[stamp.size() - tail.size() - guidLength - 1] != ' ' || file.size() < 5 ||
        file.substr(file.size() - 4) != ".voc" || file.find('/') != std::string_view::npos)
        return false;
    for (std::size_t i = 0; i < guid.size(); ++i) {
        const char c = guid[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::optional<std::string_view> matchCategory(KXLNodeRef node)
{
    if (!isPlainElement(node, tagCategory) || node.valueKind() != KXLValueKind::None)
        return std::nullopt;
    const KXLNodeRef name = node.firstChild();
    if (!name || name.nextSibling() || !isPlainElement(name, tagId) || name.firstChild() ||
        name.valueKind() != KXLValueKind::String)
        return std::nullopt;
    return name.text();
}

std::optional<AdapterEntry> matchAdapter(const std::optional<EntryParts>& entry)
{
    if (!entry || !entry->sized(3, 0))
        return std::nullopt;
    EntryParts parts = *entry;
    const KXLNodeRef id = parts.take(tagId, KXLValueKind::Int);
    const KXLNodeRef mark = parts.take(tagCategory, KXLValueKind::String, kAdapterCategory);
    const KXLNodeRef name = parts.take(tagDisplayName, KXLValueKind::String);
    if (!id || !mark || !name || !parts.exhausted())
        return std::nullopt;
    return AdapterEntry{id.number(), name.text()};
}

std::optional<GuestEntry> matchGuest(const std::optional<EntryParts>& entry)
{
    if (!entry || !(entry->sized(4, kGuestValueNames.size()) || entry->sized(5, kGuestValueNames.size())))
        return std::nullopt;
    EntryParts parts = *entry;
    const KXLNodeRef code = parts.take(tagId, KXLValueKind::Int);
    const KXLNodeRef mark = parts.take(tagCategory, KXLValueKind::String, kGuestCategory);
    const bool experimental = static_cast<bool>(parts.take(tagCategory, KXLValueKind::String, experimentalCategory));
    const KXLNodeRef identifier = parts.take(tagIdentifier, KXLValueKind::String);
    const KXLNodeRef displayName = parts.take(tagDisplayName, KXLValueKind::String);
    if (!code || !mark || !identifier || !displayName)
        return std::nullopt;
    GuestEntry guest{static_cast<std::uint32_t>(code.number()), identifier.text(),
        displayName.text(), experimental, {}};
    for (std::size_t i = 0; i < kGuestValueNames.size(); ++i) {
        const auto value = parts.takeNamed(kGuestValueNames[i]);
        if (!value)
            return std::nullopt;
        guest.values[i] = *value;
    }
    if (!parts.exhausted())
        return std::nullopt;
    return guest;
}

} // namespace

KXLNodeRef vocabularyContainer(const KXLDocument& document)
{
    const KXLNodeRef root = document.root().firstChild();
    if (!root || root.nextSibling() || !isPlainElement(root, tagVocabulary) ||
        root.valueKind() != KXLValueKind::None)
        return {};
    const KXLNodeRef container = root.firstChild();
    if (!container || container.nextSibling() || !isPlainElement(container, tagContainer) ||
        container.valueKind() != KXLValueKind::None)
        return {};
    return container;
}

VocabularyItem ItemClassifier::classify(KXLNodeRef node)
{
    VocabularyItem item;
    item.index = ++m_index;
    item.node = node;
    if (auto category = matchCategory(node)) {
        item.kind = VocabularyItem::Kind::Category;
        item.category = *category;
        return item;
    }
    const std::optional<EntryParts> parts = EntryParts::of(node); // taken apart once
    if (auto version = m_versionSeen ? std::nullopt : matchVersion(parts)) {
        m_versionSeen = true;
        item.kind = VocabularyItem::Kind::Version;
        item.version = *version;
    } else if (auto adapter = matchAdapter(parts)) {
        item.kind = VocabularyItem::Kind::Adapter;
        item.adapter = *adapter;
    } else if (auto guest = matchGuest(parts)) {
        item.kind = VocabularyItem::Kind::Guest;
        item.guest = *guest;
    }
    return item;
}

std::string guestCode(std::uint32_t code)
{
    return std::to_string(code);
}

namespace {

using Severity = VocabularyProblem::Severity;
using Part = VocabularyProblem::Part;

// Where a problem lies: the text that names it and the part of the document it points at.
struct Place {
    std::string text;
    Part part = Part::Document;
    std::size_t item = 0;
};

// The marks of an entry: its direct text children 1264, in order.
std::vector<std::string_view> marksOf(KXLNodeRef entry)
{
    std::vector<std::string_view> marks;
    for (KXLNodeRef child : entry.children())
        if (child.isElement() && child.tag() == tagCategory && child.valueKind() == KXLValueKind::String)
            marks.push_back(child.text());
    return marks;
}

// Its id (first child 1010) as a key: kind of value, then the value.
std::optional<std::string> idKeyOf(KXLNodeRef entry)
{
    for (KXLNodeRef child : entry.children()) {
        if (!child.isElement() || child.tag() != tagId)
            continue;
        if (child.valueKind() == KXLValueKind::Int)
            return "i" + std::to_string(child.number());
        if (child.valueKind() == KXLValueKind::String)
            return "s" + std::string(child.text());
        return std::nullopt;
    }
    return std::nullopt;
}

std::string describeId(const std::string& key)
{
    return key[0] == 'i' ? key.substr(1) : quoteText(std::string_view(key).substr(1));
}

class Checker {
public:
    explicit Checker(std::vector<VocabularyProblem>& problems) : m_problems(problems) {}

    void check(const KXLDocument& document)
    {
        if (document.kind() != 0)
            error({"document"}, "the message kind is " + std::to_string(document.kind()) +
                " (a vocabulary is of kind 0)");
        const KXLNodeRef container = checkShape(document);
        if (!container)
            return;
        forEachItem(container, [&](const VocabularyItem& item) { checkItem(item); });
        if (!m_versionSeen)
            error({"container", Part::Container}, "no version entry (vocversion) among the items");
        for (const Mark& mark : m_marks)
            if (m_defined.count(mark.name) == 0)
                error(mark.location, "the mark " + quoteText(mark.name) + " names no defined category");
        for (const auto& [name, location] : m_kindMarks)
            if (m_defined.count(name) == 0)
                error(location, "the mark " + quoteText(name) + " names no defined category");
        for (const VocabularyItem& guest : m_adapterReferences)
            if (m_adapterIds.count(guest.guest.values[4]) == 0)
                error(itemLocation(guest), "adapter_type " + std::to_string(guest.guest.values[4]) +
                    " is the id of no adapter");
    }

private:
    struct Mark {
        std::string name;
        Place location;
    };
    struct FirstSeen {
        std::size_t index;
        bool experimental;
        bool pairWarned;
    };

    std::vector<VocabularyProblem>& m_problems;
    bool m_versionSeen = false;
    std::unordered_set<std::string> m_defined;
    std::vector<Mark> m_marks; // checked once every definition is known
    std::map<std::string, Place, std::less<>> m_kindMarks; // marks of known kinds: first seen
    std::unordered_set<int> m_adapterIds;
    std::vector<VocabularyItem> m_adapterReferences; // guest OSes whose adapter is unknown so far
    std::unordered_map<std::string, FirstSeen> m_ids; // "kind\0id" of other entries
    std::unordered_map<std::uint64_t, FirstSeen> m_numberIds; // adapters and guest OSes

    void error(Place location, std::string message)
    {
        m_problems.push_back({Severity::Error, std::move(location.text), std::move(message),
                              location.part, location.item});
    }
    void warning(Place location, std::string message)
    {
        m_problems.push_back({Severity::Warning, std::move(location.text), std::move(message),
                              location.part, location.item});
    }

    static bool bare(KXLNodeRef element)
    {
        return element.valueKind() == KXLValueKind::None && !hasStamps(element);
    }

    // The container, when the document has one to look into; its value or stamps are
    // errors that do not stop the check of its items.
    KXLNodeRef checkShape(const KXLDocument& document)
    {
        const KXLNodeRef root = document.root().firstChild();
        if (!root) {
            error({"document"}, "the document is empty (expected one element 1307)");
            return {};
        }
        std::size_t roots = 0;
        for (KXLNodeRef node : document.roots()) {
            (void)node;
            ++roots;
        }
        if (roots != 1 || !root.isElement() || root.tag() != tagVocabulary) {
            error({"document"}, "expected one top-level element 1307, found " +
                std::to_string(roots) + " top-level node(s), the first " + describe(root));
            return {};
        }
        if (!bare(root))
            error({"element 1307", Part::Root}, "holds a value or a stamp");
        const KXLNodeRef container = root.firstChild();
        if (!container || container.nextSibling() || !container.isElement() ||
            container.tag() != tagContainer) {
            error({"element 1307", Part::Root}, "expected exactly one child, element 1044");
            return {};
        }
        if (!bare(container))
            error({"element 1044", Part::Container}, "holds a value or a stamp");
        return container;
    }

    static std::string describe(KXLNodeRef node)
    {
        return node.isElement() ? "element " + std::to_string(node.tag())
                                : "named value " + quoteText(node.name());
    }

    static Place itemLocation(const VocabularyItem& item)
    {
        Place place{"item " + std::to_string(item.index), Part::Item, item.index};
        switch (item.kind) {
        case VocabularyItem::Kind::Guest:
            place.text += " (guest OS " + guestCode(item.guest.code) +
                (item.guest.experimental ? ", experimental)" : ")");
            break;
        case VocabularyItem::Kind::Adapter:
            place.text += " (adapter " + std::to_string(item.adapter.id) + ")";
            break;
        case VocabularyItem::Kind::Category:
            place.text += " (category " + quoteText(item.category) + ")";
            break;
        case VocabularyItem::Kind::Version: place.text += " (version entry)"; break;
        case VocabularyItem::Kind::Other: break;
        }
        return place;
    }

    // Locations are made only for problems: a million good entries cost no text.
    void checkItem(const VocabularyItem& item)
    {
        switch (item.kind) {
        case VocabularyItem::Kind::Version:
            m_versionSeen = true;
            if (item.index != 1)
                error(itemLocation(item), "the version entry is not the first item");
            if (!isVersionStamp(item.version.stamp))
                error(itemLocation(item), "the stamp " + quoteText(item.version.stamp) +
                                              " is not \"$Id: NAME.voc GUID $\"");
            return;
        case VocabularyItem::Kind::Category:
            if (!m_defined.insert(std::string(item.category)).second)
                error(itemLocation(item), "category " + quoteText(item.category) + " is defined twice");
            return;
        case VocabularyItem::Kind::Adapter:
            m_adapterIds.insert(item.adapter.id);
            checkNumberId(item, kAdapterCategory, item.adapter.id, std::nullopt);
            markOfKind(kAdapterCategory, item);
            return;
        case VocabularyItem::Kind::Guest:
            checkNumberId(item, kGuestCategory, static_cast<int>(item.guest.code), item.guest.experimental);
            markOfKind(kGuestCategory, item);
            if (item.guest.experimental)
                markOfKind(experimentalCategory, item);
            if (m_adapterIds.count(item.guest.values[4]) == 0)
                m_adapterReferences.push_back(item);
            return;
        case VocabularyItem::Kind::Other: break;
        }
        checkOther(item);
    }

    void markOfKind(std::string_view name, const VocabularyItem& item)
    {
        if (m_kindMarks.size() < 3 && m_kindMarks.count(name) == 0)
            m_kindMarks.emplace(name, itemLocation(item));
    }

    // An entry of no known shape: allowed, unless it claims a known kind or breaks the
    // category rules.
    void checkOther(const VocabularyItem& item)
    {
        const Place location = itemLocation(item);
        const KXLNodeRef node = item.node;
        if (!node.isElement() || (node.tag() != tagEntry && node.tag() != tagCategory)) {
            error(location, describe(node) + " is neither an entry (1017) nor a category definition (1264)");
            return;
        }
        if (node.tag() == tagCategory) {
            error(location, "a category definition must hold exactly one text child 1010 and nothing else");
            return;
        }
        if (!bare(node))
            error(location, "the entry holds a value or a stamp of its own");
        const std::vector<std::string_view> marks = marksOf(node);
        if (marks.empty()) {
            warning(location, "the entry has no category mark");
            return;
        }
        if (marks.front() == versionMark) {
            error(location, m_versionSeen ? "a second version entry"
                                          : "does not fit the version entry's shape (vocversion, "
                                            "vocabulary, stamp 1307, description 1303, in this order)");
            return;
        }
        if (marks.front() == kGuestCategory)
            error(location, "marked " + quoteText(kGuestCategory) + " but does not fit the guest OS "
                "shape (code 1010, identifier 1846, display name 1026, the six named values)");
        else if (marks.front() == kAdapterCategory)
            error(location, "marked " + quoteText(kAdapterCategory) + " but does not fit the "
                "adapter shape (id 1010, display name 1026)");
        for (std::string_view mark : marks)
            m_marks.push_back({std::string(mark), location});
        if (auto id = idKeyOf(node))
            checkId(item, marks.front(), *id, std::nullopt);
    }

    // Ids are unique within a kind; a guest OS code may be listed once as supported and once
    // as experimental, as the server does for an OS in both of its maps.
    void checkId(const VocabularyItem& item, std::string_view kind, const std::string& id,
                 std::optional<bool> experimental)
    {
        std::string key(kind);
        key += '\0';
        key += id;
        const auto [found, added] =
            m_ids.try_emplace(key, FirstSeen{item.index, experimental.value_or(false), false});
        if (!added)
            repeated(item, kind, id, experimental, found->second);
    }

    // The same for adapters and guest OSes, whose ids are numbers: no text is made unless
    // the id repeats, so a million guest OSes cost no more than a small map entry each.
    void checkNumberId(const VocabularyItem& item, std::string_view kind, int id,
                       std::optional<bool> experimental)
    {
        const std::uint64_t key = (static_cast<std::uint64_t>(kind == kGuestCategory) << 32) |
            static_cast<std::uint32_t>(id);
        const auto [found, added] =
            m_numberIds.try_emplace(key, FirstSeen{item.index, experimental.value_or(false), false});
        if (!added)
            repeated(item, kind, "i" + std::to_string(id), experimental, found->second);
    }

    void repeated(const VocabularyItem& item, std::string_view kind, const std::string& id,
                  std::optional<bool> experimental, FirstSeen& first)
    {
        const std::string shown = describeId(id);
        if (experimental && !first.pairWarned && first.experimental != *experimental) {
            first.pairWarned = true;
            warning(itemLocation(item), "code " + guestCode(static_cast<std::uint32_t>(std::stoll(shown))) +
                " is listed both as supported and as experimental");
            return;
        }
        error(itemLocation(item), "the id " + shown + " of kind " + quoteText(kind) + " is repeated" +
            (first.index != 0 ? " (first at item " + std::to_string(first.index) + ")" : ""));
    }
};

} // namespace

std::vector<VocabularyProblem> checkVocabulary(const KXLDocument& document)
{
    std::vector<VocabularyProblem> problems;
    Checker(problems).check(document);
    // Some rules can only be checked once every item is known: back into document order.
    std::stable_sort(problems.begin(), problems.end(),
                     [](const VocabularyProblem& a, const VocabularyProblem& b) {
                         return std::tie(a.part, a.item) < std::tie(b.part, b.item);
                     });
    return problems;
}

std::optional<EntryKey> entryKey(KXLNodeRef entry)
{
    const std::vector<std::string_view> marks = marksOf(entry);
    const std::optional<std::string> id = idKeyOf(entry);
    if (marks.empty() || !id)
        return std::nullopt;
    EntryKey key{std::string(marks.front()), std::nullopt, id->substr(1)};
    if ((*id)[0] == 'i') {
        key.number = std::stoi(key.text);
        key.text.clear();
    }
    return key;
}

namespace {

std::optional<std::string> nameFromStamp(std::string_view stamp)
{
    constexpr std::string_view head = "$Id: ";
    constexpr std::string_view suffix = ".voc";
    if (stamp.substr(0, head.size()) != head)
        return std::nullopt;
    std::string_view file = stamp.substr(head.size());
    file = file.substr(0, file.find(' '));
    file = file.substr(file.rfind('/') == std::string_view::npos ? 0 : file.rfind('/') + 1);
    if (file.size() <= suffix.size() || file.substr(file.size() - suffix.size()) != suffix)
        return std::nullopt;
    return std::string(file.substr(0, file.size() - suffix.size()));
}

} // namespace

std::optional<std::string> vocabularyName(const KXLDocument& document)
{
    const KXLNodeRef container = vocabularyContainer(document);
    if (!container)
        return std::nullopt;
    ItemClassifier classifier;
    for (KXLNodeRef node : container.children()) {
        const VocabularyItem item = classifier.classify(node);
        if (item.kind == VocabularyItem::Kind::Version)
            return nameFromStamp(item.version.stamp);
    }
    return std::nullopt;
}

std::string firstError(const std::vector<VocabularyProblem>& problems)
{
    std::size_t errors = 0;
    const VocabularyProblem* first = nullptr;
    for (const VocabularyProblem& problem : problems) {
        if (problem.severity != Severity::Error)
            continue;
        if (errors++ == 0)
            first = &problem;
    }
    if (first == nullptr)
        return {};
    std::string text = first->location + ": " + first->message;
    if (errors > 1)
        text += " (and " + std::to_string(errors - 1) + " more " + (errors == 2 ? "error" : "errors") + ")";
    return text;
}

} // namespace KXL
