#include "run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

#include "common/file_io.h"
#include "common/text_escape.h"

namespace KXL {

bool RunLock::open(const std::string& folder, std::string& problem)
{
    // A file only its owner can open: whoever may only read the folder cannot hold the
    // lock. The kernel drops the lock of a killed agent; the file itself stays.
    const std::string path = folder + "/.host-agent.lock";
    sys::Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) {
        problem = sys::errorText("cannot write to " + quoteText(folder) +
                                     ", where plug-ins save their vocabularies (its lock file .host-agent.lock)",
                                 errno);
        return false;
    }
    m_folder = folder;
    m_fd = std::move(fd);
    return true;
}

bool RunLock::acquire(std::chrono::milliseconds patience, std::ostream& err,
                         std::string& problem)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + patience;
    bool announced = false;
    while (::flock(m_fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            problem = sys::errorText("cannot lock " + quoteText(m_folder), errno);
            return false;
        }
        if (Clock::now() >= deadline) {
            problem = "another agent still runs the plug-ins of " + quoteText(m_folder) +
                " after " + std::to_string(patience.count() / 1000) +
                " s of waiting; try again when it has finished";
            return false;
        }
        if (!announced) {
            err << "host-agent: another agent runs the plug-ins of " << quoteText(m_folder)
                << "; waiting for it to finish\n";
            announced = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

} // namespace KXL
