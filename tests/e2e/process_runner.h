// Running a program as a subprocess and collecting what it printed and how it ended.
#ifndef TESTS_E2E_PROCESS_RUNNER_H
#define TESTS_E2E_PROCESS_RUNNER_H

#include <optional>
#include <string>
#include <vector>

namespace KXL::test {

struct ProcessResult {
    int exitStatus = -1; // -1 when ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

// Runs argv[0] (a path, not searched in PATH unless it has no '/') with the given
// arguments and the current environment; standard input is /dev/null, or a pipe that holds
// `input` and then ends (at most what a pipe buffers, 64 KiB). Throws std::runtime_error
// when the program cannot be started.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::optional<std::string>& input = std::nullopt);

} // namespace KXL::test

#endif
