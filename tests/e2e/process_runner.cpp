#include "process_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TestFiles.h"

extern char** environ;

namespace KXL::test {

namespace {

std::string readWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// Output goes to files, not pipes: a chatty child can never block on a full pipe.
class SpawnActions {
public:
    SpawnActions(const std::string& outPath, const std::string& errPath)
    {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&m_actions, STDOUT_FILENO, outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&m_actions, STDERR_FILENO, errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    const posix_spawn_file_actions_t* get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv)
{
    if (argv.empty())
        throw std::invalid_argument("runProcess needs a program");
    TestFiles::TempFolder outputs("kxl-process");
    const std::string outPath = outputs.path() + "/stdout";
    const std::string errPath = outputs.path() + "/stderr";
    SpawnActions actions(outPath, errPath);

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    const int error = posix_spawnp(&pid, args[0], actions.get(), nullptr, args.data(), environ);
    if (error != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed: " + std::string(std::strerror(errno)));
    }

    ProcessResult result;
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.out = readWhole(outPath);
    result.err = readWhole(errPath);
    return result;
}

} // namespace KXL::test
