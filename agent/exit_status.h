// The agent's exit statuses.
#ifndef AGENT_EXIT_STATUS_H
#define AGENT_EXIT_STATUS_H

namespace KXL {

enum KXLExitStatus : int {
    exitSuccess = 0, // every plug-in returned 0; the file was shown
    exitFailure = 1, // a plug-in failed (load, status, exception); the file could not be shown
    exitUsage = 2, // bad command line or set-up (folder, catalogue, log file, no plug-ins), or
                   // standard output that could not be written
};

} // namespace KXL

#endif
