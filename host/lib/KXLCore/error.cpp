#include "host/KXLError.h"

#include <new>

namespace KXL {

namespace {
thread_local std::string lastError;
}

const char* getErrorMessage()
{
    return lastError.c_str();
}

void setErrorMessage(const std::string& text)
{
    try {
        lastError = text;
    } catch (const std::bad_alloc&) {
        // Short enough for the small-string buffer: assigning it cannot allocate.
        lastError.assign("out of memory");
    }
}

} // namespace KXL
