#include "agent/lib/KXPCommon/catalogSource.h"

#include <mutex>
#include <new>

#include "host/KXLError.h"
#include "host/KXPCatalog.h"

namespace KXP {

namespace {
std::mutex catalogMutex;
std::string catalogFile; // guarded by catalogMutex; empty: the built-in catalogue
} // namespace

void setCatalogFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(catalogMutex);
    catalogFile = path;
}

int serveCatalog(KXPOSMap& supported, KXPOSMap& experimental)
{
    std::string path;
    try {
        std::lock_guard<std::mutex> lock(catalogMutex);
        path = catalogFile;
    } catch (const std::bad_alloc&) {
        KXL::setErrorMessage("out of memory");
        return -1;
    }
    if (path.empty())
        return builtinCatalog(supported, experimental);
    return readCatalogFile(path, supported, experimental);
}

} // namespace KXP
