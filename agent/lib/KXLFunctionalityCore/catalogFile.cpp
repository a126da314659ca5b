// The catalogue's sources: a file, or the built-in text.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "agent/lib/KXLFunctionalityCore/catalogFailure.h"
#include "host/KXPCatalog.h"

namespace KXP {

namespace {

// Room for millions of guest OSes; keeps a wrong path (a disk image, say) from eating memory.
constexpr off_t maxCatalogSize = 256 * 1024 * 1024;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// 0 and the whole content, or the negative status with the error text set.
int readWholeFile(const std::string& path, std::string& content)
{
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer before fstat can refuse it.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0)
        return catalogFailure(path, systemError("cannot open"));
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        return catalogFailure(path, systemError("cannot read"));
    if (!S_ISREG(status.st_mode)) // reads of which never wait, O_NONBLOCK or not
        return catalogFailure(path, "not a regular file");
    if (status.st_size > maxCatalogSize)
        return catalogFailure(path, "larger than " + std::to_string(maxCatalogSize) + " bytes");

    std::string text;
    text.reserve(static_cast<std::size_t>(status.st_size)); // read once, not regrown and copied
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return catalogFailure(path, systemError("cannot read"));
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
        // The file may grow after fstat.
        if (text.size() > static_cast<std::size_t>(maxCatalogSize))
            return catalogFailure(path, "larger than " + std::to_string(maxCatalogSize) + " bytes");
    }
    content = std::move(text);
    return 0;
}

} // namespace

// agent/data/catalog.json, embedded at build time.
extern const char builtinCatalogText[];
extern const std::size_t builtinCatalogSize;

int builtinCatalog(KXPOSMap& supported, KXPOSMap& experimental)
{
    try {
        return parseCatalog(std::string(builtinCatalogText, builtinCatalogSize), "built-in", supported, experimental);
    } catch (const std::bad_alloc&) {
        return catalogFailure("built-in", "out of memory");
    }
}

int readCatalogFile(const std::string& path, KXPOSMap& supported, KXPOSMap& experimental)
{
    try {
        std::string text;
        const int status = readWholeFile(path, text);
        if (status != 0)
            return status;
        return parseCatalog(text, path, supported, experimental);
    } catch (const std::bad_alloc&) {
        return catalogFailure(path, "out of memory");
    }
}

} // namespace KXP
