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

// The read end of a pipe that already holds all of input and then ends. Filled before the
// child starts, so writing can neither block nor meet a child that is already gone.
int filledPipe(const std::string& input)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("pipe failed: " + std::string(std::strerror(errno)));
    const bool written = input.empty() ||
        ::write(ends[1], input.data(), input.size()) == static_cast<ssize_t>(input.size());
    ::close(ends[1]);
    // The child gets an ordinary blocking pipe. Above 2, because dup2 onto the same number
    // would keep close-on-exec when this process runs with standard input closed.
    const int readEnd = written && ::fcntl(ends[0], F_SETFL, 0) == 0
        ? ::fcntl(ends[0], F_DUPFD_CLOEXEC, 3) : -1;
    ::close(ends[0]);
    if (readEnd < 0)
        throw std::runtime_error(written ? "fcntl failed" : "the input does not fit in a pipe");
    return readEnd;
}

// Output goes to files, not pipes: a chatty child can never block on a full pipe.
class SpawnActions {
public:
    // stdinFd: the descriptor to give the child as standard input, or -1 for /dev/null.
    SpawnActions(const std::string& outPath, const std::string& errPath, int stdinFd)
    {
        posix_spawn_file_actions_init(&m_actions);
        if (stdinFd >= 0)
            posix_spawn_file_actions_adddup2(&m_actions, stdinFd, STDIN_FILENO);
        else
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

ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::optional<std::string>& input)
{
    if (argv.empty())
        throw std::invalid_argument("runProcess needs a program");
    TestFiles::TempFolder outputs("kxl-process");
    const std::string outPath = outputs.path() + "/stdout";
    const std::string errPath = outputs.path() + "/stderr";
    struct Closer {
        int fd;
        ~Closer()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } inputPipe{input ? filledPipe(*input) : -1};
    SpawnActions actions(outPath, errPath, inputPipe.fd);

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
