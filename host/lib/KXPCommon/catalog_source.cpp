#include "host/lib/KXPCommon/catalog_source.h"

#include <mutex>
#include <new>
#include <optional>
#include <utility>

#include "host/lib/host_call.h"
#include "host/KXPCatalog.h"

namespace KXP {

namespace {

struct Preloaded {
    KXPOSMap supported;
    KXPOSMap experimental;
};

std::mutex catalogMutex;
// Guarded by catalogMutex.
std::string catalogFile; // empty: the built-in catalogue
std::optional<Preloaded> preloaded; // of catalogFile, for the next getOSMaps

} // namespace

void setCatalogFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(catalogMutex);
    catalogFile = path;
    preloaded.reset();
}

int preloadCatalogFile(const std::string& path)
{
    try {
        Preloaded read;
        const int status = readCatalogFile(path, read.supported, read.experimental);
        if (status < 0)
            return status;
        std::lock_guard<std::mutex> lock(catalogMutex);
        catalogFile = path;
        preloaded = std::move(read);
        return status;
    } catch (const std::bad_alloc&) {
        return KXL::host::fail("out of memory");
    }
}

int serveCatalog(KXPOSMap& supported, KXPOSMap& experimental)
{
    std::string path;
    try {
        std::lock_guard<std::mutex> lock(catalogMutex);
        if (preloaded) {
            // Handed over, not copied: a large catalogue is never held twice.
            supported = std::move(preloaded->supported);
            experimental = std::move(preloaded->experimental);
            preloaded.reset();
            return 0;
        }
        path = catalogFile;
    } catch (const std::bad_alloc&) {
        return KXL::host::fail("out of memory");
    }
    if (path.empty())
        return builtinCatalog(supported, experimental);
    return readCatalogFile(path, supported, experimental);
}

} // namespace KXP
