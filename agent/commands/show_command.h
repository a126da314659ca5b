// `host-agent show FILE`: print a saved vocabulary file, or one read from standard input.
#ifndef AGENT_SHOW_COMMAND_H
#define AGENT_SHOW_COMMAND_H

#include <optional>
#include <ostream>
#include <string>

#include "output_options.h"

namespace KXL {

struct ShowOptions {
    std::string file; // "-": standard input
    std::optional<std::string> guest; // --os: a code or an identifier
    OutputOptions output;
};

// Returns the exit status (exit_status.h): 1 when --os finds nothing, or the series are asked
// for and the file is not a vocabulary the agent would publish; 2 when the file cannot be
// read or the metrics file cannot be written. Reported on err.
int showVocabularyFile(const ShowOptions& options, std::ostream& out, std::ostream& err);

} // namespace KXL

#endif
