// Finding the plug-ins of a plug-in folder.
#ifndef AGENT_PLUGIN_FOLDER_H
#define AGENT_PLUGIN_FOLDER_H

#include <string>
#include <vector>

namespace KXL {

struct PluginFile {
    std::string name;
    std::string path; // folder/NAME/NAME.so
};

// Every folder/NAME/NAME.so that is a file (or a link to one) or cannot be reached (a
// dangling link, an error), sorted by NAME in byte order. Anything else in the folder is not
// a plug-in and is skipped.
// std::filesystem::filesystem_error when the folder cannot be read.
std::vector<PluginFile> findPlugins(const std::string& folder);

} // namespace KXL

#endif
