// Tables of text with aligned columns, as the agent prints vocabularies, and the buffer they
// are printed through.
#ifndef AGENT_TEXT_TABLE_H
#define AGENT_TEXT_TABLE_H

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace KXL {

// Text gathered in a buffer of a mebibyte (more once one piece of text asks for more) and
// handed to the stream whenever the next piece does not fit: one stream call a buffer, not
// one a line. What is left is written by flush() or the destructor.
class TextOut {
public:
    explicit TextOut(std::ostream& out);
    ~TextOut();
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    void append(std::string_view text) { wrote(std::copy(text.begin(), text.end(), room(text.size()))); }
    void append(char c) { append(std::string_view(&c, 1)); }
    void spaces(std::size_t count) { wrote(std::fill_n(room(count), count, ' ')); }
    // Room for `bytes` more at the returned place, however many (more than a piece widens the
    // buffer); wrote() then says where the bytes written there end.
    char* room(std::size_t bytes)
    {
        if (bytes > m_capacity - m_size)
            makeRoom(bytes);
        return m_buffer.get() + m_size;
    }
    void wrote(const char* end) { m_size = static_cast<std::size_t>(end - m_buffer.get()); }
    void flush();

private:
    static constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::ostream& m_out;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = kPiece;
    std::size_t m_size = 0;

    void makeRoom(std::size_t bytes);
};

// Printed in two passes over the same rows: measure() each, which keeps only the widest
// cell of each column, then printHead() and printRow() each. A table never holds its rows.
// Cells are raw bytes: the table escapes them (escapeText), so nothing reaches the terminal
// unescaped. A row with the wrong number of cells: std::invalid_argument.
class TextTable {
public:
    enum class Align { Left, Right };
    struct Column {
        std::string title;
        Align align = Align::Left;
    };
    using Cells = std::vector<std::string_view>;
    // A cell as printed: escaped, and its width in terminal columns.
    struct Shown {
        std::string_view text;
        std::size_t width;
    };
    // The cell as printed; escaped into scratch only when it must be.
    static Shown shown(std::string_view raw, std::string& scratch);
    // The cell escaped into scratch, for callers that know it must be.
    static Shown escaped(std::string_view raw, std::string& scratch);

    explicit TextTable(std::vector<Column> columns);

    void measure(std::initializer_list<std::string_view> cells) { measure(cells.begin(), cells.size()); }
    void measure(const Cells& cells) { measure(cells.data(), cells.size()); }

    // For callers that measure their rows themselves: the column is at least that wide.
    void widen(std::size_t column, std::size_t width);
    // A row made of cells already shown, for callers that know most of theirs print as they
    // are (numbers): the table's bulk, printed without a second look.
    void printRow(TextOut& out, std::string_view indent, const Shown* cells, std::size_t count) const;

    bool empty() const { return m_rows == 0; }
    std::size_t rows() const { return m_rows; } // measured

    // Lines start with indent and end in a newline, without trailing padding: the title line
    // and a rule, then one line a row.
    void printHead(TextOut& out, std::string_view indent) const;
    void printRow(TextOut& out, std::string_view indent, std::initializer_list<std::string_view> cells) const
    {
        printRow(out, indent, cells.begin(), cells.size());
    }
    void printRow(TextOut& out, std::string_view indent, const Cells& cells) const
    {
        printRow(out, indent, cells.data(), cells.size());
    }

private:
    std::vector<Column> m_columns;
    std::vector<std::string> m_titles; // escaped
    std::vector<std::size_t> m_titleWidths;
    std::vector<std::size_t> m_widths; // the widest cell of each column, titles included
    std::size_t m_rows = 0;

    void checkCount(std::size_t count) const;
    void measure(const std::string_view* cells, std::size_t count);
    void printRow(TextOut& out, std::string_view indent, const std::string_view* cells, std::size_t count) const;
    void printLine(TextOut& out, std::string_view indent, const Shown* cells) const;
};

} // namespace KXL

#endif
