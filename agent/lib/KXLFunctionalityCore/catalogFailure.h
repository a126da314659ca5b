// How every catalogue error is reported: the source and the problem in one text.
#ifndef KXLFUNCTIONALITYCORE_CATALOGFAILURE_H
#define KXLFUNCTIONALITYCORE_CATALOGFAILURE_H

#include <new>
#include <string>

#include "host/KXLError.h"

namespace KXP {

// Sets the error text and returns the negative status of a failed catalogue read.
inline int catalogFailure(const std::string& origin, const std::string& problem) noexcept
{
    try {
        KXL::setErrorMessage("guest OS catalogue '" + origin + "': " + problem);
    } catch (const std::bad_alloc&) {
        KXL::setErrorMessage("out of memory"); // fits the small-string buffer
    }
    return -1;
}

} // namespace KXP

#endif
