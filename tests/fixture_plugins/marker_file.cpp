#include "marker_file.h"

#include <fstream>

#include "host/KXLInstanceFolders.h"

bool writeMarker(const std::string& plugin, const std::string& marker)
{
    const std::string path = KXL::KXLInstanceFolders().plugins().leaf(plugin).leaf(marker);
    std::ofstream file(path);
    return static_cast<bool>(file);
}
