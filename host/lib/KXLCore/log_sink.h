// Where log records go: standard error or the file set by setLogFile.
#ifndef KXLCORE_LOGSINK_H
#define KXLCORE_LOGSINK_H

#include <cstddef>
#include <string>
#include <string_view>

namespace KXL {

// Writes one complete record; records of concurrent callers never interleave.
void writeLogRecord(const char* data, std::size_t size) noexcept;

// How setLogFile's error text begins. The agent, which names the file in its own words,
// drops it.
inline std::string logFileFailurePrefix(std::string_view path)
{
    return "cannot open log file '" + std::string(path) + "': ";
}

} // namespace KXL

#endif
