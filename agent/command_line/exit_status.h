// The agent's exit statuses: one meaning each, whatever the command.
#ifndef AGENT_EXIT_STATUS_H
#define AGENT_EXIT_STATUS_H

namespace KXL {

enum ExitStatus : int {
    kExitSuccess = 0, // the job is done and the answer is yes
    // The job is done and the answer is no: a plug-in failed, `check` found problems, `diff`
    // found differences, `show --os` found nothing.
    kExitFailure = 1,
    // The job could not be done: a bad command line, a bad set-up, unreadable input.
    kExitTrouble = 2,
};

} // namespace KXL

#endif
