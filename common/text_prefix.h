// Dropping the start of a text, such as the words an error text begins with when the caller
// says the same in its own.
#ifndef COMMON_TEXT_PREFIX_H
#define COMMON_TEXT_PREFIX_H

#include <optional>
#include <string>
#include <string_view>

namespace KXL {

// What follows `prefix` in `text`, or nothing when `text` does not start with it.
inline std::optional<std::string_view> afterPrefix(std::string_view text, std::string_view prefix)
{
    if (text.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    return text.substr(prefix.size());
}

// `text` without a leading `prefix`; all of it when it does not start with it.
inline std::string withoutPrefix(std::string_view text, std::string_view prefix)
{
    return std::string(afterPrefix(text, prefix).value_or(text));
}

} // namespace KXL

#endif
