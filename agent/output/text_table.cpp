#include "agent/output/text_table.h"

#include <algorithm>
#include <stdexcept>

#include "common/text_escape.h"

namespace KXL {

namespace {

constexpr std::size_t kColumnGap = 2; // blanks

} // namespace

TextTable::Shown TextTable::shown(std::string_view raw, std::string& scratch)
{
    if (escapesToItself(raw))
        return {raw, raw.size()};
    scratch = escapeText(raw);
    return {scratch, displayWidth(scratch)};
}

TextOut::TextOut(std::ostream& out) : m_out(out), m_buffer(new char[kPiece]) {}

TextOut::~TextOut()
{
    flush();
}

void TextOut::flush()
{
    m_out.write(m_buffer.get(), static_cast<std::streamsize>(m_size));
    m_size = 0;
}

void TextOut::appendLarge(std::string_view text)
{
    flush();
    if (text.size() >= kPiece) {
        m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
        return;
    }
    std::memcpy(m_buffer.get(), text.data(), text.size());
    m_size = text.size();
}

TextTable::TextTable(std::vector<Column> columns) : m_columns(std::move(columns))
{
    if (m_columns.empty())
        throw std::invalid_argument("a table needs at least one column");
    for (const auto& column : m_columns) {
        m_titles.push_back(escapeText(column.title));
        m_titleWidths.push_back(displayWidth(m_titles.back()));
    }
    m_widths = m_titleWidths;
}

void TextTable::checkCount(std::size_t count) const
{
    if (count != m_columns.size())
        throw std::invalid_argument("table row has " + std::to_string(count) + " cells for " +
            std::to_string(m_columns.size()) + " columns");
}

void TextTable::measure(const std::string_view* cells, std::size_t count)
{
    checkCount(count);
    std::string scratch;
    for (std::size_t i = 0; i < count; ++i)
        m_widths[i] = std::max(m_widths[i], shown(cells[i], scratch).width);
    ++m_rows;
}

void TextTable::widen(std::size_t column, std::size_t width)
{
    m_widths.at(column) = std::max(m_widths.at(column), width);
}

template <typename CellAt>
void TextTable::printLine(TextOut& out, std::string_view indent, CellAt cellAt) const
{
    // Blanks are owed until a cell follows them, so a line ends without padding (a line of
    // empty cells is empty) while blanks that belong to a cell stay.
    std::size_t owed = 0;
    bool started = false;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (i > 0)
            owed += kColumnGap;
        const auto [cell, width] = cellAt(i);
        // A row wider than measured goes out unpadded rather than wrong.
        const std::size_t padding = m_widths[i] - std::min(width, m_widths[i]);
        if (m_columns[i].align == Align::Right)
            owed += padding;
        if (!cell.empty()) {
            if (!started)
                out.append(indent);
            started = true;
            out.spaces(owed);
            out.append(cell);
            owed = 0;
        }
        if (m_columns[i].align == Align::Left)
            owed += padding;
    }
    out.append('\n');
}

void TextTable::printHead(TextOut& out, std::string_view indent) const
{
    printLine(out, indent, [&](std::size_t i) { return Shown{m_titles[i], m_titleWidths[i]}; });
    const std::string rule(*std::max_element(m_widths.begin(), m_widths.end()), '-');
    printLine(out, indent, [&](std::size_t i) { return Shown{std::string_view(rule).substr(0, m_widths[i]), m_widths[i]}; });
}

void TextTable::printRow(TextOut& out, std::string_view indent, const std::string_view* cells,
                            std::size_t count) const
{
    checkCount(count);
    std::string scratch;
    printLine(out, indent, [&](std::size_t i) { return shown(cells[i], scratch); });
}

void TextTable::printRow(TextOut& out, std::string_view indent, const Shown* cells, std::size_t count) const
{
    checkCount(count);
    printLine(out, indent, [&](std::size_t i) { return cells[i]; });
}

} // namespace KXL
