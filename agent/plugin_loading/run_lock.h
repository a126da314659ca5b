// One agent at a time per state folder: a plug-in's saved vocabulary and what the agent
// then loads from it must come from the same run.
#ifndef AGENT_RUN_LOCK_H
#define AGENT_RUN_LOCK_H

#include <chrono>
#include <ostream>
#include <string>

#include "common/file_io.h"

namespace KXL {

class RunLock {
public:
    // Opens (creating it, mode 0600) the lock file FOLDER/.host-agent.lock. False with
    // `problem` set when the folder cannot be written.
    bool open(const std::string& folder, std::string& problem);

    // Takes an exclusive lock on the open file, held until destruction (or the process's
    // end, however it ends). When another agent holds it, says so on `err` and waits up to
    // `patience`. False with `problem` set when the lock was not taken.
    bool acquire(std::chrono::milliseconds patience, std::ostream& err, std::string& problem);

private:
    std::string m_folder;
    sys::Fd m_fd; // closing it releases the lock
};

} // namespace KXL

#endif
