// `host-agent run`: set the host up, run the plug-ins, print what they published.
#ifndef AGENT_RUN_COMMAND_H
#define AGENT_RUN_COMMAND_H

#include <ostream>
#include <string>

#include "agent/output/vocabulary_printer.h"

namespace KXL {

struct RunOptions {
    std::string pluginsFolder; // must exist; empty: the install tree's layout
    std::string catalogFile; // empty: the built-in catalogue
    std::string logFile; // empty: standard error
    bool json = false; // one JSON document on `out` instead of the report and tables
    std::string metricsFile; // non-empty: the series written there after the run; "-": `out`
    bool metricsGuestOs = true; // with one info series per guest OS
    GuestColumns columns; // of the guest OS table; empty: all
};

// Returns the exit status (exit_status.h). Reports and vocabularies go to `out`,
// set-up errors to `err`.
int runAgent(const RunOptions& options, std::ostream& out, std::ostream& err);

} // namespace KXL

#endif
