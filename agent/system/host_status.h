// How a host call fails: an int status plus the thread's error text, never an exception.
#ifndef AGENT_SYSTEM_HOST_STATUS_H
#define AGENT_SYSTEM_HOST_STATUS_H

#include <initializer_list>
#include <string>
#include <string_view>

#include "host/KXLError.h"

namespace KXL::host {

constexpr int kFailed = -1;

// Records the parts, joined, as why a call failed and returns kFailed. Never throws: when
// even the text cannot be built, a short one that needs no allocation is recorded instead.
inline int fail(std::initializer_list<std::string_view> parts) noexcept
{
    try {
        std::string text;
        for (const std::string_view part : parts)
            text += part;
        setErrorMessage(text);
    } catch (...) {
        try {
            setErrorMessage("out of memory"); // fits the small-string buffer
        } catch (...) {
        }
    }
    return kFailed;
}

inline int fail(std::string_view text) noexcept
{
    return fail({text});
}

} // namespace KXL::host

#endif
