// The boundary of every host call made by a plug-in: failures travel as an int status plus
// the thread's error text, never as exceptions.
#ifndef HOST_LIB_HOST_CALL_H
#define HOST_LIB_HOST_CALL_H

#include <exception>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

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
