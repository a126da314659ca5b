// `host-agent check FILE`: is a saved file a vocabulary the host publishes?
#ifndef AGENT_CHECK_COMMAND_H
#define AGENT_CHECK_COMMAND_H

#include <ostream>
#include <string>

namespace KXL {

// Prints every problem, one a line, then a summary. Exit status: 0 valid (warnings
// allowed), 1 problems, 2 the file cannot be read.
int checkVocabularyFile(const std::string& path, std::ostream& out, std::ostream& err);

} // namespace KXL

#endif
