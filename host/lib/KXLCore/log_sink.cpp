#include "log_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "common/file_io.h"
#include "host/lib/host_call.h"
#include "common/text_escape.h"
#include "host/KXLLog.h"

namespace KXL {

namespace {

std::mutex sinkMutex;
sys::Fd sinkFile; // guarded by sinkMutex; the log file, when one is set
int sinkFd = STDERR_FILENO; // guarded by sinkMutex; sinkFile's or standard error; -1 once the log failed
std::string sinkPath; // guarded by sinkMutex; empty for standard error

// Said once, on standard error, when the log stops taking records: a reader that went away
// or a full disk must neither end the agent nor leave a log cut short without a word.
// Standard error itself failing leaves nowhere to say it.
void reportLostLog(const std::string& path, int error) noexcept
{
    if (path.empty())
        return;
    try {
        const std::string line =
            sys::errorText("host-agent: the log " + quoteText(path) + " was lost from here on", error) + '\n';
        // Best effort: standard error is all that is left.
        sys::writeAll(STDERR_FILENO, line);
    } catch (...) {
        sys::writeAll(STDERR_FILENO, "host-agent: the log was lost from here on\n");
    }
}

// A log is appended to a regular file or written to a stream: a terminal, a pipe or FIFO
// with a reader, or another character device such as /dev/null; a FIFO that nobody reads
// is refused, not waited on. An empty Fd when it cannot be, with `problem` set.
sys::Fd openLogFile(const std::string& path, std::string& problem)
{
    struct stat status {};
    sys::OpenStep failed{};
    sys::Fd fd = sys::openWithoutWaiting(path, O_WRONLY | O_CREAT | O_APPEND, 0666, status, failed);
    if (!fd) {
        const int error = errno;
        struct stat named {};
        if (failed == sys::OpenStep::Open && error == ENXIO && ::stat(path.c_str(), &named) == 0 &&
            S_ISFIFO(named.st_mode))
            problem = "it is a FIFO that no process is reading";
        else
            problem = std::strerror(error);
        return sys::Fd();
    }
    if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode) && !S_ISCHR(status.st_mode)) {
        // Appending log lines to a disk device would destroy it.
        problem = S_ISBLK(status.st_mode) ? "it is a block device" : "it is not a file, pipe or terminal";
        return sys::Fd();
    }
    return fd;
}

} // namespace

void writeLogRecord(const char* data, std::size_t size) noexcept
{
    // The lock keeps a record whole even when the kernel takes it in pieces (pipes,
    // signals) and keeps setLogFile from closing the descriptor mid-write.
    std::lock_guard<std::mutex> lock(sinkMutex);
    if (sinkFd < 0 || sys::writeAll(sinkFd, std::string_view(data, size)))
        return;
    const int error = errno;
    sinkFile.reset();
    sinkFd = -1;
    reportLostLog(sinkPath, error);
}

int setLogFile(const std::string& path)
{
    try {
        sys::Fd file;
        if (!path.empty()) {
            std::string problem;
            file = openLogFile(path, problem);
            if (!file)
                return host::fail({logFileFailurePrefix(path), problem});
        }
        std::string named = path;
        sys::Fd previous; // closed once the lock is released
        {
            std::lock_guard<std::mutex> lock(sinkMutex);
            sinkFd = file ? file.get() : STDERR_FILENO;
            previous = std::exchange(sinkFile, std::move(file));
            sinkPath.swap(named);
        }
        return 0;
    } catch (const std::bad_alloc&) {
        return host::fail("out of memory");
    }
}

} // namespace KXL
