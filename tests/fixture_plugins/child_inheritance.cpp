// Fails, naming it, when a program this plug-in started would inherit something of the
// agent's: a descriptor above the standard three, or SIGPIPE or SIGXFSZ ignored.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <utility>

#include "host/KXLError.h"
#include "plugin_entry_points.h"

int initKXLPlugIn()
{
    std::string inherited;
    if (DIR* const folder = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(folder)) {
            const int fd = std::atoi(entry->d_name);
            const int flags = fd > 2 && fd != ::dirfd(folder) ? ::fcntl(fd, F_GETFD) : -1;
            if (flags >= 0 && (flags & FD_CLOEXEC) == 0)
                inherited += " descriptor " + std::to_string(fd);
        }
        ::closedir(folder);
    } else {
        inherited += " (no /proc/self/fd to look in)";
    }
    for (const auto& [number, name] : {std::pair{SIGPIPE, "SIGPIPE"}, std::pair{SIGXFSZ, "SIGXFSZ"}}) {
        struct sigaction action {};
        if (::sigaction(number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN)
            inherited += std::string(" ") + name + " ignored";
    }
    if (inherited.empty())
        return 0;
    KXL::setErrorMessage("a program started here would inherit" + inherited);
    return 1;
}

int finiKXLPlugIn()
{
    return 0;
}
