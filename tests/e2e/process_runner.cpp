#include "process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

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
        // Nothing of the test's own: what the child holds, it opened.
        posix_spawn_file_actions_addclosefrom_np(&m_actions, 3);
    }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    const posix_spawn_file_actions_t* get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

// The current environment with `changes` (NAME=VALUE) replacing or adding entries.
std::vector<std::string> environmentWith(const std::vector<std::string>& changes)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string& change : changes)
            replaced = replaced || change.compare(0, name.size(), name) == 0;
        if (!replaced)
            result.push_back(text);
    }
    result.insert(result.end(), changes.begin(), changes.end());
    return result;
}

std::vector<char*> pointers(const std::vector<std::string>& texts)
{
    std::vector<char*> result;
    for (const std::string& text : texts)
        result.push_back(const_cast<char*>(text.c_str()));
    result.push_back(nullptr);
    return result;
}

} // namespace

RunningProcess::RunningProcess(const std::vector<std::string>& argv,
                               const std::vector<std::string>& environment,
                               const std::optional<std::string>& input)
{
    if (argv.empty())
        throw std::invalid_argument("RunningProcess needs a program");
    struct Closer {
        int fd;
        ~Closer()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } inputPipe{input ? filledPipe(*input) : -1};
    const SpawnActions actions(m_outputs.file("stdout"), m_outputs.file("stderr"), inputPipe.fd);
    const std::vector<std::string> env = environmentWith(environment);
    std::vector<char*> args = pointers(argv);
    std::vector<char*> envp = pointers(env);
    const int error = posix_spawnp(&m_pid, args[0], actions.get(), nullptr, args.data(), envp.data());
    if (error != 0) {
        m_pid = -1;
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
    }
}

RunningProcess::~RunningProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

void RunningProcess::kill(int signal)
{
    if (m_pid > 0)
        ::kill(m_pid, signal);
}

ProcessResult RunningProcess::wait(std::chrono::milliseconds limit)
{
    if (m_pid <= 0)
        throw std::logic_error("the process was already waited for");
    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(m_pid, &status, WNOHANG);
        if (ended == m_pid)
            break;
        if (ended < 0 && errno != EINTR)
            throw std::runtime_error("waitpid failed: " + std::string(std::strerror(errno)));
        if (!result.timedOut && std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            result.timedOut = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_pid = -1;
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.out = readWhole(m_outputs.file("stdout"));
    result.err = readWhole(m_outputs.file("stderr"));
    return result;
}

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds limit)
{
    return RunningProcess(argv).wait(limit);
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::optional<std::string>& input)
{
    return RunningProcess(argv, {}, input).wait(std::chrono::minutes(2));
}

} // namespace KXL::test
