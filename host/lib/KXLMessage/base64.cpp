#include "base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace KXL::voc {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kInvalid = -1;

constexpr std::array<int, 256> kDecode = [] {
    std::array<int, 256> table{};
    for (int& entry : table)
        entry = kInvalid;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}();

} // namespace

std::string encodeBase64(std::string_view bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t present = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < present ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= present ? kAlphabet[group >> (18 - 6 * k) & 63] : '=';
    }
    return text;
}

bool decodeBase64(std::string_view text, std::string& bytes)
{
    if (text.size() % 4 != 0)
        return false;
    bytes.clear();
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const int padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
        if (padding == 1 && text[i + 2] == '=')
            return false; // "x=y=" style
        int values[4] = {};
        for (int k = 0; k < 4 - padding; ++k) {
            values[k] = kDecode[static_cast<unsigned char>(text[i + k])];
            if (values[k] == kInvalid)
                return false;
        }
        const std::uint32_t group = static_cast<std::uint32_t>(values[0]) << 18 |
            static_cast<std::uint32_t>(values[1]) << 12 | static_cast<std::uint32_t>(values[2]) << 6 |
            static_cast<std::uint32_t>(values[3]);
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0))
            return false; // non-canonical: bits that no byte uses
        bytes += static_cast<char>(group >> 16 & 0xFF);
        if (padding < 2)
            bytes += static_cast<char>(group >> 8 & 0xFF);
        if (padding < 1)
            bytes += static_cast<char>(group & 0xFF);
    }
    return true;
}

} // namespace KXL::voc
