// Where a text stands among a fixed set of names, each compared as a constant.
#ifndef COMMON_CONSTANT_INDEX_H
#define COMMON_CONSTANT_INDEX_H

#include <cstddef>
#include <string_view>
#include <utility>

namespace KXL {

namespace detail {

template <const auto& Names, std::size_t... Index>
std::size_t indexAmong([[maybe_unused]] std::string_view text, std::index_sequence<Index...>)
{
    std::size_t found = Names.size();
    (void)((text == Names[Index] && (found = Index, true)) || ...);
    return found;
}

} // namespace detail

// The index of `text` in Names, a constexpr std::array of std::string_view; Names.size() for
// none. The compiler makes each comparison with a constant a few loads, where a loop over the
// array costs a memcmp call each: readers that match every key they read use this.
template <const auto& Names>
std::size_t indexAmong(std::string_view text)
{
    return detail::indexAmong<Names>(text, std::make_index_sequence<Names.size()>());
}

} // namespace KXL

#endif
