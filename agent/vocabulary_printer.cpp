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
#include "vocabulary_model.h"

namespace KXL {

namespace {

const std::string sectionIndent = "  ";
const std::string tableIndent = "    ";

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

std::vector<KXLTextTable::Column> guestColumns()
{
    std::vector<KXLTextTable::Column> columns = {{"code", KXLTextTable::Align::Right},
        {"identifier"}, {"display name"}, {"experimental"}};
    for (const char* valueName : kGuestValueNames)
        columns.push_back({valueName, KXLTextTable::Align::Right});
    return columns;
}

// The cells of one guest OS row; the numbers' texts are kept here until the table took them.
class KXLGuestRow {
public:
    KXLGuestRow() : m_cells(4 + kGuestValueNames.size()) {}

    const std::vector<std::string_view>& cells(const KXLGuestEntry& guest)
    {
        m_numbers[0] = guestCode(guest.code);
        for (std::size_t i = 0; i < guest.values.size(); ++i)
            m_numbers[i + 1] = std::to_string(guest.values[i]);
        m_cells[0] = m_numbers[0];
        m_cells[1] = guest.identifier;
        m_cells[2] = guest.displayName;
        m_cells[3] = guest.experimental ? "yes" : "no";
        for (std::size_t i = 0; i < guest.values.size(); ++i)
            m_cells[4 + i] = m_numbers[i + 1];
        return m_cells;
    }

private:
    std::array<std::string, 1 + kGuestValueNames.size()> m_numbers;
    std::vector<std::string_view> m_cells;
};

// "Vocabulary "NAME"", then the remark on a line of its own.
void title(std::ostream& out, const std::string& name, std::string_view remark)
{
    out << "Vocabulary " << (name.empty() ? std::string("(unnamed)") : quoteText(name)) << '\n';
    if (!remark.empty())
        out << sectionIndent << remark << '\n';
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

} // namespace

void printVocabulary(std::ostream& out, const std::string& name, const KXLDocument& document,
                     std::string_view remark)
{
    title(out, name, remark);
    if (document.kind() != 0)
        out << sectionIndent << "Message kind: " << document.kind() << '\n';

    const KXLNodeRef container = vocabularyContainer(document);
    if (!container) {
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
    KXLTextTable guests(guestColumns());
    std::optional<KXLVersionEntry> version;
    std::vector<KXLNodeRef> others;

    KXLGuestRow row;
    forEachItem(container, [&](const KXLVocabularyItem& item) {
        switch (item.kind) {
        case KXLVocabularyItem::Kind::Category: categories.addRow({item.category}); break;
        case KXLVocabularyItem::Kind::Version: version = item.version; break;
        case KXLVocabularyItem::Kind::Adapter:
            adapters.addRow({std::to_string(item.adapter.id), item.adapter.name});
            break;
        case KXLVocabularyItem::Kind::Guest: guests.addRow(row.cells(item.guest)); break;
        case KXLVocabularyItem::Kind::Other: others.push_back(item.node); break;
        }
    });

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

std::size_t printGuests(std::ostream& out, const std::string& name, const KXLDocument& document,
                        const std::function<bool(const KXLGuestEntry&)>& wanted, std::string_view remark)
{
    const KXLNodeRef container = vocabularyContainer(document);
    if (!container)
        return 0;
    KXLTextTable guests(guestColumns());
    KXLGuestRow row;
    forEachItem(container, [&](const KXLVocabularyItem& item) {
        if (item.kind == KXLVocabularyItem::Kind::Guest && wanted(item.guest))
            guests.addRow(row.cells(item.guest));
    });
    if (guests.empty())
        return 0;
    title(out, name, remark);
    section(out, "Guest operating systems", guests);
    return guests.rows();
}

std::string printVocabulary(const std::string& name, const KXLDocument& document)
{
    std::ostringstream out;
    printVocabulary(out, name, document);
    return out.str();
}

} // namespace KXL
