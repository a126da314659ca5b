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
        if (fs::is_regular_file(library, error))
            plugins.push_back({name, library.string()});
    }
    std::sort(plugins.begin(), plugins.end(),
        [](const PluginFile& a, const PluginFile& b) { return a.name < b.name; });
    return plugins;
}

} // namespace KXL
