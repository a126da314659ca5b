#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent_fixture.h"

namespace KXL::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

namespace fs = std::filesystem;

using AgentCommandLine = AgentTest;

// Each command's help lists every option it takes, and the plug-in folder a bare run uses.
TEST_F(AgentCommandLine, HelpDescribesCommandsAndOptions)
{
    const std::string plugins =
        (fs::path(agentExecutable()).parent_path() / ".." / KXL_PLUGIN_DIR).lexically_normal().string();
    for (const auto& [command, words] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"", {"run", "show", "diff", "check", "--plugins", "--catalog", "--log", "--json", "Exit status"}},
             {"run", {"--plugins", "--catalog", "--log", "--json", "--columns", "(default: " + plugins + ")",
                      "Exit status"}},
             {"show", {"--json", "--os", "--columns", "Exit status"}},
             {"diff", {"--json", "Exit status"}},
             {"check", {"--json", "FILE:LINE:COLUMN", "Exit status"}}}) {
        const ProcessResult result = runAgent(command.empty() ? std::vector<std::string>{"--help"}
                                                              : std::vector<std::string>{command, "--help"});
        EXPECT_EQ(result.exitStatus, 0) << command;
        for (const std::string& word : words)
            EXPECT_THAT(result.out, HasSubstr(word)) << command;
    }
}

TEST_F(AgentCommandLine, BadCommandLinesAreRefused)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--frobnicate"}, {"--plugins"}, {"--plugins", ""}, {"show"},
             {"run", "show", "x"}, {"stop"}, {"diff", "a"}, {"check", "--os", "3", "x"},
             {"check", "x", "--log", "y"}, {"diff", "-o", "code", "a", "b"}, {"--json", "-o", "code"},
             {"show", "--json", "x", "--columns", "code"}, {"show", "x", "--metrics", "-", "-o", "code"}}) {
        const ProcessResult result = runAgent(args);
        EXPECT_EQ(result.exitStatus, 2) << ::testing::PrintToString(args);
        EXPECT_THAT(result.err, StartsWith("host-agent: ")) << ::testing::PrintToString(args);
    }
}

TEST_F(AgentCommandLine, VersionNamesTheAgentAndTheFileFormat)
{
    // Before a command or after any.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--version"}, {"run", "--version"}, {"show", "--version"}, {"check", "--version"}, {"diff", "--version"}}) {
        const ProcessResult result = runAgent(args);
        EXPECT_EQ(result.exitStatus, 0) << args[0] << '\n' << result.err;
        EXPECT_EQ(result.out, "host-agent " KXL_PROJECT_VERSION "\n.voc format 1\n") << args[0];
        EXPECT_THAT(result.err, IsEmpty()) << args[0];
    }
}

// A copy of the install tree: the bare command finds its plug-ins from where it lies.
TEST_F(AgentCommandLine, BareCommandUsesTheInstallTreeItRunsFrom)
{
    const fs::path prefix = tempPath("prefix");
    const fs::path bin = prefix / KXL_BINDIR;
    const fs::path libdir = prefix / KXL_HOST_LIBDIR;
    fs::create_directories(bin);
    fs::create_directories(libdir);
    fs::copy_file(agentExecutable(), bin / "host-agent");
    for (const auto& entry : fs::directory_iterator(fs::path(agentExecutable()).parent_path() /
                                                    ".." / KXL_HOST_LIBDIR)) {
        if (entry.is_regular_file() && entry.path().filename().string().find(".so.") != std::string::npos)
            fs::copy_file(entry.path(), libdir / entry.path().filename());
    }
    const fs::path plugins = prefix / KXL_PLUGIN_DIR;
    addPlugin("TestVocabulary", plugins.string());

    const ProcessResult result = runProcess({(bin / "host-agent").string()});
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("TestVocabulary: status 0\n"));
    EXPECT_TRUE(fileExists((plugins / "TestVocabulary" / "TestVocabulary.voc").string()));
}

} // namespace
} // namespace KXL::test
