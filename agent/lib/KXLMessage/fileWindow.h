// Reading a regular file step by step into memory that never moves.
#ifndef KXLMESSAGE_FILEWINDOW_H
#define KXLMESSAGE_FILEWINDOW_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "host/KXLMessageFile.h"

namespace KXL::voc {

// The file is read ahead in steps into one reserved region, so views into what was read
// stay valid, and the pages a reader is done with go back to the system: a file is never
// in memory whole.
class FileWindow {
public:
    FileWindow() = default;
    ~FileWindow();
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // False with `error` holding the reason: missing, not a regular file (opening never
    // blocks, so a FIFO is refused, not waited on), larger than kMaxVocFileSize.
    bool open(const std::string& path, std::string& error);

    // The bytes read so far, from the start of the file; released pages read as zeros.
    std::string_view filled() const { return std::string_view(m_data, m_filled); }
    bool complete() const { return m_complete; }

    // Reads the next step. False with `error` set on a read error, or when the file grew
    // past the size it had when opened.
    bool readMore(std::string& error);

    // Gives back the whole pages below offset `upTo`; a file of one step stays whole.
    void release(std::size_t upTo);

private:
    int m_fd = -1;
    char* m_data = nullptr; // mapped, or m_small's
    std::unique_ptr<char[]> m_small; // a file of one step or less: nothing to give back
    std::size_t m_reserved = 0;
    std::size_t m_filled = 0;
    std::size_t m_released = 0;
    bool m_complete = false;
};

} // namespace KXL::voc

#endif
