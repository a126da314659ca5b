// Lines and columns of a text as XML parsers count them, expat among them: the .voc reader's
// errors and the places `check` finds with expat then name the same spot alike.
#ifndef COMMON_LINE_COLUMN_H
#define COMMON_LINE_COLUMN_H

#include <cstddef>
#include <string_view>

namespace KXL {

// The position after the UTF-8 text fed so far, in pieces of any size. A CR LF, a lone CR
// and a LF each end a line; a column is a character, whatever its length in bytes.
class LineColumn {
public:
    void feed(std::string_view bytes)
    {
        for (const char c : bytes) {
            if (c == '\n' || c == '\r') {
                m_line += c == '\r' || !m_afterCr ? 1 : 0;
                m_column = 1;
            } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) { // not a continuation byte
                ++m_column;
            }
            m_afterCr = c == '\r';
        }
    }

    std::size_t line() const { return m_line; } // from 1
    std::size_t column() const { return m_column; } // from 1

private:
    std::size_t m_line = 1;
    std::size_t m_column = 1;
    bool m_afterCr = false; // a LF next ends no other line
};

} // namespace KXL

#endif
