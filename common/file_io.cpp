#include "common/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace KXL::sys {

namespace {

template <typename Call>
ssize_t retriedOnSignal(Call call) noexcept
{
    for (;;) {
        const ssize_t got = call();
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

} // namespace

std::string errorText(std::string_view what, int errorNumber)
{
    std::string text(what);
    text += ": ";
    text += std::strerror(errorNumber);
    return text;
}

Fd openWithoutWaiting(const std::string& path, int flags, mode_t mode, struct stat& status,
                      OpenStep& failed)
{
    Fd fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode));
    if (!fd) {
        failed = OpenStep::Open;
        return fd;
    }
    const int current = ::fcntl(fd.get(), F_GETFL);
    if (::fstat(fd.get(), &status) != 0 || current < 0 ||
        ::fcntl(fd.get(), F_SETFL, current & ~O_NONBLOCK) != 0) {
        const int error = errno;
        fd.reset();
        errno = error;
        failed = OpenStep::Examine;
    }
    return fd;
}

Fd openToRead(const std::string& path, struct stat& status, std::string& error,
              std::string_view examining)
{
    OpenStep failed{};
    Fd fd = openWithoutWaiting(path, O_RDONLY, 0, status, failed);
    if (!fd)
        error = errorText(failed == OpenStep::Open ? "cannot open" : examining, errno);
    return fd;
}

ssize_t readSome(int fd, void* buffer, std::size_t size) noexcept
{
    return retriedOnSignal([&] { return ::read(fd, buffer, size); });
}

ssize_t readSomeAt(int fd, void* buffer, std::size_t size, off_t offset) noexcept
{
    return retriedOnSignal([&] { return ::pread(fd, buffer, size, offset); });
}

bool readEach(int fd, const std::function<bool(std::string_view)>& chunk)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = readSome(fd, buffer, sizeof buffer);
        if (got <= 0)
            return got == 0;
        if (!chunk(std::string_view(buffer, static_cast<std::size_t>(got))))
            return true;
    }
}

ReadResult readAll(int fd, std::string& into, std::size_t maxBytes)
{
    bool tooLarge = false;
    const bool read = readEach(fd, [&](std::string_view bytes) {
        tooLarge = into.size() + bytes.size() > maxBytes;
        if (!tooLarge)
            into += bytes;
        return !tooLarge;
    });
    return !read ? ReadResult::Failed : tooLarge ? ReadResult::TooLarge : ReadResult::Done;
}

bool writeAll(int fd, std::string_view bytes) noexcept
{
    // Larger writes are cut short by the kernel anyway; a size beyond SSIZE_MAX is undefined.
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), std::min(bytes.size(), kChunk));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace KXL::sys
