#include <new>

#include "agent/lib/KXLFunctionalityCore/builtinCatalogData.h"
#include "agent/lib/KXLFunctionalityCore/catalogFailure.h"
#include "host/KXPCatalog.h"

namespace KXP {

int builtinCatalog(KXPOSMap& supported, KXPOSMap& experimental)
{
    static const char origin[] = "built-in";
    try {
        const std::string text(reinterpret_cast<const char*>(builtin::catalogData),
                               builtin::catalogSize);
        return parseCatalog(text, origin, supported, experimental);
    } catch (const std::bad_alloc&) {
        return catalogFailure(origin, "out of memory");
    }
}

} // namespace KXP
