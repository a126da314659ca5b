#include "common/stale_temporaries.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_io.h"

namespace KXL::sys {

namespace {

constexpr std::size_t kBaseLength = 64;
constexpr std::size_t kDigits = 16;
constexpr char kSuffix[] = ".tmp";

std::string prefixOf(const std::string& base)
{
    return '.' + base.substr(0, kBaseLength) + '.';
}

bool isTemporaryOf(const std::string& name, const std::string& prefix)
{
    const std::size_t suffixLength = sizeof kSuffix - 1;
    return name.size() == prefix.size() + kDigits + suffixLength && name.compare(0, prefix.size(), prefix) == 0 &&
        name.find_first_not_of("0123456789abcdef", prefix.size()) == prefix.size() + kDigits &&
        name.compare(name.size() - suffixLength, suffixLength, kSuffix) == 0;
}

// Removes `name` when it is a regular file that no save holds and the name still leads
// to the file that was locked.
void removeIfStale(int dirFd, const std::string& name)
{
    const sys::Fd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return;
    struct stat locked {};
    struct stat current {};
    if (::fstat(fd.get(), &locked) == 0 && S_ISREG(locked.st_mode) &&
        ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, name.c_str(), &current, AT_SYMLINK_NOFOLLOW) == 0 &&
        locked.st_dev == current.st_dev && locked.st_ino == current.st_ino)
        ::unlinkat(dirFd, name.c_str(), 0);
} // closing `fd` drops the lock

} // namespace

std::string temporaryName(const std::string& base)
{
    static std::atomic<unsigned long long> counter{0};
    unsigned long long random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        random = static_cast<unsigned long long>(
                     std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<unsigned long long>(::getpid()) << 32);
    }
    random ^= counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
    char digits[kDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx", random);
    return prefixOf(base) + digits + kSuffix;
}

bool lockTemporary(int fd, bool named)
{
    // Blocks only while a cleanup examines the fresh name.
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return true;
    }
    struct stat status {};
    return !named || ::fstat(fd, &status) != 0 || status.st_nlink > 0;
}

void removeStaleTemporaries(int dirFd, const std::string& base)
{
    // fdopendir takes over the descriptor it gets, so it gets its own.
    sys::Fd listFd(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listFd)
        return;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listFd.get()), ::closedir);
    if (!dir)
        return;
    listFd.release();
    const std::string prefix = prefixOf(base);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (isTemporaryOf(name, prefix))
            removeIfStale(dirFd, name);
    }
}

} // namespace KXL::sys
