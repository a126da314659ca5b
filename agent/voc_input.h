// Reading the .voc file a command names, "-" meaning standard input.
#ifndef AGENT_VOC_INPUT_H
#define AGENT_VOC_INPUT_H

#include <memory>
#include <ostream>
#include <string>

#include "host/KXLMessageTree.h"

namespace KXL {

class KXLStdinFile;

// The file a command reads; standard input is copied into a temporary file that lives as
// long as this object, so that it can be read more than once.
class KXLVocInput {
public:
    explicit KXLVocInput(const std::string& path);
    ~KXLVocInput();
    KXLVocInput(const KXLVocInput&) = delete;
    KXLVocInput& operator=(const KXLVocInput&) = delete;

    // Loads the file strictly. On failure `reason` says why, without naming the file.
    bool load(KXLDocument& document, std::string& reason);

    // A path that opens the file (the copy of standard input) while this object lives;
    // empty when standard input could not be copied.
    const std::string& readablePath() const { return m_readable; }

private:
    std::string m_path;
    std::unique_ptr<KXLStdinFile> m_copy;
    std::string m_readable;
};

// Loads the file strictly. On failure tells err "host-agent: cannot VERB "PATH": reason"
// (or "standard input") and returns false.
bool readVocabularyFile(const std::string& path, const char* verb, KXLDocument& document,
                        std::ostream& err);

// How a command names the file in its messages: quoted, or "standard input".
std::string inputName(const std::string& path);

// The message without a leading `prefix` that repeats what the caller says already.
std::string withoutPrefix(const std::string& message, const std::string& prefix);

} // namespace KXL

#endif
