#include "agent_fixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace KXL::test {

namespace fs = std::filesystem;

bool fileExists(const std::string& path)
{
    return fs::exists(path);
}

namespace VocText {

std::string text(int tag, const std::string& value)
{
    return "<element tag=\"" + std::to_string(tag) + "\"><string>" + value + "</string></element>";
}

std::string number(int tag, int value)
{
    return "<element tag=\"" + std::to_string(tag) + "\"><int>" + std::to_string(value) +
        "</int></element>";
}

std::string version()
{
    return "<element tag=\"1017\">" + text(1010, "vocversion") + text(1264, "vocabulary") +
        text(1307, "$Id: test.voc 00000000-0000-4000-8000-000000000001 $") + text(1303, "Vocabulary version") + "</element>";
}

std::string category(const std::string& name)
{
    return "<element tag=\"1264\">" + text(1010, name) + "</element>";
}

std::string adapter(int id, const std::string& name)
{
    return "<element tag=\"1017\">" + number(1010, id) + text(1264, "kxp_network_adapter_type") +
        text(1026, name) + "</element>";
}

std::string guest(int code, const std::string& identifier, const std::string& name,
                  bool experimental, int minHddSize)
{
    std::string entry = "<element tag=\"1017\">" + number(1010, code) + text(1264, "guest_os_type") +
        (experimental ? text(1264, "experimental") : "") + text(1846, identifier) + text(1026, name);
    for (const auto& [valueName, value] : std::vector<std::pair<const char*, int>>{
             {"min_hdd_size", minHddSize}, {"max_hdd_size", 16777216}, {"recommended_hdd_size", 65536},
             {"hdd_interface", 1}, {"adapter_type", 3}, {"boot_efi", 0}})
        entry += "<named name=\"" + std::string(valueName) + "\">" + std::to_string(value) + "</named>";
    return entry + "</element>";
}

std::string standardHead()
{
    return version() + category("kxp_network_adapter_type") + category("guest_os_type") +
        category("experimental");
}

std::string document(const std::string& items, int kind)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<message format=\"1\" kind=\"" +
        std::to_string(kind) + "\"><element tag=\"1307\"><element tag=\"1044\">" + items +
        "</element></element></message>\n";
}

} // namespace VocText

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
