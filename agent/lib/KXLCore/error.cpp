#include "host/KXLError.h"

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
    lastError = text;
}

} // namespace KXL
