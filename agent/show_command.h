// `host-agent show FILE`: print a saved vocabulary file, or one read from standard input.
#ifndef AGENT_SHOW_COMMAND_H
#define AGENT_SHOW_COMMAND_H

#include <ostream>
#include <string>

namespace KXL {

// Returns the exit status (exit_status.h); a file that cannot be read is reported on err.
// The path "-" reads standard input.
int showVocabularyFile(const std::string& path, std::ostream& out, std::ostream& err);

} // namespace KXL

#endif
