#include "vocabulary_printer.h"

#include <array>
#include <cstdint>
#include <algorithm>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "text_escape.h"
#include "text_table.h"

namespace KXL {

namespace {

// Tag roles of a vocabulary.
constexpr int tagVocabulary = 1307; // the document's top element; in the version entry, the stamp
constexpr int tagContainer = 1044;
constexpr int tagEntry = 1017;
constexpr int tagCategory = 1264; // a definition in the container, a mark inside an entry
constexpr int tagId = 1010;
constexpr int tagDisplayName = 1026;
constexpr int tagIdentifier = 1846;
constexpr int tagDescription = 1303;

const char* const adapterCategory = "kxp_network_adapter_type";
const char* const guestCategory = "guest_os_type";
const char* const experimentalCategory = "experimental";

constexpr std::array<const char*, 6> guestValueNames = {"min_hdd_size", "max_hdd_size",
    "recommended_hdd_size", "hdd_interface", "adapter_type", "boot_efi"};

const std::string sectionIndent = "  ";
const std::string tableIndent = "    ";

bool hasStamps(KXLNodeRef node)
{
    return node.stamps() != nullptr;
}

bool isPlainElement(KXLNodeRef node, int tag)
{
    return node.isElement() && node.tag() == tag && !hasStamps(node);
}

// The content of an entry that is made only of value-holding leaves and named values.
// Matching takes parts out; an entry fits a shape when nothing is left over. No shape has
// more than eleven parts, so a larger entry fits none and is not taken apart.
class EntryParts {
public:
    static std::optional<EntryParts> of(KXLNodeRef entry)
    {
        if (!isPlainElement(entry, tagEntry) || entry.valueKind() != KXLValueKind::None)
            return std::nullopt;
        EntryParts parts;
        for (KXLNodeRef child : entry.children()) {
            if (child.isNamed()) {
                if (parts.m_namedCount == kMaxParts)
                    return std::nullopt;
                parts.m_named[parts.m_namedCount++] = child;
                continue;
            }
            if (hasStamps(child) || child.firstChild() || child.valueKind() == KXLValueKind::None ||
                parts.m_leafCount == kMaxParts)
                return std::nullopt;
            parts.m_leaves[parts.m_leafCount++] = child;
        }
        return parts;
    }

    KXLNodeRef take(int tag, KXLValueKind kind, const char* text = nullptr)
    {
        return takeFirst(m_leaves, m_leafCount, [&](KXLNodeRef leaf) {
            return leaf.tag() == tag && leaf.valueKind() == kind && (text == nullptr || leaf.text() == text);
        });
    }

    std::optional<int> takeNamed(std::string_view name)
    {
        const KXLNodeRef named =
            takeFirst(m_named, m_namedCount, [&](KXLNodeRef node) { return node.name() == name; });
        return named ? std::optional<int>(named.number()) : std::nullopt;
    }

    bool exhausted() const { return m_leafCount == 0 && m_namedCount == 0; }

private:
    static constexpr std::size_t kMaxParts = 16;
    std::array<KXLNodeRef, kMaxParts> m_leaves;
    std::array<KXLNodeRef, kMaxParts> m_named;
    std::size_t m_leafCount = 0;
    std::size_t m_namedCount = 0;

    // Removes the first match, keeping the others in order.
    template <typename Matches>
    static KXLNodeRef takeFirst(std::array<KXLNodeRef, kMaxParts>& nodes, std::size_t& count, Matches matches)
    {
        for (std::size_t i = 0; i < count; ++i) {
            if (!matches(nodes[i]))
                continue;
            const KXLNodeRef found = nodes[i];
            std::copy(nodes.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                      nodes.begin() + static_cast<std::ptrdiff_t>(count), nodes.begin() + static_cast<std::ptrdiff_t>(i));
            --count;
            return found;
        }
        return KXLNodeRef();
    }
};

struct VersionEntry {
    std::string_view stamp;
    std::string_view description;
};

std::optional<VersionEntry> matchVersion(KXLNodeRef entry)
{
    auto parts = EntryParts::of(entry);
    if (!parts || !parts->take(tagId, KXLValueKind::String, "vocversion") ||
        !parts->take(tagCategory, KXLValueKind::String, "vocabulary"))
        return std::nullopt;
    const KXLNodeRef stamp = parts->take(tagVocabulary, KXLValueKind::String);
    const KXLNodeRef description = parts->take(tagDescription, KXLValueKind::String);
    if (!stamp || !description || !parts->exhausted())
        return std::nullopt;
    return VersionEntry{stamp.text(), description.text()};
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

struct AdapterEntry {
    int id;
    std::string_view name;
};

std::optional<AdapterEntry> matchAdapter(KXLNodeRef entry)
{
    auto parts = EntryParts::of(entry);
    if (!parts)
        return std::nullopt;
    const KXLNodeRef id = parts->take(tagId, KXLValueKind::Int);
    const KXLNodeRef mark = parts->take(tagCategory, KXLValueKind::String, adapterCategory);
    const KXLNodeRef name = parts->take(tagDisplayName, KXLValueKind::String);
    if (!id || !mark || !name || !parts->exhausted())
        return std::nullopt;
    return AdapterEntry{id.number(), name.text()};
}

struct GuestEntry {
    std::uint32_t code;
    std::string_view identifier;
    std::string_view displayName;
    bool experimental;
    std::array<int, guestValueNames.size()> values;
};

std::optional<GuestEntry> matchGuest(KXLNodeRef entry)
{
    auto parts = EntryParts::of(entry);
    if (!parts)
        return std::nullopt;
    const KXLNodeRef code = parts->take(tagId, KXLValueKind::Int);
    const KXLNodeRef mark = parts->take(tagCategory, KXLValueKind::String, guestCategory);
    const bool experimental = static_cast<bool>(parts->take(tagCategory, KXLValueKind::String, experimentalCategory));
    const KXLNodeRef identifier = parts->take(tagIdentifier, KXLValueKind::String);
    const KXLNodeRef displayName = parts->take(tagDisplayName, KXLValueKind::String);
    if (!code || !mark || !identifier || !displayName)
        return std::nullopt;
    GuestEntry guest{static_cast<std::uint32_t>(code.number()), identifier.text(),
        displayName.text(), experimental, {}};
    for (std::size_t i = 0; i < guestValueNames.size(); ++i) {
        const auto value = parts->takeNamed(guestValueNames[i]);
        if (!value)
            return std::nullopt;
        guest.values[i] = *value;
    }
    if (!parts->exhausted())
        return std::nullopt;
    return guest;
}

std::string formatValue(KXLNodeRef node)
{
    switch (node.valueKind()) {
    case KXLValueKind::String: return quoteText(node.text());
    case KXLValueKind::Int: return std::to_string(node.number());
    case KXLValueKind::None: break;
    }
    return {};
}

std::string formatStamps(const KXLStamps& stamps)
{
    std::vector<std::string> items;
    if (stamps.ns)
        items.push_back("namespace " + quoteText(*stamps.ns));
    if (stamps.nsid)
        items.push_back("nsid " + std::to_string(*stamps.nsid));
    if (stamps.type)
        items.push_back("type " + quoteText(stamps.type->first) + " " +
            quoteText(stamps.type->second));
    if (stamps.typeId)
        items.push_back("typeid " + std::to_string(stamps.typeId->first) + " " +
            std::to_string(stamps.typeId->second));
    if (stamps.itemNSType)
        items.push_back("item-ns-type " + std::to_string(*stamps.itemNSType));
    if (items.empty())
        return {};
    std::string out = " [";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i > 0 ? ", " : "") + items[i];
    return out + "]";
}

std::string describeNode(KXLNodeRef node)
{
    if (node.isNamed())
        return "named " + quoteText(node.name()) + " = " + formatValue(node);
    std::string line = "element " + std::to_string(node.tag());
    if (const KXLStamps* stamps = node.stamps())
        line += formatStamps(*stamps);
    if (node.valueKind() != KXLValueKind::None)
        line += " = " + formatValue(node);
    return line;
}

// One line per node, children indented below their element. Iterative: the depth of
// a tree is not this function's to bound.
void dumpNode(std::ostream& out, KXLNodeRef root, const std::string& indent)
{
    std::vector<std::pair<KXLNodeRef, std::size_t>> pending{{root, 0}};
    std::vector<KXLNodeRef> children;
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        out << indent << std::string(2 * depth, ' ') << describeNode(node) << '\n';
        children.assign(node.children().begin(), node.children().end());
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            pending.emplace_back(*child, depth + 1);
    }
}

void section(std::ostream& out, const std::string& title, const KXLTextTable& table)
{
    if (table.empty()) {
        out << '\n' << sectionIndent << title << ": none\n";
        return;
    }
    out << '\n' << sectionIndent << title << " (" << table.rows() << ")\n";
    table.render(out, tableIndent);
}

bool isVocabularyShape(const KXLDocument& document)
{
    const KXLNodeRef root = document.root().firstChild();
    if (!root || root.nextSibling() || !isPlainElement(root, tagVocabulary) ||
        root.valueKind() != KXLValueKind::None)
        return false;
    const KXLNodeRef container = root.firstChild();
    return container && !container.nextSibling() && isPlainElement(container, tagContainer) &&
        container.valueKind() == KXLValueKind::None;
}

} // namespace

void printVocabulary(std::ostream& out, const std::string& name, const KXLDocument& document)
{
    out << "Vocabulary " << quoteText(name) << '\n';
    if (document.kind() != 0)
        out << sectionIndent << "Message kind: " << document.kind() << '\n';

    if (!isVocabularyShape(document)) {
        out << sectionIndent << "Not a vocabulary (expected one element 1307 holding one element 1044)\n";
        if (document.empty()) {
            out << sectionIndent << "The document is empty\n";
            return;
        }
        out << '\n' << sectionIndent << "Content\n";
        for (KXLNodeRef root : document.roots())
            dumpNode(out, root, tableIndent);
        return;
    }

    KXLTextTable categories({{"name"}});
    KXLTextTable adapters({{"id", KXLTextTable::Align::Right}, {"name"}});
    std::vector<KXLTextTable::Column> guestColumns = {{"code", KXLTextTable::Align::Right},
        {"identifier"}, {"display name"}, {"experimental"}};
    for (const char* valueName : guestValueNames)
        guestColumns.push_back({valueName, KXLTextTable::Align::Right});
    KXLTextTable guests(guestColumns);
    std::optional<VersionEntry> version;
    std::vector<KXLNodeRef> others;

    std::vector<std::string> numbers(1 + guestValueNames.size());
    std::vector<std::string_view> row(guestColumns.size());
    for (KXLNodeRef entry : document.root().firstChild().firstChild().children()) {
        if (auto category = matchCategory(entry)) {
            categories.addRow({*category});
            continue;
        }
        if (!version) {
            if ((version = matchVersion(entry)))
                continue;
        }
        if (auto adapter = matchAdapter(entry)) {
            adapters.addRow({std::to_string(adapter->id), adapter->name});
            continue;
        }
        if (auto guest = matchGuest(entry)) {
            numbers[0] = std::to_string(guest->code);
            for (std::size_t i = 0; i < guest->values.size(); ++i)
                numbers[i + 1] = std::to_string(guest->values[i]);
            row[0] = numbers[0];
            row[1] = guest->identifier;
            row[2] = guest->displayName;
            row[3] = guest->experimental ? "yes" : "no";
            for (std::size_t i = 0; i < guest->values.size(); ++i)
                row[4 + i] = numbers[i + 1];
            guests.addRow(row);
            continue;
        }
        others.push_back(entry);
    }

    if (version)
        out << sectionIndent << "Version: " << escapeText(version->stamp) << " ("
            << escapeText(version->description) << ")\n";
    else
        out << sectionIndent << "Version: none (no version entry)\n";
    section(out, "Categories", categories);
    section(out, "Network adapters", adapters);
    section(out, "Guest operating systems", guests);
    if (!others.empty()) {
        out << '\n' << sectionIndent << "Other entries (" << others.size() << ")\n";
        for (KXLNodeRef entry : others)
            dumpNode(out, entry, tableIndent);
    }
}

std::string printVocabulary(const std::string& name, const KXLDocument& document)
{
    std::ostringstream out;
    printVocabulary(out, name, document);
    return out.str();
}

} // namespace KXL
