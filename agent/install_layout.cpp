#include "install_layout.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace KXL {

std::string defaultPluginsFolder()
{
    std::error_code error;
    // The real file, so that the tree is found through a symlink to the executable too.
    const std::filesystem::path executable =
        std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        throw std::runtime_error("cannot find the agent's own executable (/proc/self/exe): " +
            error.message());
    // KXL_PLUGINS_FROM_BINDIR: the plug-in folder relative to the executable's folder,
    // fixed by the build from the install layout.
    return (executable.parent_path() / KXL_PLUGINS_FROM_BINDIR).lexically_normal().string();
}

} // namespace KXL
