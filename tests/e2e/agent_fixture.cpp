#include "agent_fixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace KXL::test {

namespace fs = std::filesystem;

bool fileExists(const std::string& path)
{
    return fs::exists(path);
}

std::string AgentTest::agentExecutable()
{
    return KXL_AGENT_PATH;
}

void AgentTest::addPlugin(const std::string& name, const std::string& folder)
{
    for (const char* staged : {KXL_TEST_PLUGINS_DIR, KXL_FAILING_PLUGINS_DIR}) {
        const fs::path source = fs::path(staged) / name;
        if (fs::is_directory(source)) {
            fs::create_directories(folder);
            fs::copy(source, fs::path(folder) / name, fs::copy_options::recursive);
            return;
        }
    }
    throw std::runtime_error("no staged test plug-in " + name);
}

ProcessResult AgentTest::runAgent(const std::vector<std::string>& args,
                                  const std::optional<std::string>& input)
{
    std::vector<std::string> argv{agentExecutable()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, input);
}

void AgentTest::SetUp()
{
    fs::create_directories(pluginsFolder());
}

} // namespace KXL::test
