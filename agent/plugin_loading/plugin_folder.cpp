#include "plugin_folder.h"

#include <algorithm>
#include <filesystem>

namespace KXL {

std::vector<PluginFile> findPlugins(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<PluginFile> plugins;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        std::error_code error;
        if (!entry.is_directory(error))
            continue;
        const std::string name = entry.path().filename().string();
        const fs::path library = entry.path() / (name + ".so");
        // One that is there but out of reach (a dangling link, a folder this user cannot
        // enter) is a plug-in that fails to load: skipping it would hide it.
        const fs::file_status target = fs::status(library, error);
        const bool unreachable = target.type() == fs::file_type::none ||
            (target.type() == fs::file_type::not_found && fs::is_symlink(fs::symlink_status(library, error)));
        if (fs::is_regular_file(target) || unreachable)
            plugins.push_back({name, library.string()});
    }
    std::sort(plugins.begin(), plugins.end(),
        [](const PluginFile& a, const PluginFile& b) { return a.name < b.name; });
    return plugins;
}

} // namespace KXL
