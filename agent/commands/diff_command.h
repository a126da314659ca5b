// `host-agent diff [--json] A B`: what changed between two saved vocabularies.
#ifndef AGENT_DIFF_COMMAND_H
#define AGENT_DIFF_COMMAND_H

#include <ostream>
#include <string>

namespace KXL {

// Exit status as diff(1): 0 the same, 1 different, 2 a file unreadable or not a vocabulary.
int diffVocabularyFiles(const std::string& a, const std::string& b, bool json, std::ostream& out,
                        std::ostream& err);

} // namespace KXL

#endif
