// `host-agent check [--json] FILE`: is a saved file a vocabulary the host publishes?
#ifndef AGENT_CHECK_COMMAND_H
#define AGENT_CHECK_COMMAND_H

#include <ostream>
#include <string>

namespace KXL {

// Prints every problem in file order, one a line as compilers do
// ("FILE:LINE:COLUMN: error: ..."), then a summary; or one JSON document. Exit status:
// 0 valid (warnings allowed), 1 problems, 2 the file cannot be read.
int checkVocabularyFile(const std::string& path, bool json, std::ostream& out, std::ostream& err);

} // namespace KXL

#endif
