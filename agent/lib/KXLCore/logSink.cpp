#include "logSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "host/KXLError.h"
#include "host/KXLLog.h"

namespace KXL {

namespace {

std::mutex sinkMutex;
int sinkFd = STDERR_FILENO; // guarded by sinkMutex

// A log is appended to a regular file or written to a stream: a terminal, a pipe or FIFO
// with a reader, or another character device such as /dev/null. O_NONBLOCK keeps a FIFO
// that nobody reads from hanging the open (it fails with ENXIO instead); writes then block
// as they do on standard error. Returns the descriptor, or -1 with `problem` set.
int openLogFile(const std::string& path, std::string& problem)
{
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
        const int error = errno;
        struct stat status {};
        if (error == ENXIO && ::stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode))
            problem = "it is a FIFO that no process is reading";
        else
            problem = std::strerror(error);
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        problem = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode) && !S_ISCHR(status.st_mode)) {
        // Appending log lines to a disk device would destroy it.
        problem = S_ISBLK(status.st_mode) ? "it is a block device" : "it is not a file, pipe or terminal";
    } else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
            return fd;
        problem = std::strerror(errno);
    }
    ::close(fd);
    return -1;
}

} // namespace

void writeLogRecord(const char* data, std::size_t size) noexcept
{
    // The lock keeps a record whole even when the kernel takes it in pieces (pipes,
    // signals) and keeps setLogFile from closing the descriptor mid-write.
    std::lock_guard<std::mutex> lock(sinkMutex);
    while (size > 0) {
        const ssize_t written = ::write(sinkFd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return; // nowhere left to report a failing log
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

int setLogFile(const std::string& path)
{
    try {
        int fd = STDERR_FILENO;
        if (!path.empty()) {
            std::string problem;
            fd = openLogFile(path, problem);
            if (fd < 0) {
                setErrorMessage("cannot open log file '" + path + "': " + problem);
                return -1;
            }
        }
        int previous;
        {
            std::lock_guard<std::mutex> lock(sinkMutex);
            previous = sinkFd;
            sinkFd = fd;
        }
        if (previous != STDERR_FILENO)
            ::close(previous);
        return 0;
    } catch (const std::bad_alloc&) {
        setErrorMessage("out of memory");
        return -1;
    }
}

} // namespace KXL
