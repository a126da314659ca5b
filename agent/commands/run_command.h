// `host-agent run`: set the host up, run the plug-ins, print what they published.
#ifndef AGENT_RUN_COMMAND_H
#define AGENT_RUN_COMMAND_H

#include <ostream>
#include <string>

#include "output_options.h"

namespace KXL {

struct RunOptions {
    std::string pluginsFolder; // must exist; empty: the install tree's layout
    std::string catalogFile; // empty: the built-in catalogue
    std::string logFile; // empty: standard error
    OutputOptions output; // the series are written after the run
};

// Returns the exit status (exit_status.h). Reports and vocabularies go to `out`,
// set-up errors to `err`.
int runAgent(const RunOptions& options, std::ostream& out, std::ostream& err);

} // namespace KXL

#endif
