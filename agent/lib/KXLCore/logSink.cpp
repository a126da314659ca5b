#include "logSink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "host/KXLError.h"
#include "host/KXLLog.h"

namespace KXL {

namespace {

std::mutex sinkMutex;
int sinkFd = STDERR_FILENO; // guarded by sinkMutex

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
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
            if (fd < 0) {
                const int error = errno;
                setErrorMessage("cannot open log file '" + path + "': " + std::strerror(error));
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
