// Whole numbers spelt as std::to_string spells them, as the .voc format writes them.
#ifndef COMMON_PLAIN_DECIMAL_H
#define COMMON_PLAIN_DECIMAL_H

#include <algorithm>
#include <string_view>

namespace KXL {

// Whether `text` is digits, with a '-' only before them, no leading zero and no "-0": "007",
// "+7" and " 7" are not. Says nothing of the range.
inline bool isPlainDecimal(std::string_view text)
{
    const std::string_view digits = text.substr(!text.empty() && text[0] == '-' ? 1 : 0);
    return !digits.empty() &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        (digits[0] != '0' || text.size() == 1);
}

} // namespace KXL

#endif
