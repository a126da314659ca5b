#include <new>

#include "agent/lib/KXLFunctionalityCore/builtinCatalogData.h"
#include "agent/lib/KXLFunctionalityCore/catalogFailure.h"
#include "host/KXPCatalog.h"

namespace KXP {

int builtinCatalog(KXPOSMap& supported, KXPOSMap& experimental)
{
    try {
        KXPOSMap readSupported;
        KXPOSMap readExperimental;
        for (std::size_t i = 0; i < builtin::entryCount; ++i) {
            const builtin::Entry& entry = builtin::entries[i];
            KXL::KXLOS os;
            KXL::KXLOptionalProperty<std::string>* const properties[] = {&os.property1, &os.property2,
                                                                         &os.property3, &os.property4};
            for (std::size_t p = 0; p < 4; ++p) {
                if (entry.properties[p] != nullptr)
                    *properties[p] = std::string(entry.properties[p]);
            }
            (entry.experimental ? readExperimental : readSupported).emplace(entry.code, std::move(os));
        }
        supported = std::move(readSupported);
        experimental = std::move(readExperimental);
        return 0;
    } catch (const std::bad_alloc&) {
        return catalogFailure("built-in", "out of memory");
    }
}

} // namespace KXP
