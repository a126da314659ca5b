#include "agent/vocabulary/vocabulary_diff.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

#include "common/text_escape.h"
#include "agent/vocabulary/vocabulary_model.h"

namespace KXL {

namespace {

using Change = VocabularyChange;
using Section = Change::Section;
using Kind = Change::Kind;

DiffValue number(std::int64_t value)
{
    return DiffValue{value, {}};
}

DiffValue text(std::string_view value)
{
    return DiffValue{std::nullopt, std::string(value)};
}

// One line that tells an entry of no known kind from any other: its elements, values and
// named values, nested in brackets.
void renderNode(KXLNodeRef node, std::string& out)
{
    if (node.isNamed()) {
        out += quoteText(node.name()) + "=" + std::to_string(node.number());
        return;
    }
    out += std::to_string(node.tag());
    if (node.stamped())
        out += "[stamped]";
    if (node.valueKind() == KXLValueKind::String)
        out += "=" + quoteText(node.text());
    else if (node.valueKind() == KXLValueKind::Int)
        out += "=" + std::to_string(node.number());
    if (node.children().empty())
        return;
    out += " {";
    bool first = true;
    for (KXLNodeRef child : node.children()) {
        out += first ? "" : ", ";
        first = false;
        renderNode(child, out);
    }
    out += "}";
}

const char* statusOf(bool experimental)
{
    return experimental ? "experimental" : "supported";
}

// An entry of no known kind that has a kind and an id: compared value by value.
struct KeyedEntry {
    EntryKey key;
    std::string render;
    KXLNodeRef node;
};

bool keyLess(const KeyedEntry& x, const KeyedEntry& y)
{
    return std::tie(x.key.kind, x.key.number, x.key.text) < std::tie(y.key.kind, y.key.number, y.key.text);
}

bool plainName(std::string_view name)
{
    return !name.empty() && !(name[0] >= '0' && name[0] <= '9') &&
        std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        });
}

// An element's children by the last parts of their paths (VocabularyChange::field), sorted.
using ChildParts = std::vector<std::pair<std::string, KXLNodeRef>>;

ChildParts childParts(KXLNodeRef element)
{
    ChildParts parts;
    if (!element)
        return parts;
    std::map<std::string, int> seen;
    for (KXLNodeRef child : element.children()) {
        std::string part = child.isNamed()
            ? (plainName(child.name()) ? std::string(child.name()) : quoteText(child.name()))
            : std::to_string(child.tag());
        if (const int count = ++seen[part]; count > 1)
            part += "[" + std::to_string(count) + "]";
        parts.emplace_back(std::move(part), child);
    }
    std::sort(parts.begin(), parts.end(), [](const auto& p, const auto& q) { return p.first < q.first; });
    return parts;
}

std::optional<DiffValue> valueOf(KXLNodeRef node)
{
    if (node && (node.isNamed() || node.valueKind() == KXLValueKind::Int))
        return number(node.number());
    if (node && node.valueKind() == KXLValueKind::String)
        return text(node.text());
    return std::nullopt;
}

struct Parts {
    Vocabulary vocabulary; // its lists sorted by key
    std::vector<KeyedEntry> keyed;
    std::vector<std::string> others;
};

Parts partsOf(const KXLDocument& document)
{
    Parts parts{classifyVocabulary(document), {}, {}};
    Vocabulary& vocabulary = parts.vocabulary;
    for (const OtherEntry& other : vocabulary.others) {
        std::string render;
        renderNode(other.node, render);
        if (auto key = entryKey(other.node))
            parts.keyed.push_back({std::move(*key), std::move(render), other.node});
        else
            parts.others.push_back(std::move(render));
    }
    std::stable_sort(parts.keyed.begin(), parts.keyed.end(), keyLess);
    std::sort(vocabulary.categories.begin(), vocabulary.categories.end(),
              [](const CategoryEntry& x, const CategoryEntry& y) { return x.name < y.name; });
    std::stable_sort(vocabulary.adapters.begin(), vocabulary.adapters.end(),
                     [](const AdapterEntry& x, const AdapterEntry& y) { return x.id < y.id; });
    std::stable_sort(vocabulary.guests.begin(), vocabulary.guests.end(), [](const GuestEntry& x, const GuestEntry& y) {
        return std::tie(x.code, x.experimental) < std::tie(y.code, y.experimental);
    });
    std::sort(parts.others.begin(), parts.others.end());
    return parts;
}

// Walks two sorted ranges together; both(x, y) for equal keys, onlyA/onlyB for the rest.
template <typename It, typename Less, typename Both, typename OnlyA, typename OnlyB>
void merge(It i, It aEnd, It j, It bEnd, Less less, Both both, OnlyA onlyA, OnlyB onlyB)
{
    while (i != aEnd || j != bEnd) {
        if (j == bEnd || (i != aEnd && less(*i, *j)))
            onlyA(*i++);
        else if (i == aEnd || less(*j, *i))
            onlyB(*j++);
        else
            both(*i++, *j++);
    }
}

template <typename T, typename... Calls>
void merge(const std::vector<T>& a, const std::vector<T>& b, Calls... calls)
{
    merge(a.begin(), a.end(), b.begin(), b.end(), calls...);
}

class Differ {
public:
    std::vector<Change> changes;

    void version(const Parts& a, const Parts& b)
    {
        const auto& x = a.vocabulary.version;
        const auto& y = b.vocabulary.version;
        const std::string_view before = x ? x->description : std::string_view();
        const std::string_view after = y ? y->description : std::string_view();
        if (before != after)
            add({Section::Version, 0, {}, {}, Kind::Changed, "description", text(before), text(after)});
    }

    void categories(const Parts& a, const Parts& b)
    {
        merge(a.vocabulary.categories, b.vocabulary.categories,
            [](const CategoryEntry& x, const CategoryEntry& y) { return x.name < y.name; },
            [](const CategoryEntry&, const CategoryEntry&) {},
            [&](const CategoryEntry& x) { add({Section::Category, 0, std::string(x.name), {}, Kind::Removed, {}, {}, {}}); },
            [&](const CategoryEntry& y) { add({Section::Category, 0, std::string(y.name), {}, Kind::Added, {}, {}, {}}); });
    }

    void adapters(const Parts& a, const Parts& b)
    {
        merge(a.vocabulary.adapters, b.vocabulary.adapters, [](const AdapterEntry& x, const AdapterEntry& y) { return x.id < y.id; },
            [&](const AdapterEntry& x, const AdapterEntry& y) {
                if (x.name != y.name)
                    add({Section::Adapter, x.id, {}, {}, Kind::Renamed, "name", text(x.name), text(y.name)});
            },
            [&](const AdapterEntry& x) { add({Section::Adapter, x.id, {}, {}, Kind::Removed, "name", text(x.name), {}}); },
            [&](const AdapterEntry& y) { add({Section::Adapter, y.id, {}, {}, Kind::Added, "name", {}, text(y.name)}); });
    }

    // Per code: entries of the same status are compared; a code that lost one status and
    // gained the other has moved, and its two entries are compared.
    void guests(const Parts& a, const Parts& b)
    {
        auto i = a.vocabulary.guests.begin();
        auto j = b.vocabulary.guests.begin();
        const auto aEnd = a.vocabulary.guests.end();
        const auto bEnd = b.vocabulary.guests.end();
        while (i != aEnd || j != bEnd) {
            const std::uint32_t code = j == bEnd || (i != aEnd && i->code < j->code) ? i->code : j->code;
            const auto aRun = runEnd(i, aEnd, code);
            const auto bRun = runEnd(j, bEnd, code);
            guestCode(i, aRun, j, bRun);
            i = aRun;
            j = bRun;
        }
    }

    // Entries of the same kind and id are compared value by value; were they to differ in
    // nothing a value path shows (a stamp, an empty element), they are changed as wholes.
    void keyed(const Parts& a, const Parts& b)
    {
        const auto removed = [&](const KeyedEntry& x) { add({Section::Other, 0, x.render, {}, Kind::Removed, {}, {}, {}}); };
        const auto added = [&](const KeyedEntry& y) { add({Section::Other, 0, y.render, {}, Kind::Added, {}, {}, {}}); };
        merge(a.keyed, b.keyed, keyLess,
            [&](const KeyedEntry& x, const KeyedEntry& y) {
                if (x.render == y.render)
                    return;
                const std::size_t before = changes.size();
                const DiffValue id = x.key.number ? number(*x.key.number) : text(x.key.text);
                fieldChanges(x.node, y.node, {},
                    [&](Kind change, const std::string& path, std::optional<DiffValue> old, std::optional<DiffValue> now) {
                        add({Section::Other, 0, x.key.kind, {}, change, path, std::move(old), std::move(now), id});
                    });
                // By path, as one sorted list of all the entry's values gives them.
                std::sort(changes.begin() + static_cast<std::ptrdiff_t>(before), changes.end(),
                          [](const Change& p, const Change& q) { return p.field < q.field; });
                if (changes.size() == before) {
                    removed(x);
                    added(y);
                }
            },
            removed, added);
    }

    void others(const Parts& a, const Parts& b)
    {
        merge(a.others, b.others, std::less<std::string>(), [](const std::string&, const std::string&) {},
            [&](const std::string& x) { add({Section::Other, 0, x, {}, Kind::Removed, {}, {}, {}}); },
            [&](const std::string& y) { add({Section::Other, 0, y, {}, Kind::Added, {}, {}, {}}); });
    }

private:
    void add(Change change) { changes.push_back(std::move(change)); }

    // Calls field(change, path, old, now) for each value below the elements x and y (either
    // may be absent) that differs. The two are walked in step, so a path is built only for a
    // value that differs and for the elements above it: memory follows the changes and the
    // depth, not the size of the entries.
    template <typename Field>
    static void fieldChanges(KXLNodeRef x, KXLNodeRef y, const std::string& prefix, const Field& field)
    {
        const auto visit = [&](const std::string& part, KXLNodeRef a, KXLNodeRef b) {
            const std::string path = prefix.empty() ? part : prefix + "/" + part;
            std::optional<DiffValue> old = valueOf(a);
            std::optional<DiffValue> now = valueOf(b);
            if (old && now && (old->number != now->number || old->text != now->text))
                field(Kind::Changed, path, std::move(old), std::move(now));
            else if (old && !now)
                field(Kind::Removed, path, std::move(old), std::nullopt);
            else if (now && !old)
                field(Kind::Added, path, std::nullopt, std::move(now));
            const auto element = [](KXLNodeRef node) { return node && node.isElement() ? node : KXLNodeRef(); };
            if (element(a) || element(b))
                fieldChanges(element(a), element(b), path, field);
        };
        merge(childParts(x), childParts(y), [](const auto& p, const auto& q) { return p.first < q.first; },
              [&](const auto& p, const auto& q) { visit(p.first, p.second, q.second); },
              [&](const auto& p) { visit(p.first, p.second, KXLNodeRef()); },
              [&](const auto& q) { visit(q.first, KXLNodeRef(), q.second); });
    }

    using GuestIt = std::vector<GuestEntry>::const_iterator;

    static GuestIt runEnd(GuestIt from, GuestIt end, std::uint32_t code)
    {
        while (from != end && from->code == code)
            ++from;
        return from;
    }

    void guestCode(GuestIt aBegin, GuestIt aEnd, GuestIt bBegin, GuestIt bEnd)
    {
        std::vector<const GuestEntry*> onlyA;
        std::vector<const GuestEntry*> onlyB;
        std::vector<std::pair<const GuestEntry*, const GuestEntry*>> pairs;
        merge(aBegin, aEnd, bBegin, bEnd,
            [](const GuestEntry& x, const GuestEntry& y) { return x.experimental < y.experimental; },
            [&](const GuestEntry& x, const GuestEntry& y) { pairs.emplace_back(&x, &y); },
            [&](const GuestEntry& x) { onlyA.push_back(&x); },
            [&](const GuestEntry& y) { onlyB.push_back(&y); });
        if (onlyA.size() == 1 && onlyB.size() == 1) {
            const GuestEntry& x = *onlyA.front();
            const GuestEntry& y = *onlyB.front();
            add({Section::GuestOS, x.code, {}, statusOf(y.experimental), Kind::Moved, "status",
                 text(statusOf(x.experimental)), text(statusOf(y.experimental))});
            pairs.emplace_back(&x, &y);
            onlyA.clear();
            onlyB.clear();
        }
        for (const GuestEntry* x : onlyA)
            add({Section::GuestOS, x->code, {}, statusOf(x->experimental), Kind::Removed, "identifier",
                 text(x->identifier), {}});
        for (const GuestEntry* y : onlyB)
            add({Section::GuestOS, y->code, {}, statusOf(y->experimental), Kind::Added, "identifier", {},
                 text(y->identifier)});
        for (const auto& [x, y] : pairs)
            compare(*x, *y);
    }

    void compare(const GuestEntry& x, const GuestEntry& y)
    {
        const std::string status = statusOf(y.experimental);
        if (x.identifier != y.identifier)
            add({Section::GuestOS, x.code, {}, status, Kind::Renamed, "identifier", text(x.identifier), text(y.identifier)});
        if (x.displayName != y.displayName)
            add({Section::GuestOS, x.code, {}, status, Kind::Renamed, "display_name", text(x.displayName),
                 text(y.displayName)});
        for (std::size_t k = 0; k < kGuestValueNames.size(); ++k)
            if (x.values[k] != y.values[k])
                add({Section::GuestOS, x.code, {}, status, Kind::Changed, std::string(kGuestValueNames[k]), number(x.values[k]),
                     number(y.values[k])});
    }
};

} // namespace

const char* changeName(Kind kind)
{
    switch (kind) {
    case Kind::Added: return "added";
    case Kind::Removed: return "removed";
    case Kind::Renamed: return "renamed";
    case Kind::Moved: return "moved";
    case Kind::Changed: return "changed";
    }
    return "";
}

const char* sectionName(Section section)
{
    switch (section) {
    case Section::Version: return "version";
    case Section::Category: return "category";
    case Section::Adapter: return "adapter";
    case Section::GuestOS: return "guest_os";
    case Section::Other: return "other_entry";
    }
    return "";
}

std::vector<VocabularyChange> diffVocabularies(const KXLDocument& a, const KXLDocument& b)
{
    const Parts before = partsOf(a);
    const Parts after = partsOf(b);
    Differ differ;
    // Each section is produced in its own order, so the list comes out sorted.
    differ.version(before, after);
    differ.categories(before, after);
    differ.adapters(before, after);
    differ.guests(before, after);
    differ.keyed(before, after);
    differ.others(before, after);
    return std::move(differ.changes);
}

} // namespace KXL
