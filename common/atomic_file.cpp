#include "common/atomic_file.h"

#include <cerrno>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_io.h"
#include "common/stale_temporaries.h"

namespace KXL::sys {

namespace {

class FileSink final : public ByteSink {
public:
    explicit FileSink(int fd) : m_fd(fd) {}
    bool write(std::string_view bytes, std::string& error) override
    {
        if (writeAll(m_fd, bytes))
            return true;
        error = errorText("cannot write the temporary file", errno);
        return false;
    }

private:
    int m_fd;
};

// A vocabulary is no one else's to change: a new file gets what a plain create gives
// (umask or default ACL) without write permission for others; a replaced one keeps its
// permissions, still without it.
constexpr mode_t kCreateMode = 0666 & ~S_IWOTH;

bool fillTemporary(int fd, std::optional<mode_t> keptMode, const ContentWriter& content, std::string& error)
{
    if (keptMode && ::fchmod(fd, *keptMode & 0777 & ~S_IWOTH) != 0) {
        error = errorText("cannot give the temporary file the permissions of the file it replaces", errno);
        return false;
    }
    FileSink sink(fd);
    if (!content(sink, error))
        return false;
    if (::fsync(fd) != 0) {
        error = errorText("cannot flush the temporary file to disk", errno);
        return false;
    }
    return true;
}

// Removes the temporary name unless the rename consumed it.
class TemporaryName {
public:
    TemporaryName(int dirFd, std::string name) : m_dirFd(dirFd), m_name(std::move(name)) {}
    ~TemporaryName()
    {
        if (!m_name.empty())
            ::unlinkat(m_dirFd, m_name.c_str(), 0);
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    const std::string& name() const { return m_name; }
    void release() { m_name.clear(); }

private:
    int m_dirFd;
    std::string m_name;
};

constexpr int kNameAttempts = 64;

enum class Outcome { Done, Failed, Unsupported };

// Links an O_TMPFILE file under a fresh temporary name. AT_EMPTY_PATH needs
// CAP_DAC_READ_SEARCH; the /proc route works for everyone where /proc is mounted.
Outcome linkAnonymous(int fd, int dirFd, const std::string& base, std::string& linkedName)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = temporaryName(base);
        if (::linkat(fd, "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0 ||
            (errno != EEXIST &&
             ::linkat(AT_FDCWD, self.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0)) {
            linkedName = name;
            return Outcome::Done;
        }
        if (errno != EEXIST)
            return Outcome::Unsupported;
    }
    return Outcome::Unsupported;
}

bool commit(int dirFd, TemporaryName& temporary, const std::string& base, std::string& error)
{
    if (::renameat(dirFd, temporary.name().c_str(), dirFd, base.c_str()) != 0) {
        error = errorText("cannot rename the temporary file over it", errno);
        return false;
    }
    temporary.release();
    if (::fsync(dirFd) != 0) {
        error = errorText(std::string(kFolderNotFlushed), errno);
        return false;
    }
    return true;
}

Outcome saveThroughAnonymous(int dirFd, const std::string& dir, const std::string& base,
                             std::optional<mode_t> keptMode, const ContentWriter& content,
                             std::string& error)
{
    const Fd fd(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, kCreateMode));
    if (!fd) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return Outcome::Unsupported;
        error = errorText("cannot create a temporary file in \"" + dir + "\"", errno);
        return Outcome::Failed;
    }
    lockTemporary(fd.get(), false);
    if (!fillTemporary(fd.get(), keptMode, content, error))
        return Outcome::Failed;
    std::string linkedName;
    if (linkAnonymous(fd.get(), dirFd, base, linkedName) != Outcome::Done)
        return Outcome::Unsupported;
    TemporaryName temporary(dirFd, linkedName);
    return commit(dirFd, temporary, base, error) ? Outcome::Done : Outcome::Failed;
}

bool saveThroughNamed(int dirFd, const std::string& dir, const std::string& base,
                      std::optional<mode_t> keptMode, const ContentWriter& content, std::string& error)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = temporaryName(base);
        const Fd fd(::openat(dirFd, name.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kCreateMode));
        if (!fd) {
            if (errno == EEXIST)
                continue;
            error = errorText("cannot create a temporary file in \"" + dir + "\"", errno);
            return false;
        }
        if (!lockTemporary(fd.get(), true))
            continue; // a cleanup took the fresh name for a stale one
        TemporaryName temporary(dirFd, std::move(name));
        return fillTemporary(fd.get(), keptMode, content, error) && commit(dirFd, temporary, base, error);
    }
    error = "cannot find a free temporary file name in \"" + dir + "\"";
    return false;
}

} // namespace

bool replaceFileAtomically(const std::string& path, std::string_view content, std::string& error,
                           TempFile temp)
{
    return replaceFileAtomically(
        path, [content](ByteSink& sink, std::string& why) { return sink.write(content, why); },
        error, temp);
}

bool replaceFileAtomically(const std::string& path, const ContentWriter& content,
                           std::string& error, TempFile temp)
{
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") {
        error = "the path does not name a file";
        return false;
    }
    const Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd) {
        error = errorText("cannot open the folder \"" + dir + "\"", errno);
        return false;
    }
    removeStaleTemporaries(dirFd.get(), base);
    struct stat replaced {};
    std::optional<mode_t> keptMode;
    if (::fstatat(dirFd.get(), base.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(replaced.st_mode))
        keptMode = replaced.st_mode;
    if (temp == TempFile::Anonymous) {
        const Outcome outcome = saveThroughAnonymous(dirFd.get(), dir, base, keptMode, content, error);
        if (outcome != Outcome::Unsupported)
            return outcome == Outcome::Done;
    }
    return saveThroughNamed(dirFd.get(), dir, base, keptMode, content, error);
}

} // namespace KXL::sys
