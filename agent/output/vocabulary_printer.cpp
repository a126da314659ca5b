#include "vocabulary_printer.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <algorithm>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "text_escape.h"
#include "text_table.h"
#include "agent/vocabulary/vocabulary_model.h"

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
    if (const auto stamps = node.stamps())
        line += formatStamps(*stamps);
    if (node.valueKind() != KXLValueKind::None)
        line += " = " + formatValue(node);
    return line;
}

// One line per node, children indented below their element. Iterative: the depth of
// a tree is not this function's to bound.
void dumpNode(TextOut& out, KXLNodeRef root, const std::string& indent)
{
    std::vector<std::pair<KXLNodeRef, std::size_t>> pending{{root, 0}};
    std::vector<KXLNodeRef> children;
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        out.append(indent);
        out.spaces(2 * depth);
        out.append(describeNode(node) + '\n');
        children.assign(node.children().begin(), node.children().end());
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            pending.emplace_back(*child, depth + 1);
    }
}

const std::vector<TextTable::Column>& allGuestColumns()
{
    static const std::vector<TextTable::Column> columns = [] {
        std::vector<TextTable::Column> all = {{"code", TextTable::Align::Right}, {"identifier"},
            {"display name"}, {"experimental"}};
        for (const char* valueName : kGuestValueNames)
            all.push_back({valueName, TextTable::Align::Right});
        return all;
    }();
    return columns;
}

// The columns asked for, every one when none are.
const GuestColumns& orAll(const GuestColumns& columns)
{
    static const GuestColumns all = [] {
        GuestColumns every(allGuestColumns().size());
        for (std::size_t i = 0; i < every.size(); ++i)
            every[i] = i;
        return every;
    }();
    return columns.empty() ? all : columns;
}

std::vector<TextTable::Column> guestColumns(const GuestColumns& columns)
{
    std::vector<TextTable::Column> picked;
    for (std::size_t column : columns)
        picked.push_back(allGuestColumns().at(column));
    return picked;
}

// The cells of one guest OS row in the columns asked for; the numbers' texts live here
// until the row is printed.
class GuestRow {
public:
    explicit GuestRow(const GuestColumns& columns) : m_columns(columns), m_cells(columns.size()) {}

    const TextTable::Cells& cells(const GuestEntry& guest)
    {
        for (std::size_t i = 0; i < m_columns.size(); ++i)
            m_cells[i] = cell(guest, m_columns[i]);
        return m_cells;
    }

private:
    const GuestColumns& m_columns;
    std::array<std::array<char, 16>, 4 + kGuestValueNames.size()> m_numbers; // by column
    TextTable::Cells m_cells;

    std::string_view cell(const GuestEntry& guest, std::size_t column)
    {
        switch (column) {
        case 0: return format(column, guest.code);
        case 1: return guest.identifier;
        case 2: return guest.displayName;
        case 3: return guest.experimental ? "yes" : "no";
        default: return format(column, guest.values[column - 4]);
        }
    }

    template <typename Number>
    std::string_view format(std::size_t slot, Number number)
    {
        char* begin = m_numbers[slot].data();
        return std::string_view(begin, std::to_chars(begin, begin + m_numbers[slot].size(), number).ptr - begin);
    }
};

// "Vocabulary "NAME"", then the remark on a line of its own.
void title(TextOut& out, const std::string& name, std::string_view remark)
{
    out.append("Vocabulary " + (name.empty() ? std::string("(unnamed)") : quoteText(name)) + '\n');
    if (!remark.empty())
        out.append(sectionIndent + std::string(remark) + '\n');
}

// A section's title line; the table follows when it has rows.
bool sectionTitle(TextOut& out, const std::string& title, std::size_t rows)
{
    out.append('\n' + sectionIndent + title +
        (rows == 0 ? std::string(": none\n") : " (" + std::to_string(rows) + ")\n"));
    return rows > 0;
}

// The rows of the guest OSes for which wanted(entry) holds, after the table measured them.
template <typename Wanted>
void printGuestRows(TextOut& out, const TextTable& guests, const GuestColumns& columns,
                    KXLNodeRef container, Wanted wanted)
{
    guests.printHead(out, tableIndent);
    GuestRow row(columns);
    forEachItem(container, [&](const VocabularyItem& item) {
        if (item.kind == VocabularyItem::Kind::Guest && wanted(item.guest))
            guests.printRow(out, tableIndent, row.cells(item.guest));
    });
}

// The names --columns takes: the titles, with no blank inside.
const std::vector<std::string>& guestColumnNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const TextTable::Column& column : allGuestColumns()) {
            all.push_back(column.title);
            std::replace(all.back().begin(), all.back().end(), ' ', '_');
        }
        return all;
    }();
    return names;
}

} // namespace

const std::string& guestColumnList()
{
    static const std::string list = [] {
        std::string text;
        for (const std::string& name : guestColumnNames())
            text += (text.empty() ? "" : ", ") + name;
        return text;
    }();
    return list;
}

GuestColumns guestColumnsNamed(std::string_view list)
{
    const std::vector<std::string>& names = guestColumnNames();
    GuestColumns columns;
    std::size_t start = 0;
    for (std::size_t end; start <= list.size(); start = end + 1) {
        end = std::min(list.find(',', start), list.size());
        const std::string_view wanted = list.substr(start, end - start);
        const auto found = std::find(names.begin(), names.end(), wanted);
        if (found == names.end())
            throw std::invalid_argument("no column named " + quoteText(wanted) + "; the columns are " +
                guestColumnList());
        columns.push_back(static_cast<std::size_t>(found - names.begin()));
    }
    return columns;
}

void printVocabulary(std::ostream& stream, const std::string& name, const KXLDocument& document,
                     std::string_view remark, const GuestColumns& asked)
{
    TextOut out(stream);
    title(out, name, remark);
    if (document.kind() != 0)
        out.append(sectionIndent + "Message kind: " + std::to_string(document.kind()) + '\n');

    const KXLNodeRef container = vocabularyContainer(document);
    if (!container) {
        out.append(sectionIndent + "Not a vocabulary (expected one element 1307 holding one element 1044)\n");
        if (document.empty()) {
            out.append(sectionIndent + "The document is empty\n");
            return;
        }
        out.append('\n' + sectionIndent + "Content\n");
        for (KXLNodeRef root : document.roots())
            dumpNode(out, root, tableIndent);
        return;
    }

    // The first pass measures every table; the few categories and adapters are kept from
    // it, the guest OSes, the bulk, are read again for their rows.
    TextTable categories({{"name"}});
    TextTable adapters({{"id", TextTable::Align::Right}, {"name"}});
    const GuestColumns& columns = orAll(asked);
    TextTable guests(guestColumns(columns));
    GuestRow row(columns);
    std::vector<std::string_view> categoryNames;
    std::vector<AdapterEntry> adapterEntries;
    std::optional<VersionEntry> version;
    std::vector<KXLNodeRef> others;
    forEachItem(container, [&](const VocabularyItem& item) {
        switch (item.kind) {
        case VocabularyItem::Kind::Category:
            categories.measure({item.category});
            categoryNames.push_back(item.category);
            break;
        case VocabularyItem::Kind::Version: version = item.version; break;
        case VocabularyItem::Kind::Adapter:
            adapters.measure({std::to_string(item.adapter.id), item.adapter.name});
            adapterEntries.push_back(item.adapter);
            break;
        case VocabularyItem::Kind::Guest: guests.measure(row.cells(item.guest)); break;
        case VocabularyItem::Kind::Other: others.push_back(item.node); break;
        }
    });

    if (version)
        out.append(sectionIndent + "Version: " + escapeText(version->stamp) + " (" +
            escapeText(version->description) + ")\n");
    else
        out.append(sectionIndent + "Version: none (no version entry)\n");
    if (sectionTitle(out, "Categories", categories.rows())) {
        categories.printHead(out, tableIndent);
        for (std::string_view category : categoryNames)
            categories.printRow(out, tableIndent, {category});
    }
    const auto has = [&](std::string_view category, const TextTable& entries) {
        return !entries.empty() ||
            std::find(categoryNames.begin(), categoryNames.end(), category) != categoryNames.end();
    };
    if (has(kAdapterCategory, adapters) && sectionTitle(out, "Network adapters", adapters.rows())) {
        adapters.printHead(out, tableIndent);
        for (const AdapterEntry& adapter : adapterEntries)
            adapters.printRow(out, tableIndent, {std::to_string(adapter.id), adapter.name});
    }
    if (has(kGuestCategory, guests) && sectionTitle(out, "Guest operating systems", guests.rows()))
        printGuestRows(out, guests, columns, container, [](const GuestEntry&) { return true; });
    if (!others.empty()) {
        out.append('\n' + sectionIndent + "Other entries (" + std::to_string(others.size()) + ")\n");
        for (KXLNodeRef entry : others)
            dumpNode(out, entry, tableIndent);
    }
}

std::size_t printGuests(std::ostream& stream, const std::string& name, const KXLDocument& document,
                        const std::function<bool(const GuestEntry&)>& wanted, std::string_view remark,
                        const GuestColumns& asked)
{
    const KXLNodeRef container = vocabularyContainer(document);
    if (!container)
        return 0;
    const GuestColumns& columns = orAll(asked);
    TextTable guests(guestColumns(columns));
    GuestRow row(columns);
    forEachItem(container, [&](const VocabularyItem& item) {
        if (item.kind == VocabularyItem::Kind::Guest && wanted(item.guest))
            guests.measure(row.cells(item.guest));
    });
    if (guests.empty())
        return 0;
    TextOut out(stream);
    title(out, name, remark);
    sectionTitle(out, "Guest operating systems", guests.rows());
    printGuestRows(out, guests, columns, container, wanted);
    return guests.rows();
}

std::string printVocabulary(const std::string& name, const KXLDocument& document, const GuestColumns& columns)
{
    std::ostringstream out;
    printVocabulary(out, name, document, {}, columns);
    return out.str();
}

} // namespace KXL
