// Where log records go: standard error or the file set by setLogFile.
#ifndef KXLCORE_LOGSINK_H
#define KXLCORE_LOGSINK_H

#include <cstddef>

namespace KXL {

// Writes one complete record; records of concurrent callers never interleave.
void writeLogRecord(const char* data, std::size_t size) noexcept;

} // namespace KXL

#endif
