#include "text_table.h"

#include <algorithm>
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
}

void KXLTextTable::addRow(const std::vector<std::string>& cells)
{
    if (cells.size() != m_columns.size())
        throw std::invalid_argument("table row has " + std::to_string(cells.size()) +
            " cells for " + std::to_string(m_columns.size()) + " columns");
    std::vector<std::string> row;
    row.reserve(cells.size());
    for (const auto& cell : cells)
        row.push_back(escapeText(cell));
    m_rows.push_back(std::move(row));
}

std::string KXLTextTable::render(const std::string& indent) const
{
    std::vector<std::string> titles;
    for (const auto& column : m_columns)
        titles.push_back(escapeText(column.title));

    std::vector<std::size_t> widths;
    for (const auto& title : titles)
        widths.push_back(displayWidth(title));
    for (const auto& row : m_rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], displayWidth(row[i]));

    const auto formatLine = [&](const std::vector<std::string>& cells) {
        // Only padding is cut from the end; blanks that belong to a cell stay.
        std::string line = indent;
        std::size_t keep = 0;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0)
                line += columnGap;
            const std::string padding(widths[i] - displayWidth(cells[i]), ' ');
            if (m_columns[i].align == Align::Right)
                line += padding;
            line += cells[i];
            if (!cells[i].empty())
                keep = line.size();
            if (m_columns[i].align == Align::Left)
                line += padding;
        }
        line.resize(keep);
        return line + '\n';
    };

    std::string out = formatLine(titles);
    std::vector<std::string> rule;
    for (const auto width : widths)
        rule.emplace_back(width, '-');
    out += formatLine(rule);
    for (const auto& row : m_rows)
        out += formatLine(row);
    return out;
}

} // namespace KXL
