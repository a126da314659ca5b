// The agent's output streams' buffer: an ostream's bytes handed to a writer, gathered into
// pieces or passed straight on.
#ifndef AGENT_PIECE_BUFFER_H
#define AGENT_PIECE_BUFFER_H

#include <cstddef>
#include <functional>
#include <streambuf>
#include <string_view>
#include <vector>

namespace KXL {

// Hands what the stream is given to `write`: in pieces of `capacity` bytes, or as it comes
// when `capacity` is 0 (for a writer that buffers itself). A flush of the stream hands on
// the piece begun, then calls `flush` when there is one. The first failure sticks: nothing
// is handed on after it, and the stream goes bad.
class PieceBuffer final : public std::streambuf {
public:
    using Write = std::function<bool(std::string_view)>;
    using Flush = std::function<bool()>;

    PieceBuffer(Write write, std::size_t capacity, Flush flush = {});

    // Hands on the piece begun; false once anything failed.
    bool handOn();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;
    int sync() override;

private:
    bool pass(std::string_view bytes);

    Write m_write;
    Flush m_flush;
    std::vector<char> m_buffer;
    bool m_failed = false;
};

} // namespace KXL

#endif
