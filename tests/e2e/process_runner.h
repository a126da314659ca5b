// Running a program as a subprocess and collecting what it printed and how it ended.
#ifndef TESTS_E2E_PROCESS_RUNNER_H
#define TESTS_E2E_PROCESS_RUNNER_H

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "test_files.h"

namespace KXL::test {

struct ProcessResult {
    int exitStatus = -1; // -1 when ended by a signal
    int signal = 0;
    bool timedOut = false; // killed by wait's time limit
    std::string out;
    std::string err;
};

// A started program. Standard input is /dev/null, or a pipe that holds `input` and then
// ends (at most what a pipe buffers, 64 KiB); its output goes to files, so a chatty child
// never blocks on a full pipe.
class RunningProcess {
public:
    // argv[0] is a path, not searched in PATH unless it has no '/'. `environment` holds
    // NAME=VALUE entries that replace or add to the current environment. Throws
    // std::runtime_error when the program cannot be started.
    explicit RunningProcess(const std::vector<std::string>& argv,
                            const std::vector<std::string>& environment = {},
                            const std::optional<std::string>& input = std::nullopt);
    ~RunningProcess(); // kills and reaps a process that was not waited for
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;

    void kill(int signal);
    // Waits for the end; a program still running after `limit` is killed (timedOut).
    ProcessResult wait(std::chrono::milliseconds limit = std::chrono::hours(1));

private:
    test_files::TempFolder m_outputs{"kxl-process"};
    pid_t m_pid = -1;
};

// Starts the program and waits for it; a hung one is killed after `limit`.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds limit = std::chrono::minutes(2));
ProcessResult runProcess(const std::vector<std::string>& argv, const std::optional<std::string>& input);

} // namespace KXL::test

#endif
