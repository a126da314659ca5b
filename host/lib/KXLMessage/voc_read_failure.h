// How the .voc reader words a fault of a file's content and where it lies. The agent's check
// reads these texts back into a line and a column, so both spell them from here.
#ifndef KXLMESSAGE_VOCREADFAILURE_H
#define KXLMESSAGE_VOCREADFAILURE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace KXL::voc {

// A fault at a place: "line N, column M: TEXT" (XML that is not well-formed) or "line N: TEXT".
inline constexpr std::string_view kLinePrefix = "line ";
inline constexpr std::string_view kColumnPrefix = ", column ";
inline constexpr std::string_view kPlaceEnd = ": ";

inline std::string atLine(std::size_t line, std::string_view text)
{
    return std::string(kLinePrefix) + std::to_string(line) + std::string(kPlaceEnd) + std::string(text);
}

inline std::string atLineAndColumn(std::size_t line, std::size_t column, std::string_view text)
{
    return std::string(kLinePrefix) + std::to_string(line) + std::string(kColumnPrefix) + std::to_string(column) +
        std::string(kPlaceEnd) + std::string(text);
}

// A fault at the file's end, followed by what was expected.
inline constexpr std::string_view kEndsEarly = "the file ends early (truncated?): ";

// Faults of the whole file, placed at its start.
inline constexpr std::string_view kEmptyFile = "the file is empty";
inline constexpr std::string_view kNoMessage = "no <message> element";

} // namespace KXL::voc

#endif
