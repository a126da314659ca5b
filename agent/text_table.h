// A table of text with aligned columns, as the agent prints vocabularies.
#ifndef AGENT_TEXT_TABLE_H
#define AGENT_TEXT_TABLE_H

#include <string>
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
    // terminal unescaped. A row with the wrong number of cells: std::invalid_argument.
    void addRow(const std::vector<std::string>& cells);

    bool empty() const { return m_rows.empty(); }
    std::size_t rows() const { return m_rows.size(); }

    // Title line, a rule, then the rows; every line starts with indent and ends in a newline,
    // without trailing padding.
    std::string render(const std::string& indent) const;

private:
    std::vector<Column> m_columns;
    std::vector<std::vector<std::string>> m_rows; // escaped
};

} // namespace KXL

#endif
