// The boundary of every host call made by a plug-in: failures travel as an int status plus
// the thread's error text, never as exceptions.
#ifndef KXLMESSAGE_HOSTCALL_H
#define KXLMESSAGE_HOSTCALL_H

#include <exception>
#include <new>
#include <type_traits>
#include <utility>

#include "agent/system/host_status.h"

namespace KXL::host {

inline void failWithReason(const char* operation, const char* reason) noexcept
{
    fail({operation, ": ", reason});
}

// Runs body; an exception becomes kFailed (or nullptr for a pointer result) with the text
// "operation: reason".
template <typename Body>
auto guarded(const char* operation, Body&& body) noexcept -> decltype(body())
{
    using Result = decltype(body());
    static_assert(std::is_same_v<Result, int> || std::is_pointer_v<Result>,
        "host calls return an int status or a pointer");
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        failWithReason(operation, "out of memory");
    } catch (const std::exception& error) {
        failWithReason(operation, error.what());
    } catch (...) {
        failWithReason(operation, "unexpected error");
    }
    if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else
        return kFailed;
}

} // namespace KXL::host

#endif
