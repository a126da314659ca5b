// Reading the .voc file a command names, "-" meaning standard input.
#ifndef AGENT_VOC_INPUT_H
#define AGENT_VOC_INPUT_H

#include <ostream>
#include <string>

#include "host/KXLMessageTree.h"

namespace KXL {

// Loads the file strictly. On failure tells err "host-agent: cannot VERB "PATH": reason"
// (or "standard input") and returns false.
bool readVocabularyFile(const std::string& path, const char* verb, KXLDocument& document,
                        std::ostream& err);

// How a command names the file in its messages: quoted, or "standard input".
std::string inputName(const std::string& path);

} // namespace KXL

#endif
