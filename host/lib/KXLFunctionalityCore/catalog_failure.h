// How every catalogue error is reported: the source and the problem in one text.
#ifndef KXLFUNCTIONALITYCORE_CATALOGFAILURE_H
#define KXLFUNCTIONALITYCORE_CATALOGFAILURE_H

#include <string_view>

#include "host/lib/host_call.h"

namespace KXP {

// Sets the error text and returns the negative status of a failed catalogue read.
inline int catalogFailure(std::string_view origin, std::string_view problem) noexcept
{
    return KXL::host::fail({"guest OS catalogue '", origin, "': ", problem});
}

} // namespace KXP

#endif
