// Shared set-up of the agent's end-to-end tests: a private plug-in folder filled with
// copies of the staged test plug-ins, and the staged host-agent run as a subprocess.
#ifndef TESTS_E2E_AGENT_FIXTURE_H
#define TESTS_E2E_AGENT_FIXTURE_H

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "process_runner.h"
#include "test_files.h"

namespace KXL::test {

using test_files::readFile;
using test_files::writeFile;
bool fileExists(const std::string& path);

// Hand-written .voc text: the items of a vocabulary, and the document around them.
namespace VocText {
std::string text(int tag, const std::string& value);
std::string number(int tag, int value);
std::string version();
std::string category(const std::string& name);
std::string adapter(int id, const std::string& name);
std::string guest(int code, const std::string& identifier, const std::string& name,
                  bool experimental, int minHddSize = 100);
// Categories for adapters and guest OSes, with the version entry first.
std::string standardHead();
std::string document(const std::string& items, int kind = 0);
} // namespace VocText

class AgentTest : public ::testing::Test {
protected:
    static std::string agentExecutable();

    // Copies the test plug-in folder NAME (well-behaved or failing) into `folder`,
    // by default the test's own plug-in folder.
    void addPlugin(const std::string& name) { addPlugin(name, pluginsFolder()); }
    static void addPlugin(const std::string& name, const std::string& folder);

    // host-agent with these arguments, and with `input` piped to it if given.
    static ProcessResult runAgent(const std::vector<std::string>& args,
                                  const std::optional<std::string>& input = std::nullopt);

    std::string pluginsFolder() const { return m_temp.path() + "/plugins"; }
    std::string tempPath(const std::string& name) const { return m_temp.path() + "/" + name; }
    std::string vocabularyFile() const
    {
        return pluginsFolder() + "/TestVocabulary/TestVocabulary.voc";
    }

    void SetUp() override;

private:
    test_files::TempFolder m_temp{"kxl-agent-e2e"};
};

} // namespace KXL::test

#endif
