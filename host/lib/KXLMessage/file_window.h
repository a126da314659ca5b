// The input of the .voc reader: bytes in memory, or a file read through one buffer that
// slides along it, so a file is never in memory whole and no step costs fresh pages.
#ifndef KXLMESSAGE_FILEWINDOW_H
#define KXLMESSAGE_FILEWINDOW_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "common/file_io.h"

namespace KXL::voc {

// Offsets are from the start of the input; the window holds [begin(), end()).
class FileWindow {
public:
    FileWindow() = default;
    explicit FileWindow(std::string_view bytes) : m_data(bytes.data()), m_size(bytes.size()), m_complete(true) {}
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // False with `error` holding the reason: missing, not a regular file (opening never
    // blocks, so a FIFO is refused, not waited on), larger than kMaxVocFileSize.
    bool open(const std::string& path, std::string& error);

    std::size_t begin() const { return m_base; }
    std::size_t end() const { return m_base + m_size; }
    const char* data() const { return m_data; } // the byte at begin()

    // Makes the window reach `upTo`, keeping the bytes from `keep` on; those before may go,
    // and every pointer into the window is then stale. False when the input ends first or
    // a read fails (readError() then says why).
    bool fill(std::size_t keep, std::size_t upTo);
    const std::string& readError() const { return m_readError; }

    // 1-based line and column of `offset`, counted as expat counts them (LineColumn), for
    // error texts only: a file is read again from its start up to there.
    std::pair<std::size_t, std::size_t> position(std::size_t offset) const;

private:
    sys::Fd m_fd;
    const char* m_data = nullptr; // m_buffer's, or the caller's bytes
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
    std::size_t m_base = 0;
    std::size_t m_size = 0;
    std::size_t m_fileSize = 0; // when opened
    bool m_complete = false;
    std::string m_readError;
};

} // namespace KXL::voc

#endif
