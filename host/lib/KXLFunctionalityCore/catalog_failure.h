// How every catalogue error is reported: the source and the problem in one text.
#ifndef KXLFUNCTIONALITYCORE_CATALOGFAILURE_H
#define KXLFUNCTIONALITYCORE_CATALOGFAILURE_H

#include <string>
#include <string_view>

#include "host/lib/host_call.h"

namespace KXP {

// How every catalogue error text begins. The agent, which names the catalogue in its own
// words, drops it.
inline std::string catalogFailurePrefix(std::string_view origin)
{
    return "guest OS catalogue '" + std::string(origin) + "': ";
}

// Sets the error text and returns the negative status of a failed catalogue read.
inline int catalogFailure(std::string_view origin, std::string_view problem) noexcept
{
    try {
        return KXL::host::fail({catalogFailurePrefix(origin), problem});
    } catch (...) {
        return KXL::host::fail("out of memory"); // as fail says when it cannot build the text
    }
}

} // namespace KXP

#endif
