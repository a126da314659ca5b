#include "stdin_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace KXL {

namespace {

std::string reason(const char* what, int errorNumber)
{
    return std::string(what) + ": " + std::strerror(errorNumber);
}

std::string temporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

// An unnamed file when the file system supports it; otherwise a named one removed at once.
int createAnonymousFile(std::string& error)
{
    const std::string folder = temporaryFolder();
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    if (errno != EOPNOTSUPP && errno != EISDIR) {
        error = reason(("cannot create a temporary file in " + folder).c_str(), errno);
        return -1;
    }
    std::string name = folder + "/host-agent-stdin-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = reason(("cannot create a temporary file in " + folder).c_str(), errno);
        return -1;
    }
    ::unlink(name.c_str());
    return fd;
}

bool writeAll(int fd, const char* data, std::size_t size, std::string& error)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error = reason("cannot write the temporary copy", errno);
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool copyStandardInput(int fd, std::size_t maxBytes, std::string& error)
{
    std::vector<char> buffer(std::size_t{1} << 16);
    std::size_t total = 0;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = reason("cannot read", errno);
            return false;
        }
        if (got == 0)
            return true;
        total += static_cast<std::size_t>(got);
        if (total > maxBytes) {
            error = "it is larger than " + std::to_string(maxBytes >> 20) + " MiB";
            return false;
        }
        if (!writeAll(fd, buffer.data(), static_cast<std::size_t>(got), error))
            return false;
    }
}

} // namespace

KXLStdinFile::KXLStdinFile(std::size_t maxBytes)
{
    // Checked first: with descriptor 0 closed, the copy itself would become descriptor 0.
    if (::fcntl(STDIN_FILENO, F_GETFD) < 0) {
        m_error = reason("cannot read", errno);
        return;
    }
    const int fd = createAnonymousFile(m_error);
    if (fd < 0)
        return;
    if (!copyStandardInput(fd, maxBytes, m_error)) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

KXLStdinFile::~KXLStdinFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string KXLStdinFile::path() const
{
    return "/proc/self/fd/" + std::to_string(m_fd);
}

} // namespace KXL
