// Reading a whole regular file into memory.
#ifndef KXLMESSAGE_READFILE_H
#define KXLMESSAGE_READFILE_H

#include <cstddef>
#include <string>

namespace KXL::voc {

// Larger files are refused rather than read, and never written: a million guest OSes
// take about 650 MiB.
constexpr std::size_t kMaxFileSize = std::size_t{1} << 30;

// False with `error` holding the reason: missing, not a regular file (a FIFO would block
// forever), larger than kMaxFileSize, or a read error.
bool readWholeFile(const std::string& path, std::string& content, std::string& error);

} // namespace KXL::voc

#endif
