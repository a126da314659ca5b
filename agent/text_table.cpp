#include "text_table.h"

#include <algorithm>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "text_escape.h"

namespace KXL {

namespace {

const char* const columnGap = "  ";

} // namespace

KXLTextTable::KXLTextTable(std::vector<Column> columns) : m_columns(std::move(columns))
{
    if (m_columns.empty())
        throw std::invalid_argument("a table needs at least one column");
    for (const auto& column : m_columns) {
        m_titles.push_back(escapeText(column.title));
        m_titleWidths.push_back(displayWidth(m_titles.back()));
    }
    m_widths = m_titleWidths;
}

void KXLTextTable::addCell(std::string_view raw)
{
    // Printable ASCII without a backslash escapes to itself, one column a byte: most cells.
    const bool plain = std::all_of(raw.begin(), raw.end(), [](char c) { return c >= 0x20 && c < 0x7F && c != '\\'; });
    if (plain && raw.size() <= std::numeric_limits<std::uint32_t>::max()) {
        const std::size_t column = m_cells.size() % m_columns.size();
        m_widths[column] = std::max(m_widths[column], raw.size());
        m_text += raw;
        m_cells.push_back({static_cast<std::uint32_t>(raw.size()), static_cast<std::uint32_t>(raw.size())});
        return;
    }
    const std::string escaped = escapeText(raw);
    if (escaped.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("a table cell is larger than 4 GiB");
    const auto width = static_cast<std::uint32_t>(displayWidth(escaped));
    const std::size_t column = m_cells.size() % m_columns.size();
    m_widths[column] = std::max<std::size_t>(m_widths[column], width);
    m_text += escaped;
    m_cells.push_back({static_cast<std::uint32_t>(escaped.size()), width});
}

void KXLTextTable::addRow(const std::vector<std::string_view>& cells)
{
    if (cells.size() != m_columns.size())
        throw std::invalid_argument("table row has " + std::to_string(cells.size()) +
            " cells for " + std::to_string(m_columns.size()) + " columns");
    for (const std::string_view cell : cells)
        addCell(cell);
    ++m_rows;
}

void KXLTextTable::addRow(std::initializer_list<std::string_view> cells)
{
    addRow(std::vector<std::string_view>(cells));
}

void KXLTextTable::render(std::ostream& out, const std::string& indent) const
{
    // Lines are gathered and written in pieces of about 64 KiB: one stream call per piece,
    // not per line.
    constexpr std::size_t kPiece = 65536;
    std::string text;
    text.reserve(kPiece + 1024);
    // Only padding is cut from the end; blanks that belong to a cell stay.
    const auto writeLine = [&](auto cellAt) {
        const std::size_t start = text.size();
        text += indent;
        std::size_t keep = 0;
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            if (i > 0)
                text += columnGap;
            const auto [cell, width] = cellAt(i);
            const std::size_t padding = m_widths[i] - width;
            if (m_columns[i].align == Align::Right)
                text.append(padding, ' ');
            text += cell;
            if (!cell.empty())
                keep = text.size() - start;
            if (m_columns[i].align == Align::Left)
                text.append(padding, ' ');
        }
        text.resize(start + keep);
        text += '\n';
        if (text.size() >= kPiece) {
            out << text;
            text.clear();
        }
    };

    writeLine([&](std::size_t i) {
        return std::pair<std::string_view, std::size_t>(m_titles[i], m_titleWidths[i]);
    });
    const std::string rule(*std::max_element(m_widths.begin(), m_widths.end()), '-');
    writeLine([&](std::size_t i) {
        return std::pair<std::string_view, std::size_t>(std::string_view(rule).substr(0, m_widths[i]), m_widths[i]);
    });
    std::size_t offset = 0;
    std::vector<std::size_t> starts(m_columns.size());
    for (std::size_t row = 0; row < m_rows; ++row) {
        const Cell* cells = &m_cells[row * m_columns.size()];
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            starts[i] = offset;
            offset += cells[i].length;
        }
        writeLine([&](std::size_t i) {
            return std::pair<std::string_view, std::size_t>(
                std::string_view(m_text).substr(starts[i], cells[i].length), cells[i].width);
        });
    }
    out << text;
}

std::string KXLTextTable::render(const std::string& indent) const
{
    std::ostringstream out;
    render(out, indent);
    return out.str();
}

} // namespace KXL
