// One guest operating system as the server describes it.
#ifndef HOST_KXLOS_H
#define HOST_KXLOS_H

#include <map>
#include <string>

#include "host/KXLProperty.h"

namespace KXL {

struct KXLOS {
    KXLOptionalProperty<std::string> property1; // short identifier
    KXLOptionalProperty<std::string> property2; // display name
    KXLOptionalProperty<std::string> property3;
    KXLOptionalProperty<std::string> property4;
};

} // namespace KXL

#endif
