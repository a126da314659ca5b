#include "file_window.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <unistd.h>

#include "common/line_column.h"
#include "host/KXLMessageFile.h"

namespace KXL::voc {

namespace {

// Small enough to stay in the cache while it is scanned, large enough that reading costs
// few system calls; only a larger single token grows it. The fuzz target makes it tiny.
#ifndef KXL_VOC_WINDOW
#define KXL_VOC_WINDOW (std::size_t{256} << 10)
#endif
constexpr std::size_t kWindow = KXL_VOC_WINDOW;

std::string tooLarge()
{
    return "the file is larger than " + std::to_string(kMaxVocFileSize >> 20) + " MiB";
}

} // namespace

bool FileWindow::open(const std::string& path, std::string& error)
{
    struct stat status {};
    m_fd = sys::openToRead(path, status, error, "cannot examine");
    if (!m_fd)
        return false;
    if (!S_ISREG(status.st_mode)) {
        error = S_ISDIR(status.st_mode) ? "it is a folder, not a file" : "it is not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(status.st_size) > kMaxVocFileSize) {
        error = tooLarge();
        return false;
    }
    m_fileSize = static_cast<std::size_t>(status.st_size);
    // One byte more than the file holds tells a file that grew from one that did not.
    m_capacity = std::min(m_fileSize + 1, kWindow);
    m_buffer.reset(new (std::nothrow) char[m_capacity]);
    if (!m_buffer) {
        error = "cannot reserve memory for it";
        return false;
    }
    m_data = m_buffer.get();
    return true;
}

bool FileWindow::fill(std::size_t keep, std::size_t upTo)
{
    while (end() < upTo) {
        if (m_complete || !m_readError.empty())
            return false;
        char* const buffer = m_buffer.get();
        if (keep > m_base) {
            const std::size_t dropped = std::min(keep, end()) - m_base;
            std::memmove(buffer, buffer + dropped, m_size - dropped);
            m_base += dropped;
            m_size -= dropped;
        }
        if (m_size == m_capacity) {
            const std::size_t grown = std::max(2 * m_capacity, upTo - m_base);
            std::unique_ptr<char[]> larger(new char[grown]);
            std::memcpy(larger.get(), buffer, m_size);
            m_buffer = std::move(larger);
            m_data = m_buffer.get();
            m_capacity = grown;
        }
        const ssize_t got = sys::readSome(m_fd.get(), m_buffer.get() + m_size, m_capacity - m_size);
        if (got < 0) {
            m_readError = sys::errorText("cannot read", errno);
            continue;
        }
        if (got == 0)
            m_complete = true;
        m_size += static_cast<std::size_t>(got);
        if (end() > m_fileSize)
            m_readError = end() > kMaxVocFileSize ? tooLarge() : "the file grew while it was read";
    }
    return true;
}

std::pair<std::size_t, std::size_t> FileWindow::position(std::size_t offset) const
{
    LineColumn counted;
    if (m_base == 0) {
        counted.feed(std::string_view(m_data, std::min(offset, m_size)));
    } else {
        char chunk[64 << 10];
        for (std::size_t at = 0; at < offset;) {
            const ssize_t got = sys::readSomeAt(m_fd.get(), chunk, std::min(sizeof chunk, offset - at), static_cast<off_t>(at));
            if (got <= 0)
                break;
            counted.feed(std::string_view(chunk, static_cast<std::size_t>(got)));
            at += static_cast<std::size_t>(got);
        }
    }
    return {counted.line(), counted.column()};
}

} // namespace KXL::voc
