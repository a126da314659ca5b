// A table of text with aligned columns, as the agent prints vocabularies.
#ifndef AGENT_TEXT_TABLE_H
#define AGENT_TEXT_TABLE_H

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace KXL {

class KXLTextTable {
public:
    enum class Align { Left, Right };
    struct Column {
        std::string title;
        Align align = Align::Left;
    };

    explicit KXLTextTable(std::vector<Column> columns);

    // Cells are raw bytes: the table escapes them (escapeText), so nothing reaches the
    // terminal unescaped. Each is escaped and measured once, and kept in one buffer. A row
    // with the wrong number of cells: std::invalid_argument.
    void addRow(std::initializer_list<std::string_view> cells);
    void addRow(const std::vector<std::string_view>& cells);

    bool empty() const { return m_rows == 0; }
    std::size_t rows() const { return m_rows; }

    // Title line, a rule, then the rows; every line starts with indent and ends in a newline,
    // without trailing padding.
    void render(std::ostream& out, const std::string& indent) const;
    std::string render(const std::string& indent) const;

private:
    struct Cell {
        std::uint32_t length; // bytes of escaped text in m_text
        std::uint32_t width; // terminal columns
    };

    std::vector<Column> m_columns;
    std::vector<std::string> m_titles; // escaped
    std::vector<std::size_t> m_titleWidths;
    std::vector<std::size_t> m_widths; // the widest cell of each column, titles included
    std::string m_text; // every escaped cell, row after row
    std::vector<Cell> m_cells;
    std::size_t m_rows = 0;

    void addCell(std::string_view raw);
};

} // namespace KXL

#endif
