#include "agent/vocabulary/vocabulary_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/text_escape.h"

namespace KXL {

namespace {

using Severity = VocabularyProblem::Severity;
using Part = VocabularyProblem::Part;

// "$Id: NAME.voc GUID $", the GUID as KXLGUIDBase::toString writes it, the file without folders.
bool isVersionStamp(std::string_view stamp)
{
    constexpr std::size_t kGuidLength = 36;
    const std::optional<VersionStamp> parts = parseVersionStamp(stamp);
    if (!parts || !parts->folder.empty() || parts->rest.size() != 1 + kGuidLength + 2 || parts->rest[0] != ' ' ||
        parts->rest.substr(1 + kGuidLength) != " $")
        return false;
    const std::string_view guid = parts->rest.substr(1, kGuidLength);
    for (std::size_t i = 0; i < guid.size(); ++i) {
        const char c = guid[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// Where a problem lies: the text that names it and the part of the document it points at.
// Made only for problems: a million good entries cost no text.
struct Place {
    std::string text;
    Part part = Part::Document;
    std::size_t item = 0;
};

Place itemPlace(std::uint32_t index, std::string what = {})
{
    return {"item " + std::to_string(index) + (what.empty() ? "" : " (" + what + ")"), Part::Item, index};
}

Place placeOf(const VersionEntry& entry) { return itemPlace(entry.index, "version entry"); }
Place placeOf(const CategoryEntry& entry) { return itemPlace(entry.index, "category " + quoteText(entry.name)); }
Place placeOf(const AdapterEntry& entry) { return itemPlace(entry.index, "adapter " + std::to_string(entry.id)); }
Place placeOf(const OtherEntry& entry) { return itemPlace(entry.index); }
Place placeOf(const GuestEntry& entry)
{
    return itemPlace(entry.index, "guest OS " + std::to_string(entry.code) + (entry.experimental ? ", experimental" : ""));
}

std::string describe(KXLNodeRef node)
{
    return node.isElement() ? "element " + std::to_string(node.tag()) : "named value " + quoteText(node.name());
}

// One pass in document order, as the entries come: a million good guest OSes cost a small
// record each and no text.
class Checker : public EntryVisitor {
public:
    explicit Checker(std::vector<VocabularyProblem>& problems) : m_problems(problems) {}

    void check(const KXLDocument& document)
    {
        if (document.kind() != 0)
            error({"document"}, "the message kind is " + std::to_string(document.kind()) +
                " (a vocabulary is of kind 0)");
        const KXLNodeRef container = checkFrame(vocabularyFrame(document));
        if (!container)
            return;
        m_numberIds.reserve(mostGuests(document));
        classifyEntries(container, *this);
        checkNumberIds();

        // What needs every item known; sorted back into document order by the caller.
        if (!m_version)
            error({"container", Part::Container}, "no version entry (vocversion) among the items");
        for (const auto& [name, index] : m_marks)
            undefinedMark(name, itemPlace(index));
        if (m_firstExperimental)
            undefinedMark(kExperimentalCategory, *m_firstExperimental);
        if (m_firstGuest)
            undefinedMark(kGuestCategory, *m_firstGuest);
        if (m_firstAdapter)
            undefinedMark(kAdapterCategory, *m_firstAdapter);
        for (const GuestEntry& guest : m_adapterReferences)
            if (m_adapterIds.count(guest.values[kAdapterType]) == 0)
                error(placeOf(guest), "adapter_type " + std::to_string(guest.values[kAdapterType]) +
                    " is the id of no adapter");
    }

    void version(const VersionEntry& version) override
    {
        m_version = version;
        if (version.index != 1)
            error(placeOf(version), "the version entry is not the first item");
        if (!isVersionStamp(version.stamp))
            error(placeOf(version), "the stamp " + quoteText(version.stamp) + " is not \"$Id: NAME.voc GUID $\"");
    }

    void category(const CategoryEntry& category) override
    {
        if (!m_defined.insert(category.name).second)
            error(placeOf(category), "category " + quoteText(category.name) + " is defined twice");
    }

    void adapter(const AdapterEntry& adapter) override
    {
        m_adapterIds.insert(adapter.id);
        m_numberIds.push_back({static_cast<std::uint32_t>(adapter.id), adapter.index, false});
        if (!m_firstAdapter)
            m_firstAdapter = placeOf(adapter);
    }

    void guest(const GuestEntry& guest) override
    {
        m_numberIds.push_back({kGuestKey | guest.code, guest.index, guest.experimental});
        if (!m_firstGuest)
            m_firstGuest = placeOf(guest);
        if (guest.experimental && !m_firstExperimental)
            m_firstExperimental = placeOf(guest);
        if (m_adapterIds.count(guest.values[kAdapterType]) == 0)
            m_adapterReferences.push_back(guest);
    }

    // An entry of no known shape: allowed, unless it claims a known kind or breaks the
    // category rules.
    void other(const OtherEntry& other) override
    {
        const Place place = placeOf(other);
        const KXLNodeRef node = other.node;
        if (!node.isElement() || (node.tag() != kTagEntry && node.tag() != kTagCategory)) {
            error(place, describe(node) + " is neither an entry (1017) nor a category definition (1264)");
            return;
        }
        if (node.tag() == kTagCategory) {
            error(place, "a category definition must hold exactly one text child 1010 and nothing else");
            return;
        }
        if (node.valueKind() != KXLValueKind::None || node.stamped())
            error(place, "the entry holds a value or a stamp of its own");
        const std::vector<std::string_view> marks = marksOf(node);
        if (marks.empty()) {
            warning(place, "the entry has no category mark");
            return;
        }
        if (marks.front() == kVersionMark) {
            error(place, m_version ? "a second version entry"
                                   : "does not fit the version entry's shape (vocversion, "
                                     "vocabulary, stamp 1307, description 1303, in this order)");
            return;
        }
        if (marks.front() == kGuestCategory)
            error(place, "marked " + quoteText(kGuestCategory) + " but does not fit the guest OS "
                "shape (code 1010, identifier 1846, display name 1026, the six named values)");
        else if (marks.front() == kAdapterCategory)
            error(place, "marked " + quoteText(kAdapterCategory) + " but does not fit the "
                "adapter shape (id 1010, display name 1026)");
        for (std::string_view mark : marks)
            m_marks.emplace_back(mark, other.index);
        const std::optional<EntryKey> key = entryKey(node);
        if (!key)
            return;
        std::string id = key->kind;
        id += '\0';
        id += key->number ? 'i' + std::to_string(*key->number) : 's' + key->text;
        const auto [found, added] = m_ids.try_emplace(std::move(id), other.index);
        if (!added)
            repeated(place, key->kind, key->number ? std::to_string(*key->number) : quoteText(key->text),
                     found->second);
    }

private:
    // An adapter's id or a guest OS's code, with kGuestKey for a guest OS, and where it is.
    struct NumberId {
        std::uint64_t key;
        std::uint32_t index;
        bool experimental;
    };
    static constexpr std::uint64_t kGuestKey = std::uint64_t{1} << 32;

    std::vector<VocabularyProblem>& m_problems;
    std::optional<VersionEntry> m_version;
    std::unordered_set<std::string_view> m_defined;
    std::vector<std::pair<std::string_view, std::uint32_t>> m_marks; // of other entries, by item
    std::optional<Place> m_firstAdapter;
    std::optional<Place> m_firstGuest;
    std::optional<Place> m_firstExperimental;
    std::unordered_set<int> m_adapterIds;
    std::vector<GuestEntry> m_adapterReferences; // guest OSes whose adapter is unknown so far
    std::unordered_map<std::string, std::size_t> m_ids; // "kind\0id" of other entries, and the first's index
    std::vector<NumberId> m_numberIds; // of adapters and guest OSes, in document order

    void error(Place place, std::string message)
    {
        m_problems.push_back({Severity::Error, std::move(place.text), std::move(message), place.part, place.item});
    }
    void warning(Place place, std::string message)
    {
        m_problems.push_back({Severity::Warning, std::move(place.text), std::move(message), place.part, place.item});
    }

    void undefinedMark(std::string_view name, Place place)
    {
        if (m_defined.count(name) == 0)
            error(std::move(place), "the mark " + quoteText(name) + " names no defined category");
    }

    // The container, when the document has one to look into; its value or stamps are
    // errors that do not stop the check of its items.
    KXLNodeRef checkFrame(const VocabularyFrame& frame)
    {
        if (!frame.root) {
            error({"document"}, "the document is empty (expected one element 1307)");
            return {};
        }
        if (frame.roots != 1 || !frame.root.isElement() || frame.root.tag() != kTagVocabulary) {
            error({"document"}, "expected one top-level element 1307, found " + std::to_string(frame.roots) +
                " top-level node(s), the first " + describe(frame.root));
            return {};
        }
        if (!frame.rootBare)
            error({"element 1307", Part::Root}, "holds a value or a stamp");
        if (!frame.container) {
            error({"element 1307", Part::Root}, "expected exactly one child, element 1044");
            return {};
        }
        if (!frame.containerBare)
            error({"element 1044", Part::Container}, "holds a value or a stamp");
        return frame.container;
    }

    // Ids are unique within a kind; a guest OS code may be listed once as supported and once
    // as experimental, as the server does for an OS in both of its maps. Sorted by id once all
    // are known, stably, so that an id's entries come together in document order: cheaper than
    // a hash map, which allocates a node for each (BM_Check). A merge sort, as the list is two
    // runs in order (supported, experimental) that drove std::sort into its heap sort. No text
    // is made unless an id repeats.
    void checkNumberIds()
    {
        std::stable_sort(m_numberIds.begin(), m_numberIds.end(),
                         [](const NumberId& a, const NumberId& b) { return a.key < b.key; });
        for (auto first = m_numberIds.begin(); first != m_numberIds.end();) {
            // The id's first entry in each list, supported and experimental: a repeat repeats
            // the one of its own list.
            std::array<const NumberId*, 2> firstIn{};
            firstIn[first->experimental] = &*first;
            auto next = first + 1;
            for (; next != m_numberIds.end() && next->key == first->key; ++next)
                repeatedId(*next, firstIn);
            first = next;
        }
    }

    void repeatedId(const NumberId& id, std::array<const NumberId*, 2>& firstIn)
    {
        const bool guest = (id.key & kGuestKey) != 0;
        const auto code = static_cast<std::uint32_t>(id.key);
        const Place place = guest ? placeOf(GuestEntry{id.index, code, {}, {}, {}, id.experimental})
                                  : placeOf(AdapterEntry{id.index, static_cast<int>(code), {}});
        const NumberId*& sameList = firstIn[id.experimental];
        if (!sameList) {
            // The first of its list, so the other list has the id: a guest OS code may be in both.
            sameList = &id;
            warning(place, "code " + std::to_string(code) + " is listed both as supported and as experimental");
            return;
        }
        // A guest OS code is unsigned, as its place names it.
        repeated(place, guest ? kGuestCategory : kAdapterCategory,
                 guest ? std::to_string(code) : std::to_string(static_cast<int>(code)), sameList->index);
    }

    void repeated(Place place, std::string_view kind, const std::string& shownId, std::size_t firstIndex)
    {
        error(std::move(place), "the id " + shownId + " of kind " + quoteText(kind) + " is repeated (first at item " +
            std::to_string(firstIndex) + ")");
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
