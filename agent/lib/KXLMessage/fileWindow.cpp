#include "fileWindow.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace KXL::voc {

namespace {

constexpr std::size_t kStep = std::size_t{4} << 20;

std::string reason(const char* what, int errorNumber)
{
    return std::string(what) + ": " + std::strerror(errorNumber);
}

std::string tooLarge()
{
    return "the file is larger than " + std::to_string(kMaxVocFileSize >> 20) + " MiB";
}

} // namespace

FileWindow::~FileWindow()
{
    if (m_data != nullptr && !m_small)
        ::munmap(m_data, m_reserved);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileWindow::open(const std::string& path, std::string& error)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer before fstat can refuse it.
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (m_fd < 0) {
        error = reason("cannot open", errno);
        return false;
    }
    struct stat status {};
    if (::fstat(m_fd, &status) != 0) {
        error = reason("cannot examine", errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = S_ISDIR(status.st_mode) ? "it is a folder, not a file" : "it is not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(status.st_size) > kMaxVocFileSize) {
        error = tooLarge();
        return false;
    }
    // One byte more than the file holds tells a file that grew from one that did not.
    m_reserved = static_cast<std::size_t>(status.st_size) + 1;
    if (m_reserved <= kStep) {
        // Read in one step and never released: ordinary memory, without a mapping to make and
        // unmake (most files are a few dozen KiB).
        m_small.reset(new (std::nothrow) char[m_reserved]);
        if (!m_small) {
            error = "cannot reserve memory for it";
            return false;
        }
        m_data = m_small.get();
        return true;
    }
    void* region = ::mmap(nullptr, m_reserved, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (region == MAP_FAILED) {
        m_reserved = 0;
        error = reason("cannot reserve memory for it", errno);
        return false;
    }
    m_data = static_cast<char*>(region);
    // Huge pages where the system offers them: a large file then costs a page fault per
    // 2 MiB read rather than per 4 KiB. Only advice; refused, it changes nothing.
    ::madvise(region, m_reserved, MADV_HUGEPAGE);
    return true;
}

bool FileWindow::readMore(std::string& error)
{
    const std::size_t goal = std::min(m_reserved, m_filled + kStep);
    while (!m_complete && m_filled < goal) {
        const ssize_t got = ::read(m_fd, m_data + m_filled, goal - m_filled);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = reason("cannot read", errno);
            return false;
        }
        if (got == 0)
            m_complete = true;
        m_filled += static_cast<std::size_t>(got);
    }
    if (m_filled == m_reserved) {
        error = m_filled > kMaxVocFileSize ? tooLarge() : "the file grew while it was read";
        return false;
    }
    return true;
}

void FileWindow::release(std::size_t upTo)
{
    static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t end = std::min(upTo, m_filled) / page * page;
    if (m_small || end <= m_released)
        return;
    // Anonymous private pages: dropped now, and they would read as zeros.
    ::madvise(m_data + m_released, end - m_released, MADV_DONTNEED);
    m_released = end;
}

} // namespace KXL::voc
