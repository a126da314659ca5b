#include "install_layout.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace KXL {

RunLayout defaultRunLayout()
{
    namespace fs = std::filesystem;
    std::error_code error;
    // The real file, so that the tree is found through a symlink to the executable too.
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error)
        throw std::runtime_error("cannot find the agent's own executable (/proc/self/exe): " +
            error.message());
    // KXL_PLUGINS_FROM_BINDIR: the plug-in folder relative to the executable's folder, and
    // KXL_PLUGIN_DIR relative to the prefix, fixed by the build from the install layout.
    const std::string own = (executable.parent_path() / KXL_PLUGINS_FROM_BINDIR).lexically_normal().string();
    if (own != "/usr/" KXL_PLUGIN_DIR)
        return {{own}, own};
    return {{"/usr/local/" KXL_PLUGIN_DIR, own}, KXL_SYSTEM_STATE_DIR "/plugins"};
}

} // namespace KXL
