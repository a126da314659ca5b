// Reading the .voc file a command names, "-" meaning standard input.
#ifndef AGENT_VOC_INPUT_H
#define AGENT_VOC_INPUT_H

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "host/KXLMessageTree.h"

namespace KXL {

// The input of a command; standard input, and a pipe or a terminal named by a path, is read
// whole once, into memory, so that it can be read more than once.
class VocInput {
public:
    explicit VocInput(const std::string& path);

    // Loads the input strictly. On failure `reason` says why, without naming the input.
    bool load(KXLDocument& document, std::string& reason) const;

    // Passes the input again from its start to `chunk`, piece by piece, until `chunk`
    // returns false. False when it cannot be read.
    bool readAgain(const std::function<bool(std::string_view)>& chunk) const;

private:
    std::string m_path;
    bool m_whole = false; // read whole into m_bytes
    std::string m_bytes;
    std::string m_readError; // why it could not be read whole
};

// Loads the file strictly. On failure tells err "host-agent: cannot VERB "PATH": reason"
// (or "standard input") and returns false.
bool readVocabularyFile(const std::string& path, const char* verb, KXLDocument& document,
                        std::ostream& err);

// How a command names the file in its messages: quoted, or "standard input".
std::string inputName(const std::string& path);

} // namespace KXL

#endif
