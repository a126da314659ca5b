#include "host/lib/KXPCommon/catalog_source.h"

#include <algorithm>
#include <cstddef>
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
    std::size_t readers = 1; // still to serve
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

int preloadCatalogFile(const std::string& path, std::size_t readers)
{
    try {
        Preloaded read;
        read.readers = std::max<std::size_t>(readers, 1);
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
        if (preloaded && preloaded->readers > 1) {
            // Copied whole before the caller's maps change: filled only on success.
            KXPOSMap supportedCopy(preloaded->supported);
            KXPOSMap experimentalCopy(preloaded->experimental);
            supported.swap(supportedCopy);
            experimental.swap(experimentalCopy);
            --preloaded->readers;
            return 0;
        }
        if (preloaded) {
            // The last reader's is handed over, not copied: a run of one plug-in never
            // holds a large catalogue twice.
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
