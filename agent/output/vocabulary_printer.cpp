#include "agent/output/vocabulary_printer.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/text_escape.h"
#include "agent/output/text_table.h"
#include "agent/vocabulary/vocabulary_model.h"

namespace KXL {

namespace {

const std::string kSectionIndent = "  ";
const std::string kTableIndent = "    ";

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

// The guest OS table's columns by their place in allGuestColumns: four fixed ones, then one
// for each of kGuestValueNames.
enum GuestColumn : std::size_t {
    kCodeColumn,
    kIdentifierColumn,
    kDisplayNameColumn,
    kExperimentalColumn,
    kFirstValueColumn,
};

const std::vector<TextTable::Column>& allGuestColumns()
{
    static const std::vector<TextTable::Column> columns = [] {
        std::vector<TextTable::Column> all = {{"code", TextTable::Align::Right}, {"identifier"},
            {"display name"}, {"experimental"}};
        for (std::string_view valueName : kGuestValueNames)
            all.push_back({std::string(valueName), TextTable::Align::Right});
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

// The characters of a number in decimal, its sign included.
template <typename Number>
std::size_t printedWidth(Number number)
{
    static_assert(sizeof(Number) <= 4, "the powers of ten below would overflow");
    std::uint64_t magnitude = static_cast<std::uint64_t>(number);
    std::size_t width = 1;
    if constexpr (std::is_signed_v<Number>) {
        if (number < 0) {
            magnitude = 0 - magnitude;
            ++width;
        }
    }
    // Compared, not divided: a chain of divisions costs more than formatting (BM_Print).
    for (std::uint64_t power = 10; magnitude >= power; power *= 10)
        ++width;
    return width;
}

// Which texts of a guest OS print as they are (escapesToItself), one bit each: found while
// measuring, so that printing need not look again.
enum PlainTexts : unsigned char { kPlainIdentifier = 1, kPlainDisplayName = 2 };

// The guest OS table's rows, each formatted straight into the output, with what each column
// shows, its width and its alignment decided once for the table.
class GuestLines {
public:
    GuestLines(const TextTable& table, const GuestColumns& columns)
    {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            m_places.push_back({columns[i], table.width(i),
                allGuestColumns()[columns[i]].align == TextTable::Align::Right});
            m_widths += table.width(i);
            // A column may be named more than once, and each time its text is written again.
            m_identifiers += columns[i] == kIdentifierColumn;
            m_names += columns[i] == kDisplayNameColumn;
        }
    }

    void print(TextOut& out, const GuestEntry& guest, unsigned char plain)
    {
        const TextTable::Shown identifier = text(guest.identifier, plain & kPlainIdentifier, m_identifier);
        const TextTable::Shown name = text(guest.displayName, plain & kPlainDisplayName, m_name);
        const std::size_t bytes = m_widths + m_identifiers * identifier.text.size() + m_names * name.text.size();
        TextLine line(out.room(TextLine::room(kTableIndent, bytes, m_widths, m_places.size())), kTableIndent);
        for (const Place& place : m_places) {
            switch (place.shows) {
            case kCodeColumn: number(line, guest.code, place); break;
            case kIdentifierColumn: line.cell(identifier.text, identifier.width, place.width, place.right); break;
            case kDisplayNameColumn: line.cell(name.text, name.width, place.width, place.right); break;
            case kExperimentalColumn:
                line.cell(guest.experimental ? "yes" : "no", guest.experimental ? 3 : 2, place.width, place.right);
                break;
            default: number(line, guest.values[place.shows - kFirstValueColumn], place); break;
            }
        }
        out.wrote(line.end());
    }

private:
    struct Place {
        std::size_t shows; // the column's place in allGuestColumns
        std::size_t width;
        bool right;
    };
    std::vector<Place> m_places;
    // Of all columns: a number or "yes" takes no more bytes than its column's width.
    std::size_t m_widths = 0;
    std::size_t m_identifiers = 0; // places that show the identifier
    std::size_t m_names = 0; // and the display name
    std::string m_identifier; // escaped
    std::string m_name;

    static TextTable::Shown text(std::string_view raw, bool plain, std::string& scratch)
    {
        return plain ? TextTable::Shown{raw, raw.size()} : TextTable::escaped(raw, scratch);
    }

    // Numbers' columns are aligned right.
    template <typename Number>
    static void number(TextLine& line, Number number, const Place& place)
    {
        const std::size_t size = printedWidth(number);
        char* const at = line.rightCell(size, place.width);
        std::to_chars(at, at + size, number);
    }
};

// "Vocabulary "NAME"", then the remark on a line of its own.
void title(TextOut& out, const std::string& name, std::string_view remark)
{
    out.append("Vocabulary " + (name.empty() ? std::string("(unnamed)") : quoteText(name)) + '\n');
    if (!remark.empty())
        out.append(kSectionIndent + std::string(remark) + '\n');
}

// A section's title line; the table follows when it has rows.
bool sectionTitle(TextOut& out, const std::string& title, std::size_t rows)
{
    out.append('\n' + kSectionIndent + title +
        (rows == 0 ? std::string(": none\n") : " (" + std::to_string(rows) + ")\n"));
    return rows > 0;
}

// The widest cell of each guest OS column, from the texts' widths and, for numbers, only
// from the smallest and the largest: the measuring pass formats no number. Keeps the
// PlainTexts of each row measured.
class GuestWidths {
public:
    explicit GuestWidths(std::size_t rows) { m_plain.reserve(rows); }

    void add(const GuestEntry& guest)
    {
        if (m_rows++ == 0)
            m_least = m_most = guest.values;
        m_code = std::max(m_code, guest.code);
        for (std::size_t i = 0; i < kGuestValueCount; ++i) {
            m_least[i] = std::min(m_least[i], guest.values[i]);
            m_most[i] = std::max(m_most[i], guest.values[i]);
        }
        unsigned char plain = 0;
        m_identifier = std::max(m_identifier, width(guest.identifier, kPlainIdentifier, plain));
        m_displayName = std::max(m_displayName, width(guest.displayName, kPlainDisplayName, plain));
        m_plain.push_back(plain);
        m_experimental |= guest.experimental;
    }

    // The PlainTexts of the rows in the order measured, from 0.
    unsigned char plain(std::size_t row) const { return m_plain[row]; }

    std::size_t width(std::size_t column) const
    {
        switch (column) {
        case kCodeColumn: return printedWidth(m_code);
        case kIdentifierColumn: return m_identifier;
        case kDisplayNameColumn: return m_displayName;
        case kExperimentalColumn: return m_experimental ? 3 : 2; // "yes", "no"
        default:
            return std::max(printedWidth(m_least[column - kFirstValueColumn]),
                            printedWidth(m_most[column - kFirstValueColumn]));
        }
    }

private:
    std::size_t m_rows = 0;
    std::uint32_t m_code = 0;
    std::array<int, kGuestValueCount> m_least{};
    std::array<int, kGuestValueCount> m_most{};
    std::size_t m_identifier = 0;
    std::size_t m_displayName = 0;
    bool m_experimental = false;
    std::string m_scratch;
    std::vector<unsigned char> m_plain; // by row measured

    std::size_t width(std::string_view text, PlainTexts bit, unsigned char& plain)
    {
        if (!escapesToItself(text))
            return TextTable::escaped(text, m_scratch).width;
        plain |= bit;
        return text.size();
    }
};

// The guest OS table of the rows for which wanted(entry) holds, of which there are some:
// measured, then printed.
template <typename Wanted>
void printGuestTable(TextOut& out, const std::vector<GuestEntry>& entries, const GuestColumns& columns,
                     Wanted wanted)
{
    GuestWidths widths(entries.size());
    for (const GuestEntry& guest : entries)
        if (wanted(guest))
            widths.add(guest);
    TextTable guests(guestColumns(columns));
    for (std::size_t i = 0; i < columns.size(); ++i)
        guests.widen(i, widths.width(columns[i]));
    guests.printHead(out, kTableIndent);
    GuestLines lines(guests, columns);
    std::size_t printed = 0;
    for (const GuestEntry& guest : entries)
        if (wanted(guest))
            lines.print(out, guest, widths.plain(printed++));
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
        out.append(kSectionIndent + "Message kind: " + std::to_string(document.kind()) + '\n');

    const KXLNodeRef container = vocabularyContainer(document);
    if (!container) {
        out.append(kSectionIndent + "Not a vocabulary (expected one element 1307 holding one element 1044)\n");
        if (document.empty()) {
            out.append(kSectionIndent + "The document is empty\n");
            return;
        }
        out.append('\n' + kSectionIndent + "Content\n");
        for (KXLNodeRef root : document.roots())
            dumpNode(out, root, kTableIndent);
        return;
    }

    const Vocabulary vocabulary = classifyVocabulary(document);
    if (vocabulary.version)
        out.append(kSectionIndent + "Version: " + escapeText(vocabulary.version->stamp) + " (" +
            escapeText(vocabulary.version->description) + ")\n");
    else
        out.append(kSectionIndent + "Version: none (no version entry)\n");
    if (sectionTitle(out, "Categories", vocabulary.categories.size())) {
        TextTable categories({{"name"}});
        for (const CategoryEntry& category : vocabulary.categories)
            categories.measure({category.name});
        categories.printHead(out, kTableIndent);
        for (const CategoryEntry& category : vocabulary.categories)
            categories.printRow(out, kTableIndent, {category.name});
    }
    if ((!vocabulary.adapters.empty() || vocabulary.defines(kAdapterCategory)) &&
        sectionTitle(out, "Network adapters", vocabulary.adapters.size())) {
        TextTable adapters({{"id", TextTable::Align::Right}, {"name"}});
        for (const AdapterEntry& adapter : vocabulary.adapters)
            adapters.measure({std::to_string(adapter.id), adapter.name});
        adapters.printHead(out, kTableIndent);
        for (const AdapterEntry& adapter : vocabulary.adapters)
            adapters.printRow(out, kTableIndent, {std::to_string(adapter.id), adapter.name});
    }
    if ((!vocabulary.guests.empty() || vocabulary.defines(kGuestCategory)) &&
        sectionTitle(out, "Guest operating systems", vocabulary.guests.size()))
        printGuestTable(out, vocabulary.guests, orAll(asked), [](const GuestEntry&) { return true; });
    if (!vocabulary.others.empty()) {
        out.append('\n' + kSectionIndent + "Other entries (" + std::to_string(vocabulary.others.size()) + ")\n");
        for (const OtherEntry& entry : vocabulary.others)
            dumpNode(out, entry.node, kTableIndent);
    }
}

std::size_t printGuests(std::ostream& stream, const std::string& name, const KXLDocument& document,
                        const std::function<bool(const GuestEntry&)>& wanted, std::string_view remark,
                        const GuestColumns& asked)
{
    const Vocabulary vocabulary = classifyVocabulary(document);
    const std::size_t found = static_cast<std::size_t>(
        std::count_if(vocabulary.guests.begin(), vocabulary.guests.end(), wanted));
    if (found == 0)
        return 0;
    TextOut out(stream);
    title(out, name, remark);
    sectionTitle(out, "Guest operating systems", found);
    printGuestTable(out, vocabulary.guests, orAll(asked), wanted);
    return found;
}

std::string printVocabulary(const std::string& name, const KXLDocument& document, const GuestColumns& columns)
{
    std::ostringstream out;
    printVocabulary(out, name, document, {}, columns);
    return out.str();
}

} // namespace KXL
