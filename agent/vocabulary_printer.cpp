#include "vocabulary_printer.h"

#include <array>
#include <cstdint>
#include <optional>
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

bool hasStamps(const KXLNode& node)
{
    return node.stamps != KXLStamps{};
}

bool isPlainElement(const KXLNode& node, int tag)
{
    return node.kind == KXLNode::Kind::Element && node.tag == tag && !hasStamps(node);
}

// The content of an entry that is made only of value-holding leaves and named values.
// Matching takes parts out; an entry fits a shape when nothing is left over.
class EntryParts {
public:
    static std::optional<EntryParts> of(const KXLNode& entry)
    {
        if (!isPlainElement(entry, tagEntry) || entry.value.kind != KXLValue::Kind::None)
            return std::nullopt;
        EntryParts parts;
        for (const auto& child : entry.children) {
            if (child.kind == KXLNode::Kind::Named) {
                if (child.value.kind != KXLValue::Kind::Int)
                    return std::nullopt;
                parts.m_named.emplace_back(child.name, child.value.number);
                continue;
            }
            if (hasStamps(child) || !child.children.empty() ||
                child.value.kind == KXLValue::Kind::None)
                return std::nullopt;
            parts.m_leaves.emplace_back(child.tag, &child.value);
        }
        return parts;
    }

    const KXLValue* take(int tag, KXLValue::Kind kind, const char* text = nullptr)
    {
        for (auto it = m_leaves.begin(); it != m_leaves.end(); ++it) {
            const KXLValue* value = it->second;
            if (it->first != tag || value->kind != kind)
                continue;
            if (text != nullptr && value->text != text)
                continue;
            m_leaves.erase(it);
            return value;
        }
        return nullptr;
    }

    std::optional<int> takeNamed(const std::string& name)
    {
        for (auto it = m_named.begin(); it != m_named.end(); ++it) {
            if (it->first != name)
                continue;
            const int value = it->second;
            m_named.erase(it);
            return value;
        }
        return std::nullopt;
    }

    bool exhausted() const { return m_leaves.empty() && m_named.empty(); }

private:
    std::vector<std::pair<int, const KXLValue*>> m_leaves;
    std::vector<std::pair<std::string, int>> m_named;
};

struct VersionEntry {
    std::string stamp;
    std::string description;
};

std::optional<VersionEntry> matchVersion(const KXLNode& entry)
{
    auto parts = EntryParts::of(entry);
    if (!parts || !parts->take(tagId, KXLValue::Kind::String, "vocversion") ||
        !parts->take(tagCategory, KXLValue::Kind::String, "vocabulary"))
        return std::nullopt;
    const KXLValue* stamp = parts->take(tagVocabulary, KXLValue::Kind::String);
    const KXLValue* description = parts->take(tagDescription, KXLValue::Kind::String);
    if (!stamp || !description || !parts->exhausted())
        return std::nullopt;
    return VersionEntry{stamp->text, description->text};
}

std::optional<std::string> matchCategory(const KXLNode& node)
{
    if (!isPlainElement(node, tagCategory) || node.value.kind != KXLValue::Kind::None ||
        node.children.size() != 1)
        return std::nullopt;
    const KXLNode& name = node.children.front();
    if (!isPlainElement(name, tagId) || !name.children.empty() ||
        name.value.kind != KXLValue::Kind::String)
        return std::nullopt;
    return name.value.text;
}

struct AdapterEntry {
    int id;
    std::string name;
};

std::optional<AdapterEntry> matchAdapter(const KXLNode& entry)
{
    auto parts = EntryParts::of(entry);
    if (!parts)
        return std::nullopt;
    const KXLValue* id = parts->take(tagId, KXLValue::Kind::Int);
    const KXLValue* mark = parts->take(tagCategory, KXLValue::Kind::String, adapterCategory);
    const KXLValue* name = parts->take(tagDisplayName, KXLValue::Kind::String);
    if (!id || !mark || !name || !parts->exhausted())
        return std::nullopt;
    return AdapterEntry{id->number, name->text};
}

struct GuestEntry {
    std::uint32_t code;
    std::string identifier;
    std::string displayName;
    bool experimental;
    std::array<int, guestValueNames.size()> values;
};

std::optional<GuestEntry> matchGuest(const KXLNode& entry)
{
    auto parts = EntryParts::of(entry);
    if (!parts)
        return std::nullopt;
    const KXLValue* code = parts->take(tagId, KXLValue::Kind::Int);
    const KXLValue* mark = parts->take(tagCategory, KXLValue::Kind::String, guestCategory);
    const bool experimental =
        parts->take(tagCategory, KXLValue::Kind::String, experimentalCategory) != nullptr;
    const KXLValue* identifier = parts->take(tagIdentifier, KXLValue::Kind::String);
    const KXLValue* displayName = parts->take(tagDisplayName, KXLValue::Kind::String);
    if (!code || !mark || !identifier || !displayName)
        return std::nullopt;
    GuestEntry guest{static_cast<std::uint32_t>(code->number), identifier->text,
        displayName->text, experimental, {}};
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

std::string formatValue(const KXLValue& value)
{
    switch (value.kind) {
    case KXLValue::Kind::String: return quoteText(value.text);
    case KXLValue::Kind::Int: return std::to_string(value.number);
    case KXLValue::Kind::None: break;
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

std::string describeNode(const KXLNode& node)
{
    if (node.kind == KXLNode::Kind::Named)
        return "named " + quoteText(node.name) + " = " + formatValue(node.value);
    std::string line = "element " + std::to_string(node.tag) + formatStamps(node.stamps);
    if (node.value.kind != KXLValue::Kind::None)
        line += " = " + formatValue(node.value);
    return line;
}

// One line per node, children indented below their element. Iterative: the depth of
// a tree is not this function's to bound.
std::string dumpNode(const KXLNode& root, const std::string& indent)
{
    std::string out;
    std::vector<std::pair<const KXLNode*, std::size_t>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        out += indent + std::string(2 * depth, ' ') + describeNode(*node) + '\n';
        for (auto child = node->children.rbegin(); child != node->children.rend(); ++child)
            pending.emplace_back(&*child, depth + 1);
    }
    return out;
}

std::string section(const std::string& title, const KXLTextTable& table)
{
    if (table.empty())
        return '\n' + sectionIndent + title + ": none\n";
    return '\n' + sectionIndent + title + " (" + std::to_string(table.rows()) + ")\n" +
        table.render(tableIndent);
}

bool isVocabularyShape(const KXLDocument& document)
{
    if (document.roots.size() != 1)
        return false;
    const KXLNode& root = document.roots.front();
    return isPlainElement(root, tagVocabulary) && root.value.kind == KXLValue::Kind::None &&
        root.children.size() == 1 && isPlainElement(root.children.front(), tagContainer) &&
        root.children.front().value.kind == KXLValue::Kind::None;
}

} // namespace

std::string printVocabulary(const std::string& name, const KXLDocument& document)
{
    std::string out = "Vocabulary " + quoteText(name) + '\n';
    if (document.kind != 0)
        out += sectionIndent + "Message kind: " + std::to_string(document.kind) + '\n';

    if (!isVocabularyShape(document)) {
        out += sectionIndent +
            "Not a vocabulary (expected one element 1307 holding one element 1044)\n";
        if (document.roots.empty())
            return out + sectionIndent + "The document is empty\n";
        out += '\n' + sectionIndent + "Content\n";
        for (const auto& root : document.roots)
            out += dumpNode(root, tableIndent);
        return out;
    }

    KXLTextTable categories({{"name"}});
    KXLTextTable adapters({{"id", KXLTextTable::Align::Right}, {"name"}});
    std::vector<KXLTextTable::Column> guestColumns = {{"code", KXLTextTable::Align::Right},
        {"identifier"}, {"display name"}, {"experimental"}};
    for (const char* valueName : guestValueNames)
        guestColumns.push_back({valueName, KXLTextTable::Align::Right});
    KXLTextTable guests(guestColumns);
    std::optional<VersionEntry> version;
    std::string others;
    std::size_t otherCount = 0;

    for (const KXLNode& entry : document.roots.front().children.front().children) {
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
            std::vector<std::string> row = {std::to_string(guest->code), guest->identifier,
                guest->displayName, guest->experimental ? "yes" : "no"};
            for (const int value : guest->values)
                row.push_back(std::to_string(value));
            guests.addRow(row);
            continue;
        }
        others += dumpNode(entry, tableIndent);
        ++otherCount;
    }

    if (version)
        out += sectionIndent + "Version: " + escapeText(version->stamp) + " (" +
            escapeText(version->description) + ")\n";
    else
        out += sectionIndent + "Version: none (no version entry)\n";
    out += section("Categories", categories);
    out += section("Network adapters", adapters);
    out += section("Guest operating systems", guests);
    if (otherCount > 0)
        out += '\n' + sectionIndent + "Other entries (" + std::to_string(otherCount) + ")\n" +
            others;
    return out;
}

} // namespace KXL
