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

TEST_F(AgentCommandLine, HelpDescribesCommandsAndOptions)
{
    const ProcessResult result = runAgent({"--help"});
    EXPECT_EQ(result.exitStatus, 0);
    for (const char* word : {"run", "show", "diff", "check", "--json", "--os", "--plugins",
                             "--catalog", "--log", "Exit status"})
        EXPECT_THAT(result.out, HasSubstr(word));
}

TEST_F(AgentCommandLine, BadCommandLinesAreRefused)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--frobnicate"}, {"--plugins"}, {"--plugins", ""}, {"show"},
             {"run", "show", "x"}, {"stop"}, {"diff", "a"}, {"check", "--json", "x"},
             {"check", "x", "--log", "y"}}) {
        const ProcessResult result = runAgent(args);
        EXPECT_EQ(result.exitStatus, 2) << ::testing::PrintToString(args);
        EXPECT_THAT(result.err, StartsWith("host-agent: ")) << ::testing::PrintToString(args);
    }
}

TEST_F(AgentCommandLine, VersionNamesTheAgentAndTheFileFormat)
{
    const ProcessResult result = runAgent({"--version"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "host-agent " KXL_PROJECT_VERSION "\n.voc format 1\n");
    EXPECT_THAT(result.err, IsEmpty());
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
