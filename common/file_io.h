// The system calls on files, in one place: a descriptor owner, an open that never waits on
// a FIFO, whole reads and writes that survive signals, and the errno text. Static and not
// exported: linked into the host libraries and the executable alike.
#ifndef COMMON_FILE_IO_H
#define COMMON_FILE_IO_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace KXL::sys {

// Owns one descriptor and closes it when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) noexcept : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }
    int release() noexcept
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1) noexcept
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// "what: <the text of errorNumber>".
std::string errorText(std::string_view what, int errorNumber);

// Which step of openWithoutWaiting failed.
enum class OpenStep { Open, Examine };

// Opens `path` with O_NONBLOCK, so that a FIFO with no other end neither holds up a read
// open nor (for writing) waits: it fails with ENXIO. Then fills `status` and clears
// O_NONBLOCK again, so later reads and writes block as usual. O_CLOEXEC and O_NOCTTY are
// added. On failure an empty Fd, errno set and `failed` naming the step.
Fd openWithoutWaiting(const std::string& path, int flags, mode_t mode, struct stat& status,
                      OpenStep& failed);

// openWithoutWaiting to read. On failure an empty Fd and `error` "cannot open: <reason>", or
// "<examining>: <reason>" when fstat or fcntl failed: callers word that step differently.
Fd openToRead(const std::string& path, struct stat& status, std::string& error,
              std::string_view examining);

// read(2) retried on EINTR: the count, 0 at the end, -1 with errno set.
ssize_t readSome(int fd, void* buffer, std::size_t size) noexcept;

// pread(2) retried on EINTR, as readSome.
ssize_t readSomeAt(int fd, void* buffer, std::size_t size, off_t offset) noexcept;

// Passes what `fd` holds, from where it stands to its end, to `chunk` piece by piece; a
// chunk returning false stops the reading early. False with errno set when a read fails.
bool readEach(int fd, const std::function<bool(std::string_view)>& chunk);

enum class ReadResult { Done, Failed, TooLarge };

// Appends what `fd` holds until its end to `into`. TooLarge as soon as `into` would pass
// maxBytes (a pipe that never ends must not fill memory); Failed with errno set.
ReadResult readAll(int fd, std::string& into, std::size_t maxBytes);

// Writes all of `bytes`, retrying on EINTR and short writes. False with errno set. Calls only
// write(2), so a signal handler may use it.
bool writeAll(int fd, std::string_view bytes) noexcept;

} // namespace KXL::sys

#endif
