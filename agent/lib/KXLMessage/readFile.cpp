#include "readFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace KXL::voc {

namespace {

std::string reason(const char* what, int errorNumber)
{
    return std::string(what) + ": " + std::strerror(errorNumber);
}

} // namespace

bool readWholeFile(const std::string& path, std::string& content, std::string& error)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer before fstat can refuse it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = reason("cannot open", errno);
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = reason("cannot examine", errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = S_ISDIR(status.st_mode) ? "it is a folder, not a file" : "it is not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(status.st_size) > kMaxFileSize) {
        error = "the file is larger than " + std::to_string(kMaxFileSize >> 20) + " MiB";
        return false;
    }

    content.clear();
    content.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = reason("cannot read", errno);
            return false;
        }
        if (got == 0)
            return true;
        if (content.size() + static_cast<std::size_t>(got) > kMaxFileSize) {
            error = "the file is larger than " + std::to_string(kMaxFileSize >> 20) + " MiB";
            return false;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

} // namespace KXL::voc
