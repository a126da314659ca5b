// `host-agent show FILE`: print a saved vocabulary file, or one read from standard input.
#ifndef AGENT_SHOW_COMMAND_H
#define AGENT_SHOW_COMMAND_H

#include <optional>
#include <ostream>
#include <string>

namespace KXL {

struct KXLShowOptions {
    std::string file; // "-": standard input
    bool json = false;
    std::optional<std::string> guest; // --os: a code or an identifier
};

// Returns the exit status (exit_status.h): 1 when --os finds nothing, 2 when the file
// cannot be read; both reported on err.
int showVocabularyFile(const KXLShowOptions& options, std::ostream& out, std::ostream& err);

} // namespace KXL

#endif
