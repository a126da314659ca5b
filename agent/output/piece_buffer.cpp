#include "piece_buffer.h"

#include <utility>

namespace KXL {

PieceBuffer::PieceBuffer(Write write, std::size_t capacity, Flush flush)
    : m_write(std::move(write)), m_flush(std::move(flush)), m_buffer(capacity)
{
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

bool PieceBuffer::pass(std::string_view bytes)
{
    if (!m_failed && !bytes.empty())
        m_failed = !m_write(bytes);
    return !m_failed;
}

bool PieceBuffer::handOn()
{
    const std::string_view piece(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return pass(piece);
}

PieceBuffer::int_type PieceBuffer::overflow(int_type c)
{
    if (!handOn())
        return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    if (m_buffer.empty())
        return pass(std::string_view(&byte, 1)) ? c : traits_type::eof();
    sputc(byte);
    return c;
}

std::streamsize PieceBuffer::xsputn(const char* data, std::streamsize size)
{
    const auto room = static_cast<std::streamsize>(epptr() - pptr());
    if (size <= room)
        return std::streambuf::xsputn(data, size);
    // Larger than the room left: what is gathered, then the bytes themselves, in one go each.
    if (!handOn() || !pass(std::string_view(data, static_cast<std::size_t>(size))))
        return 0;
    return size;
}

int PieceBuffer::sync()
{
    if (!handOn())
        return -1;
    if (m_flush && !m_failed)
        m_failed = !m_flush();
    return m_failed ? -1 : 0;
}

} // namespace KXL
