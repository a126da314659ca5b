// Tables of text with aligned columns, as the agent prints vocabularies, and the buffer they
// are printed through.
#ifndef AGENT_TEXT_TABLE_H
#define AGENT_TEXT_TABLE_H

#include <algorithm>
#include <cstddef>
#include <cstring>
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

// One line of a table written at a place with room for it: the indent, then the cells in
// column order, each padded to its column's width. Blanks are owed until a cell follows
// them, so a line ends without padding (a line of empty cells is empty) while blanks that
// belong to a cell stay. Cells are written as given, so the caller escapes them first
// (TextTable::shown). The room a line takes at most: room().
class TextLine {
public:
    static constexpr std::size_t kColumnGap = 2; // blanks
    // Padding is mostly a few blanks, fewer than a memset call is worth: copied as a fixed run,
    // which may write up to kBlanks.size() bytes past the blanks asked for.
    static constexpr std::string_view kBlanks = "                                ";

    // The bytes a line may take: its cells' bytes and, for each cell, its column's width and
    // the gap, past the indent.
    static std::size_t room(std::string_view indent, std::size_t cellBytes, std::size_t columnWidths,
                            std::size_t columns)
    {
        return indent.size() + cellBytes + columnWidths + columns * kColumnGap + kBlanks.size() + 1;
    }

    TextLine(char* start, std::string_view indent)
        : m_start(start), m_at(std::copy(indent.begin(), indent.end(), start))
    {
    }

    // A cell `width` columns wide; one wider than its column goes out unpadded rather than wrong.
    void cell(std::string_view text, std::size_t width, std::size_t columnWidth, bool right)
    {
        const std::size_t padding = columnWidth - std::min(width, columnWidth);
        if (right)
            m_owed += padding;
        if (!text.empty()) {
            m_at = blanks(m_at, m_owed);
            std::memcpy(m_at, text.data(), text.size());
            m_at += text.size();
            m_owed = 0;
            m_printed = true;
        }
        if (!right)
            m_owed += padding;
        m_owed += kColumnGap;
    }

    // Where a right-aligned cell of `size` bytes (more than none), one a column, goes: the
    // caller writes them there, so that a number is formatted in place (BM_Print).
    char* rightCell(std::size_t size, std::size_t columnWidth)
    {
        m_owed += columnWidth - std::min(size, columnWidth);
        char* const cell = blanks(m_at, m_owed);
        m_at = cell + size;
        m_owed = kColumnGap;
        m_printed = true;
        return cell;
    }

    // Ends the line with its newline; returns where it ends.
    char* end()
    {
        if (!m_printed)
            m_at = m_start;
        *m_at++ = '\n';
        return m_at;
    }

private:
    char* m_start;
    char* m_at;
    std::size_t m_owed = 0;
    bool m_printed = false;

    static char* blanks(char* at, std::size_t count)
    {
        if (count <= kBlanks.size())
            std::memcpy(at, kBlanks.data(), kBlanks.size());
        else
            std::memset(at, ' ', count);
        return at + count;
    }
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

    // For callers that measure and print their rows themselves (TextLine): the column is at
    // least that wide; its width, the title's included.
    void widen(std::size_t column, std::size_t width);
    std::size_t width(std::size_t column) const { return m_widths.at(column); }

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

    void checkCount(std::size_t count) const;
    void measure(const std::string_view* cells, std::size_t count);
    void printRow(TextOut& out, std::string_view indent, const std::string_view* cells, std::size_t count) const;
    void printLine(TextOut& out, std::string_view indent, const Shown* cells) const;
};

} // namespace KXL

#endif
