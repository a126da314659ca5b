// Standard input as a regular file, for readers that take a path and refuse pipes.
#ifndef AGENT_STDIN_FILE_H
#define AGENT_STDIN_FILE_H

#include <cstddef>
#include <string>

namespace KXL {

class KXLStdinFile {
public:
    // Copies all of standard input into an anonymous temporary file in $TMPDIR (or /tmp),
    // which disappears with this object. Input longer than maxBytes is refused: a pipe
    // that never ends must not fill the disk.
    explicit KXLStdinFile(std::size_t maxBytes);
    ~KXLStdinFile();
    KXLStdinFile(const KXLStdinFile&) = delete;
    KXLStdinFile& operator=(const KXLStdinFile&) = delete;

    // False when the copy failed; error() then says why.
    bool ok() const { return m_fd >= 0; }
    const std::string& error() const { return m_error; }

    // A path that opens the copy (/proc/self/fd/N); only while ok().
    std::string path() const;

private:
    int m_fd = -1;
    std::string m_error;
};

} // namespace KXL

#endif
