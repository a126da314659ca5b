#include "host/KXLInstanceFolders.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <system_error>

#include "host/KXLLog.h"

namespace KXL {

namespace {

std::mutex foldersMutex;
std::string pluginsFolder; // guarded by foldersMutex; empty: the default

// The plug-ins live beside the host libraries, in <libdir>/plugins: the same in the build
// tree's stage and in an install tree, wherever it was moved to.
std::string defaultPluginsFolder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&defaultPluginsFolder), &info) != 0 &&
        info.dli_fname != nullptr && info.dli_fname[0] != '\0') {
        // The loader may report the path as reached through $ORIGIN, "bin/../lib/...".
        std::error_code error;
        const std::filesystem::path folder =
            std::filesystem::weakly_canonical(std::filesystem::path(info.dli_fname).parent_path(), error);
        if (!error)
            return (folder / "plugins").string();
    }
    Log2(KXL_MODULE_NAME, __FILE__, __LINE__, __func__, __PRETTY_FUNCTION__)
        .put(1, "cannot locate libKXLCommon, using the configured plug-in folder %s",
             KXL_INSTALL_PLUGIN_DIR);
    return KXL_INSTALL_PLUGIN_DIR;
}

} // namespace

KXLInstanceFolders::pathSimple KXLInstanceFolders::plugins() const
{
    {
        std::lock_guard<std::mutex> lock(foldersMutex);
        if (!pluginsFolder.empty())
            return pathSimple(pluginsFolder);
    }
    static const std::string defaultFolder = defaultPluginsFolder();
    return pathSimple(defaultFolder);
}

void KXLInstanceFolders::setPluginsFolder(const std::string& path)
{
    std::lock_guard<std::mutex> lock(foldersMutex);
    pluginsFolder = path;
}

} // namespace KXL
