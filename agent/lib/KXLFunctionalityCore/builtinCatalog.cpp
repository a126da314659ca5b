#include <cstddef>
#include <new>
#include <string>

#include "agent/lib/KXLFunctionalityCore/catalogFailure.h"
#include "host/KXPCatalog.h"

namespace KXP {

// agent/data/catalog.json, embedded at build time.
extern const char builtinCatalogText[];
extern const std::size_t builtinCatalogSize;

int builtinCatalog(KXPOSMap& supported, KXPOSMap& experimental)
{
    try {
        return parseCatalog(std::string(builtinCatalogText, builtinCatalogSize), "built-in", supported, experimental);
    } catch (const std::bad_alloc&) {
        return catalogFailure("built-in", "out of memory");
    }
}

} // namespace KXP
