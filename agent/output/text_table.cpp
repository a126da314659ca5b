#include "agent/output/text_table.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "common/text_escape.h"

namespace KXL {

TextTable::Shown TextTable::shown(std::string_view raw, std::string& scratch)
{
    if (escapesToItself(raw))
        return {raw, raw.size()};
    return escaped(raw, scratch);
}

TextTable::Shown TextTable::escaped(std::string_view raw, std::string& scratch)
{
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

void TextOut::makeRoom(std::size_t bytes)
{
    flush();
    if (bytes > m_capacity) {
        m_buffer.reset(new char[bytes]);
        m_capacity = bytes;
    }
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
}

void TextTable::widen(std::size_t column, std::size_t width)
{
    m_widths.at(column) = std::max(m_widths.at(column), width);
}

void TextTable::printLine(TextOut& out, std::string_view indent, const Shown* cells) const
{
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        bytes += cells[i].text.size();
    const std::size_t widths = std::accumulate(m_widths.begin(), m_widths.end(), std::size_t{0});
    TextLine line(out.room(TextLine::room(indent, bytes, widths, m_columns.size())), indent);
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        line.cell(cells[i].text, cells[i].width, m_widths[i], m_columns[i].align == Align::Right);
    out.wrote(line.end());
}

void TextTable::printHead(TextOut& out, std::string_view indent) const
{
    std::vector<Shown> cells(m_columns.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        cells[i] = {m_titles[i], m_titleWidths[i]};
    printLine(out, indent, cells.data());
    const std::string rule(*std::max_element(m_widths.begin(), m_widths.end()), '-');
    for (std::size_t i = 0; i < cells.size(); ++i)
        cells[i] = {std::string_view(rule).substr(0, m_widths[i]), m_widths[i]};
    printLine(out, indent, cells.data());
}

void TextTable::printRow(TextOut& out, std::string_view indent, const std::string_view* cells,
                            std::size_t count) const
{
    checkCount(count);
    std::vector<std::string> scratch(count);
    std::vector<Shown> shownCells(count);
    for (std::size_t i = 0; i < count; ++i)
        shownCells[i] = shown(cells[i], scratch[i]);
    printLine(out, indent, shownCells.data());
}

} // namespace KXL
