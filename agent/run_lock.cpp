#include "run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "text_escape.h"

namespace KXL {

KXLRunLock::~KXLRunLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

bool KXLRunLock::acquire(const std::string& folder, std::chrono::milliseconds patience,
                         std::ostream& err, std::string& problem)
{
    // The folder itself is locked: nothing to create, read access is enough, and the
    // kernel drops the lock of a killed agent.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        problem = "cannot open the plug-in folder " + quoteText(folder) + " to lock it: " +
            std::strerror(errno);
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + patience;
    bool announced = false;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            problem = "cannot lock the plug-in folder " + quoteText(folder) + ": " +
                std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (Clock::now() >= deadline) {
            problem = "another agent still runs the plug-ins of " + quoteText(folder) +
                " after " + std::to_string(patience.count() / 1000) +
                " s of waiting; try again when it has finished";
            ::close(fd);
            return false;
        }
        if (!announced) {
            err << "host-agent: another agent runs the plug-ins of " << quoteText(folder)
                << "; waiting for it to finish\n";
            announced = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_fd = fd;
    return true;
}

} // namespace KXL
